#include "platform/foundation/NSURLRequest.h"

#include <algorithm>

HTTPHeaderFields::HTTPHeaderFields(std::initializer_list<Field> fields) {
  for (const auto& [name, value] : fields) setValue(value, name);
}

std::string HTTPHeaderFields::trimmed(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(kBlank) - first + 1));
}

bool HTTPHeaderFields::namesEqual(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::optional<std::string> HTTPHeaderFields::valueForHTTPHeaderField(std::string_view name) const {
  for (const auto& [key, value] : fields_) {
    if (namesEqual(key, name)) return value;
  }
  return std::nullopt;
}

void HTTPHeaderFields::setValue(std::string value, std::string_view forHTTPHeaderField) {
  for (auto& [key, existing] : fields_) {
    if (namesEqual(key, forHTTPHeaderField)) {
      existing = std::move(value);
      return;
    }
  }
  fields_.emplace_back(std::string(forHTTPHeaderField), std::move(value));
}

void HTTPHeaderFields::addValue(std::string_view value, std::string_view forHTTPHeaderField) {
  for (auto& [key, existing] : fields_) {
    if (namesEqual(key, forHTTPHeaderField)) {
      existing += ", ";
      existing += value;
      return;
    }
  }
  fields_.emplace_back(std::string(forHTTPHeaderField), std::string(value));
}

void HTTPHeaderFields::removeValueForHTTPHeaderField(std::string_view name) {
  std::erase_if(fields_, [&](const Field& field) { return namesEqual(field.first, name); });
}

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(std::shared_ptr<NSURL> url) {
  return requestWithURL(std::move(url), kDefaultTimeoutInterval);
}

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(std::shared_ptr<NSURL> url, double timeoutInterval) {
  return std::shared_ptr<NSURLRequest>(new NSURLRequest(std::move(url), timeoutInterval));
}

std::shared_ptr<NSURLRequest> NSURLRequest::copy() const {
  auto request = requestWithURL(url_, timeoutInterval_);
  request->method_ = method_;
  request->headers_ = headers_;
  request->body_ = body_;
  return request;
}

void NSURLRequest::setHTTPMethod(std::string method) { method_ = method.empty() ? "GET" : std::move(method); }

std::string NSURLRequest::description() const {
  return "<NSURLRequest " + method_ + " " + (url_ ? url_->redactedString() : "(no URL)") + ">";
}
