#pragma once
// What to ask of a server (URL, method, headers, body, time-out), and HTTP header lists
// whose names compare without regard to case.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSURL.h"

// Header fields in the order they were first set. Names compare case-insensitively;
// setting a name that is already there replaces its value in place. Looking a name up
// takes the same time however many fields there are.
class HTTPHeaderFields {
 public:
  using Field = std::pair<std::string, std::string>;
  HTTPHeaderFields() = default;
  HTTPHeaderFields(std::initializer_list<Field> fields);

  std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const;
  // An empty value is kept (it is a header with an empty value); use remove to drop one.
  void setValue(std::string value, std::string_view forHTTPHeaderField);
  // Joins a second value onto an existing one with ", ".
  void addValue(std::string_view value, std::string_view forHTTPHeaderField);
  void removeValueForHTTPHeaderField(std::string_view name);

  std::size_t count() const { return fields_.size(); }
  bool empty() const { return fields_.empty(); }
  auto begin() const { return fields_.begin(); }
  auto end() const { return fields_.end(); }
  bool operator==(const HTTPHeaderFields& other) const { return fields_ == other.fields_; }

  static bool namesEqual(std::string_view a, std::string_view b);
  // The text without the blanks and line ends around it.
  static std::string trimmed(std::string_view text);
  static std::string_view trimmedView(std::string_view text);

 private:
  // A message has a few fields (a reply's are capped at a few hundred), so a search through
  // them costs less than keeping an index beside them.
  std::vector<Field>::iterator find(std::string_view name);
  std::vector<Field>::const_iterator find(std::string_view name) const;

  std::vector<Field> fields_;
};

class NSURLRequest : public NSObject {
 public:
  static constexpr double kDefaultTimeoutInterval = 60.0;

  static std::shared_ptr<NSURLRequest> requestWithURL(std::shared_ptr<NSURL> url);
  static std::shared_ptr<NSURLRequest> requestWithURL(std::shared_ptr<NSURL> url, double timeoutInterval);
  // A separate request with the same values (the body bytes are shared; they are never changed).
  std::shared_ptr<NSURLRequest> copy() const;

  const std::shared_ptr<NSURL>& URL() const { return url_; }
  void setURL(std::shared_ptr<NSURL> url) { url_ = std::move(url); }
  // "GET" unless set; an empty method means "GET".
  const std::string& HTTPMethod() const { return method_; }
  void setHTTPMethod(std::string method);
  const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
  void setAllHTTPHeaderFields(HTTPHeaderFields headers) { headers_ = std::move(headers); }
  std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
    return headers_.valueForHTTPHeaderField(name);
  }
  void setValue(std::string value, std::string_view forHTTPHeaderField) {
    headers_.setValue(std::move(value), forHTTPHeaderField);
  }
  void addValue(std::string_view value, std::string_view forHTTPHeaderField) {
    headers_.addValue(value, forHTTPHeaderField);
  }
  const std::shared_ptr<NSData>& HTTPBody() const { return body_; }
  void setHTTPBody(std::shared_ptr<NSData> body) { body_ = std::move(body); }
  // Seconds without any traffic after which the request fails with a time-out.
  double timeoutInterval() const { return timeoutInterval_; }
  void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }
  // The longest reply body this request accepts, when it is less than its session's
  // (NSURLSessionConfiguration::maximumBodySize): a caller that knows what its endpoint
  // sensibly returns refuses far more with NSURLError::dataLengthExceedsMaximum. None: the
  // session's cap alone.
  std::optional<std::int64_t> maximumBodySize() const { return maximumBodySize_; }
  void setMaximumBodySize(std::optional<std::int64_t> bytes) { maximumBodySize_ = bytes; }

  GLIMDECK_OBJECT(NSURLRequest)
  std::string description() const override;

 private:
  NSURLRequest(std::shared_ptr<NSURL> url, double timeoutInterval)
      : url_(std::move(url)), timeoutInterval_(timeoutInterval) {}

  std::shared_ptr<NSURL> url_;
  std::string method_ = "GET";
  HTTPHeaderFields headers_;
  std::shared_ptr<NSData> body_;
  double timeoutInterval_;
  std::optional<std::int64_t> maximumBodySize_;
};

// The platform's mutable request is the same class: every request here can be changed.
using NSMutableURLRequest = NSURLRequest;
