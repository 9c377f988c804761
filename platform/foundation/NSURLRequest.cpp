#include "platform/foundation/NSURLRequest.h"

#include <algorithm>

HTTPHeaderFields::HTTPHeaderFields(std::initializer_list<Field> fields) {
  for (const auto& [name, value] : fields) setValue(value, name);
}

std::string_view HTTPHeaderFields::trimmedView(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

std::string HTTPHeaderFields::trimmed(std::string_view text) { return std::string(trimmedView(text)); }

bool HTTPHeaderFields::namesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    // Names are ASCII tokens: folding the letters' case bit is enough, and a byte that
    // only differs from a letter in that bit is not a token character anyway.
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x == y) continue;
    const auto lowerX = static_cast<unsigned char>(x | 0x20);
    if (lowerX != (y | 0x20) || lowerX < 'a' || lowerX > 'z') return false;
  }
  return true;
}

std::vector<HTTPHeaderFields::Field>::iterator HTTPHeaderFields::find(std::string_view name) {
  return std::find_if(fields_.begin(), fields_.end(), [&](const Field& field) { return namesEqual(field.first, name); });
}

std::vector<HTTPHeaderFields::Field>::const_iterator HTTPHeaderFields::find(std::string_view name) const {
  return std::find_if(fields_.begin(), fields_.end(), [&](const Field& field) { return namesEqual(field.first, name); });
}

std::optional<std::string> HTTPHeaderFields::valueForHTTPHeaderField(std::string_view name) const {
  auto found = find(name);
  if (found == fields_.end()) return std::nullopt;
  return found->second;
}

void HTTPHeaderFields::setValue(std::string value, std::string_view forHTTPHeaderField) {
  if (auto found = find(forHTTPHeaderField); found != fields_.end()) {
    found->second = std::move(value);
    return;
  }
  fields_.emplace_back(std::string(forHTTPHeaderField), std::move(value));
}

void HTTPHeaderFields::addValue(std::string_view value, std::string_view forHTTPHeaderField) {
  if (auto found = find(forHTTPHeaderField); found != fields_.end()) {
    found->second += ", ";
    found->second += value;
    return;
  }
  fields_.emplace_back(std::string(forHTTPHeaderField), std::string(value));
}

void HTTPHeaderFields::removeValueForHTTPHeaderField(std::string_view name) {
  if (auto found = find(name); found != fields_.end()) fields_.erase(found);
}

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(std::shared_ptr<NSURL> url) {
  return requestWithURL(std::move(url), kDefaultTimeoutInterval);
}

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(std::shared_ptr<NSURL> url, double timeoutInterval) {
  return create(std::move(url), timeoutInterval);
}

std::shared_ptr<NSURLRequest> NSURLRequest::copy() const {
  auto request = requestWithURL(url_, timeoutInterval_);
  request->method_ = method_;
  request->headers_ = headers_;
  request->body_ = body_;
  request->maximumBodySize_ = maximumBodySize_;
  return request;
}

void NSURLRequest::setHTTPMethod(std::string method) { method_ = method.empty() ? "GET" : std::move(method); }

std::string NSURLRequest::description() const {
  return "<NSURLRequest " + method_ + " " + (url_ ? url_->redactedString() : "(no URL)") + ">";
}
