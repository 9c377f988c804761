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

std::string HTTPHeaderFields::keyOf(std::string_view name) {
  std::string key(name);
  for (auto& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

std::optional<std::string> HTTPHeaderFields::valueForHTTPHeaderField(std::string_view name) const {
  auto found = index_.find(keyOf(name));
  if (found == index_.end()) return std::nullopt;
  return fields_[found->second].second;
}

void HTTPHeaderFields::setValue(std::string value, std::string_view forHTTPHeaderField) {
  auto [found, added] = index_.try_emplace(keyOf(forHTTPHeaderField), fields_.size());
  if (!added) {
    fields_[found->second].second = std::move(value);
    return;
  }
  fields_.emplace_back(std::string(forHTTPHeaderField), std::move(value));
}

void HTTPHeaderFields::addValue(std::string_view value, std::string_view forHTTPHeaderField) {
  auto [found, added] = index_.try_emplace(keyOf(forHTTPHeaderField), fields_.size());
  if (!added) {
    std::string& existing = fields_[found->second].second;
    existing += ", ";
    existing += value;
    return;
  }
  fields_.emplace_back(std::string(forHTTPHeaderField), std::string(value));
}

void HTTPHeaderFields::removeValueForHTTPHeaderField(std::string_view name) {
  auto found = index_.find(keyOf(name));
  if (found == index_.end()) return;
  const std::size_t removed = found->second;
  fields_.erase(fields_.begin() + static_cast<std::ptrdiff_t>(removed));
  index_.erase(found);
  // The fields after it moved up by one.
  for (auto& [key, position] : index_) {
    if (position > removed) --position;
  }
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
