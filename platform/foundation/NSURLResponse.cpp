#include "platform/foundation/NSURLResponse.h"

#include <algorithm>

namespace {

std::string trimmed(std::string_view text) { return HTTPHeaderFields::trimmed(text); }

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The value of one "name=value" parameter of a header such as Content-Type, unquoted.
std::string headerParameter(std::string_view header, std::string_view name) {
  std::size_t start = header.find(';');
  while (start != std::string_view::npos) {
    const auto end = header.find(';', start + 1);
    const std::string piece = trimmed(header.substr(start + 1, end == std::string_view::npos ? end : end - start - 1));
    const auto equals = piece.find('=');
    if (equals != std::string::npos && HTTPHeaderFields::namesEqual(trimmed(piece.substr(0, equals)), name)) {
      std::string value = trimmed(piece.substr(equals + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      return value;
    }
    start = end;
  }
  return {};
}

std::string placeOf(const std::shared_ptr<NSURL>& url) { return url ? url->redactedString() : "(no URL)"; }

}  // namespace

std::shared_ptr<NSURLResponse> NSURLResponse::make(std::shared_ptr<NSURL> url, std::string MIMEType,
                                                   std::int64_t expectedContentLength, std::string textEncodingName) {
  return std::shared_ptr<NSURLResponse>(
      new NSURLResponse(std::move(url), std::move(MIMEType), expectedContentLength, std::move(textEncodingName)));
}

std::string NSURLResponse::suggestedFilename() const {
  if (url_) {
    std::string last = url_->lastPathComponent();
    if (!last.empty() && last != "/") return last;
  }
  return "Unknown";
}

std::string NSURLResponse::description() const { return "<NSURLResponse " + placeOf(url_) + ">"; }

std::shared_ptr<NSHTTPURLResponse> NSHTTPURLResponse::make(std::shared_ptr<NSURL> url, int statusCode,
                                                           HTTPHeaderFields headerFields) {
  const std::string contentType = headerFields.valueForHTTPHeaderField("Content-Type").value_or("");
  std::string mimeType = lowercased(trimmed(std::string_view(contentType).substr(0, contentType.find(';'))));
  std::string encoding = lowercased(headerParameter(contentType, "charset"));
  std::int64_t length = -1;
  if (auto text = headerFields.valueForHTTPHeaderField("Content-Length")) {
    const std::string digits = trimmed(*text);
    if (!digits.empty() && digits.size() <= 18 && std::all_of(digits.begin(), digits.end(), ::isdigit)) {
      length = std::stoll(digits);
    }
  }
  return std::shared_ptr<NSHTTPURLResponse>(new NSHTTPURLResponse(
      std::move(url), statusCode, std::move(headerFields), std::move(mimeType), length, std::move(encoding)));
}

std::string NSHTTPURLResponse::suggestedFilename() const {
  if (auto disposition = headerFields_.valueForHTTPHeaderField("Content-Disposition")) {
    std::string name = headerParameter(*disposition, "filename");
    // Only a plain name: a server must not steer a save into another folder.
    if (!name.empty() && name.find('/') == std::string::npos && name != "." && name != "..") return name;
  }
  return NSURLResponse::suggestedFilename();
}

std::string NSHTTPURLResponse::description() const {
  return "<NSHTTPURLResponse " + std::to_string(statusCode_) + " " + placeOf(URL()) + ">";
}
