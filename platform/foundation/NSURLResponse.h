#pragma once
// What a server answered: the URL that answered, the kind and length of the body and,
// for HTTP, the status and the header fields.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLRequest.h"

class NSURLResponse : public NSObject {
 public:
  // An expected length of -1 means the length is not known.
  static std::shared_ptr<NSURLResponse> make(std::shared_ptr<NSURL> url, std::string MIMEType,
                                             std::int64_t expectedContentLength, std::string textEncodingName);

  const std::shared_ptr<NSURL>& URL() const { return url_; }
  // Lower case, without parameters; empty when the server named none.
  const std::string& MIMEType() const { return mimeType_; }
  std::int64_t expectedContentLength() const { return expectedContentLength_; }
  // The "charset" parameter of the content type, or empty.
  const std::string& textEncodingName() const { return textEncodingName_; }
  // The file name to save the body under: the URL's last path component, or "Unknown".
  virtual std::string suggestedFilename() const;

  GLIMDECK_OBJECT(NSURLResponse)
  std::string description() const override;

 protected:
  NSURLResponse(std::shared_ptr<NSURL> url, std::string mimeType, std::int64_t expectedContentLength,
                std::string textEncodingName)
      : url_(std::move(url)),
        mimeType_(std::move(mimeType)),
        expectedContentLength_(expectedContentLength),
        textEncodingName_(std::move(textEncodingName)) {}

 private:
  std::shared_ptr<NSURL> url_;
  std::string mimeType_;
  std::int64_t expectedContentLength_;
  std::string textEncodingName_;
};

class NSHTTPURLResponse : public NSURLResponse {
 public:
  // The MIME type, encoding and expected length are read from the header fields.
  static std::shared_ptr<NSHTTPURLResponse> make(std::shared_ptr<NSURL> url, int statusCode,
                                                 HTTPHeaderFields headerFields);

  int statusCode() const { return statusCode_; }
  const HTTPHeaderFields& allHeaderFields() const { return headerFields_; }
  std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
    return headerFields_.valueForHTTPHeaderField(name);
  }
  // A "filename" in Content-Disposition comes first; otherwise as for any response.
  std::string suggestedFilename() const override;

  GLIMDECK_OBJECT(NSHTTPURLResponse)
  std::string description() const override;

 private:
  NSHTTPURLResponse(std::shared_ptr<NSURL> url, int statusCode, HTTPHeaderFields headerFields,
                    std::string mimeType, std::int64_t expectedContentLength, std::string textEncodingName)
      : NSURLResponse(std::move(url), std::move(mimeType), expectedContentLength, std::move(textEncodingName)),
        statusCode_(statusCode),
        headerFields_(std::move(headerFields)) {}

  int statusCode_;
  HTTPHeaderFields headerFields_;
};
