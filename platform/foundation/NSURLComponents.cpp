#include "platform/foundation/NSURLComponents.h"

namespace {

std::optional<std::string> decoded(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return percentDecoded(*text).value_or(*text);
}

std::optional<std::string> encoded(const std::optional<std::string>& text, const URLCharacterSet& allowed) {
  if (!text) return std::nullopt;
  return percentEncoded(*text, allowed);
}

}  // namespace

std::shared_ptr<NSURLComponents> NSURLComponents::make() {
  return std::shared_ptr<NSURLComponents>(new NSURLComponents(URLParts{}));
}

std::shared_ptr<NSURLComponents> NSURLComponents::componentsWithString(std::string_view text) {
  auto parts = URLParts::parse(text);
  if (!parts) return nullptr;
  return create(std::move(*parts));
}

std::shared_ptr<NSURLComponents> NSURLComponents::componentsWithURL(const std::shared_ptr<NSURL>& url,
                                                                    bool resolvingAgainstBaseURL) {
  if (!url) return nullptr;
  return componentsWithString(resolvingAgainstBaseURL ? url->absoluteString() : url->relativeString());
}

std::optional<std::string> NSURLComponents::user() const { return decoded(parts_.user); }

void NSURLComponents::setUser(std::optional<std::string> user) {
  parts_.user = encoded(user, URLUserAllowedCharacterSet());
}

std::optional<std::string> NSURLComponents::password() const { return decoded(parts_.password); }

void NSURLComponents::setPassword(std::optional<std::string> password) {
  parts_.password = encoded(password, URLPasswordAllowedCharacterSet());
}

std::optional<std::string> NSURLComponents::host() const {
  if (!parts_.host) return std::nullopt;
  std::string_view host = *parts_.host;
  if (host.starts_with("[") && host.ends_with("]")) host = host.substr(1, host.size() - 2);
  return decoded(std::string(host));
}

void NSURLComponents::setHost(std::optional<std::string> host) {
  if (host && host->find(':') != std::string::npos && !host->starts_with("[")) host = "[" + *host + "]";
  parts_.host = encoded(host, URLHostAllowedCharacterSet());
}

std::string NSURLComponents::path() const { return *decoded(parts_.path); }

void NSURLComponents::setPath(std::string_view path) { parts_.path = percentEncoded(path, URLPathAllowedCharacterSet()); }

std::optional<std::string> NSURLComponents::query() const { return decoded(parts_.query); }

void NSURLComponents::setQuery(std::optional<std::string> query) {
  parts_.query = encoded(query, URLQueryAllowedCharacterSet());
}

std::optional<std::string> NSURLComponents::fragment() const { return decoded(parts_.fragment); }

void NSURLComponents::setFragment(std::optional<std::string> fragment) {
  parts_.fragment = encoded(fragment, URLFragmentAllowedCharacterSet());
}

std::optional<std::vector<NSURLQueryItem>> NSURLComponents::queryItems() const {
  if (!parts_.query) return std::nullopt;
  std::vector<NSURLQueryItem> items;
  const std::string_view query = *parts_.query;
  if (query.empty()) return items;
  std::size_t start = 0;
  for (;;) {
    const auto end = query.find('&', start);
    const std::string_view piece = query.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const auto equals = piece.find('=');
    NSURLQueryItem item;
    item.name = *decoded(std::string(piece.substr(0, equals)));
    if (equals != std::string_view::npos) item.value = decoded(std::string(piece.substr(equals + 1)));
    items.push_back(std::move(item));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return items;
}

void NSURLComponents::setQueryItems(const std::optional<std::vector<NSURLQueryItem>>& items) {
  if (!items) {
    parts_.query.reset();
    return;
  }
  static const URLCharacterSet& nameCharacters = *new URLCharacterSet(URLQueryAllowedCharacterSet().removing("&="));
  static const URLCharacterSet& valueCharacters = *new URLCharacterSet(URLQueryAllowedCharacterSet().removing("&"));
  std::string query;
  std::size_t length = 0;
  for (const auto& item : *items) length += item.name.size() + (item.value ? item.value->size() + 1 : 0) + 1;
  query.reserve(length);
  for (const auto& item : *items) {
    if (!query.empty() || &item != &items->front()) query += '&';
    appendPercentEncoded(query, item.name, nameCharacters);
    if (item.value) {
      query += '=';
      appendPercentEncoded(query, *item.value, valueCharacters);
    }
  }
  parts_.query = std::move(query);
}

std::shared_ptr<NSURL> NSURLComponents::URL() const {
  auto text = string();
  return text ? NSURL::URLWithString(*text) : nullptr;
}
