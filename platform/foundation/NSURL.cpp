#include "platform/foundation/NSURL.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <system_error>

#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSString.h"

namespace {

constexpr std::string_view kAlpha = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kUnreservedMarks = "-._~";
constexpr std::string_view kSubDelims = "!$&'()*+,;=";
constexpr std::string_view kGenDelims = ":/?#[]@";

URLCharacterSet unreserved() {
  return URLCharacterSet::withCharacters(kAlpha).adding(kDigits).adding(kUnreservedMarks);
}

// Everything that may stand in a URL text, percent sign included.
const URLCharacterSet& urlAlphabet() {
  static const URLCharacterSet& set = *new URLCharacterSet(unreserved().adding(kSubDelims).adding(kGenDelims).adding("%"));
  return set;
}

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Every character belongs to the part's set, or is a well-formed "%XX".
bool isValidPart(std::string_view text, const URLCharacterSet& allowed) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
      i += 2;
    } else if (!allowed.contains(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

const URLCharacterSet& pathCharacters() {
  static const URLCharacterSet& set = *new URLCharacterSet(unreserved().adding(kSubDelims).adding(":@/"));
  return set;
}

const URLCharacterSet& queryCharacters() {
  static const URLCharacterSet& set = *new URLCharacterSet(pathCharacters().adding("?"));
  return set;
}

bool isValidScheme(std::string_view scheme) {
  if (scheme.empty() || kAlpha.find(scheme[0]) == std::string_view::npos) return false;
  static const URLCharacterSet& rest = *new URLCharacterSet(URLCharacterSet::withCharacters(kAlpha).adding(kDigits).adding("+-."));
  return std::all_of(scheme.begin(), scheme.end(), [](char c) { return rest.contains(static_cast<unsigned char>(c)); });
}

// The index of the first character of `text` in `set`, or npos: a table look-up a character,
// where find_first_of searches the set for each one.
std::size_t firstOf(std::string_view text, const URLCharacterSet& set) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (set.contains(static_cast<unsigned char>(text[i]))) return i;
  }
  return std::string_view::npos;
}

bool parseAuthority(std::string_view authority, URLParts& parts) {
  static const URLCharacterSet& userChars = *new URLCharacterSet(unreserved().adding(kSubDelims));
  static const URLCharacterSet& hostChars = *new URLCharacterSet(unreserved().adding(kSubDelims));
  static const URLCharacterSet& literalChars = *new URLCharacterSet(unreserved().adding(kSubDelims).adding(":"));

  if (const auto at = authority.find('@'); at != std::string_view::npos) {
    if (authority.find('@', at + 1) != std::string_view::npos) return false;
    const std::string_view userinfo = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    const auto colon = userinfo.find(':');
    const std::string_view user = userinfo.substr(0, colon);
    if (!isValidPart(user, userChars)) return false;
    parts.user = std::string(user);
    if (colon != std::string_view::npos) {
      const std::string_view password = userinfo.substr(colon + 1);
      if (!isValidPart(password, userChars.adding(":"))) return false;
      parts.password = std::string(password);
    }
  }

  std::string_view host;
  std::string_view portText;
  bool hasPort = false;
  if (!authority.empty() && authority[0] == '[') {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) return false;
    const std::string_view literal = authority.substr(1, close - 1);
    if (literal.empty() || !isValidPart(literal, literalChars)) return false;
    host = authority.substr(0, close + 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return false;
      hasPort = true;
      portText = after.substr(1);
    }
  } else {
    const auto colon = authority.rfind(':');
    host = authority.substr(0, colon);
    if (colon != std::string_view::npos) {
      hasPort = true;
      portText = authority.substr(colon + 1);
    }
    if (!isValidPart(host, hostChars)) return false;
  }
  parts.host = std::string(host);
  if (hasPort && !portText.empty()) {
    if (portText.size() > 5) return false;
    int port = 0;
    for (char c : portText) {
      if (c < '0' || c > '9') return false;
      port = port * 10 + (c - '0');
    }
    if (port > 65535) return false;
    parts.port = port;
  }
  return true;
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.starts_with("../")) {
      input.remove_prefix(3);
    } else if (input.starts_with("./")) {
      input.remove_prefix(2);
    } else if (input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.starts_with("/../") || input == "/..") {
      if (input == "/..") {
        input = "/";
      } else {
        input.remove_prefix(3);
      }
      const auto slash = output.rfind('/');
      output.erase(slash == std::string::npos ? 0 : slash);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      const auto next = input.find('/', input[0] == '/' ? 1 : 0);
      const auto segment = input.substr(0, next);
      output += segment;
      input.remove_prefix(segment.size());
    }
  }
  return output;
}

void copyAuthority(const URLParts& from, URLParts& to) {
  to.user = from.user;
  to.password = from.password;
  to.host = from.host;
  to.port = from.port;
}

// RFC 3986 section 5.2.2, strict form.
URLParts resolve(const URLParts& reference, const URLParts& base) {
  URLParts target;
  if (reference.scheme) {
    target = reference;
    target.path = removeDotSegments(reference.path);
    return target;
  }
  if (reference.host) {
    copyAuthority(reference, target);
    target.path = removeDotSegments(reference.path);
    target.query = reference.query;
  } else {
    if (reference.path.empty()) {
      target.path = base.path;
      target.query = reference.query ? reference.query : base.query;
    } else {
      if (reference.path[0] == '/') {
        target.path = removeDotSegments(reference.path);
      } else if (base.host && base.path.empty()) {
        target.path = removeDotSegments("/" + reference.path);
      } else {
        const auto slash = base.path.rfind('/');
        const std::string merged =
            (slash == std::string::npos ? std::string() : base.path.substr(0, slash + 1)) + reference.path;
        target.path = removeDotSegments(merged);
      }
      target.query = reference.query;
    }
    copyAuthority(base, target);
  }
  target.scheme = base.scheme;
  target.fragment = reference.fragment;
  return target;
}

std::string decodedOrRaw(std::string_view text) { return percentDecoded(text).value_or(std::string(text)); }

}  // namespace

URLCharacterSet URLCharacterSet::withCharacters(std::string_view characters) { return URLCharacterSet().adding(characters); }

URLCharacterSet URLCharacterSet::adding(std::string_view characters) const {
  URLCharacterSet set = *this;
  for (unsigned char c : characters) {
    if (c < 128) set.bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
  }
  return set;
}

URLCharacterSet URLCharacterSet::removing(std::string_view characters) const {
  URLCharacterSet set = *this;
  for (unsigned char c : characters) {
    if (c < 128) set.bits_[c >> 6] &= ~(std::uint64_t{1} << (c & 63));
  }
  return set;
}

const URLCharacterSet& URLQueryAllowedCharacterSet() {
  static const URLCharacterSet& set = *new URLCharacterSet(unreserved().adding(kSubDelims).adding(":@/?"));
  return set;
}

const URLCharacterSet& URLFragmentAllowedCharacterSet() { return URLQueryAllowedCharacterSet(); }

const URLCharacterSet& URLPathAllowedCharacterSet() {
  static const URLCharacterSet& set = *new URLCharacterSet(unreserved().adding(kSubDelims).adding(":@/").removing(";"));
  return set;
}

const URLCharacterSet& URLHostAllowedCharacterSet() {
  static const URLCharacterSet& set = *new URLCharacterSet(unreserved().adding(kSubDelims).adding(":[]"));
  return set;
}

const URLCharacterSet& URLUserAllowedCharacterSet() {
  static const URLCharacterSet& set = *new URLCharacterSet(unreserved().adding(kSubDelims));
  return set;
}

const URLCharacterSet& URLPasswordAllowedCharacterSet() { return URLUserAllowedCharacterSet(); }

void appendPercentEncoded(std::string& out, std::string_view text, const URLCharacterSet& allowed) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  // Runs of allowed bytes are copied whole: most texts are all allowed.
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (allowed.contains(c)) continue;
    out.append(text.data() + run, i - run);
    const char escaped[3] = {'%', kHex[c >> 4], kHex[c & 15]};
    out.append(escaped, 3);
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
}

std::string percentEncoded(std::string_view text, const URLCharacterSet& allowed) {
  std::string out;
  out.reserve(text.size());
  appendPercentEncoded(out, text, allowed);
  return out;
}

std::optional<std::string> percentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return std::nullopt;
    out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
    i += 2;
  }
  return out;
}

std::optional<URLParts> URLParts::parse(std::string_view text) {
  const URLCharacterSet& alphabet = urlAlphabet();
  for (unsigned char c : text) {
    if (!alphabet.contains(c)) return std::nullopt;
  }
  static const auto& schemeEnd = *new URLCharacterSet(URLCharacterSet::withCharacters(":/?#"));
  static const auto& authorityEnd = *new URLCharacterSet(URLCharacterSet::withCharacters("/?#"));
  static const auto& pathEnd = *new URLCharacterSet(URLCharacterSet::withCharacters("?#"));
  URLParts parts;
  std::string_view rest = text;
  if (const auto colon = firstOf(rest, schemeEnd); colon != std::string_view::npos && rest[colon] == ':') {
    const std::string_view scheme = rest.substr(0, colon);
    // Without a valid scheme the colon would sit in the first segment of a relative path,
    // which the grammar does not allow either.
    if (!isValidScheme(scheme)) return std::nullopt;
    parts.scheme = std::string(scheme);
    rest.remove_prefix(colon + 1);
  }
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const auto end = firstOf(rest, authorityEnd);
    if (!parseAuthority(rest.substr(0, end), parts)) return std::nullopt;
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  }
  const std::string_view path = rest.substr(0, firstOf(rest, pathEnd));
  if (!isValidPart(path, pathCharacters())) return std::nullopt;
  parts.path = std::string(path);
  rest.remove_prefix(path.size());
  if (rest.starts_with("?")) {
    const auto queryEnd = rest.find('#');
    const std::string_view query = rest.substr(1, queryEnd == std::string_view::npos ? std::string_view::npos : queryEnd - 1);
    if (!isValidPart(query, queryCharacters())) return std::nullopt;
    parts.query = std::string(query);
    rest.remove_prefix(1 + query.size());
  }
  if (rest.starts_with("#")) {
    const std::string_view fragment = rest.substr(1);
    if (!isValidPart(fragment, queryCharacters())) return std::nullopt;
    parts.fragment = std::string(fragment);
  }
  return parts;
}

std::optional<std::string> URLParts::string() const {
  std::string text;
  if (scheme) {
    if (!isValidScheme(*scheme)) return std::nullopt;
    text += *scheme + ":";
  }
  if (host) {
    text += "//";
    if (user || password) {
      text += user.value_or("");
      if (password) text += ":" + *password;
      text += "@";
    }
    text += *host;
    if (port) text += ":" + std::to_string(*port);
    if (!path.empty() && path[0] != '/') return std::nullopt;
  } else {
    if (user || password || port) return std::nullopt;
    if (path.starts_with("//")) return std::nullopt;
    if (!scheme && path.substr(0, path.find('/')).find(':') != std::string::npos) return std::nullopt;
  }
  text += path;
  if (query) text += "?" + *query;
  if (fragment) text += "#" + *fragment;
  return text;
}

std::shared_ptr<NSURL> NSURL::URLWithString(std::string_view text) { return URLWithString(text, nullptr); }

std::shared_ptr<NSURL> NSURL::URLWithString(std::string_view text, const std::shared_ptr<NSURL>& relativeToURL) {
  auto parts = URLParts::parse(text);
  if (!parts) return nullptr;
  if (!relativeToURL) {
    if (text.empty()) return nullptr;
    return create(std::string(), nullptr, std::move(*parts), std::string(text));
  }
  URLParts resolved = resolve(*parts, relativeToURL->parts_);
  auto absolute = resolved.string();
  if (!absolute) return nullptr;
  return create(std::string(text), relativeToURL, std::move(resolved), std::move(*absolute));
}

std::shared_ptr<NSURL> NSURL::fileURLWithPath(std::string_view path) {
  std::error_code error;
  const bool folder = !path.empty() && std::filesystem::is_directory(std::filesystem::path(path), error);
  return fileURLWithPath(path, folder);
}

std::shared_ptr<NSURL> NSURL::fileURLWithPath(std::string_view path, bool isDirectory) {
  std::string absolute(path);
  if (absolute.empty() || absolute[0] != '/') {
    std::error_code error;
    auto base = std::filesystem::current_path(error);
    if (error) base = "/";
    absolute = (base / std::filesystem::path(absolute)).string();
  }
  std::string encoded = percentEncoded(absolute, URLPathAllowedCharacterSet());
  if (isDirectory && encoded.back() != '/') encoded += '/';
  return URLWithString("file://" + encoded);
}

std::shared_ptr<NSURL> NSURL::absoluteURL() const {
  if (!base_) return std::const_pointer_cast<NSURL>(sharedAs<NSURL>());
  return URLWithString(absolute_);
}

std::string NSURL::host() const {
  if (!parts_.host) return {};
  std::string_view host = *parts_.host;
  if (host.starts_with("[") && host.ends_with("]")) host = host.substr(1, host.size() - 2);
  return decodedOrRaw(host);
}

std::string NSURL::user() const { return parts_.user ? decodedOrRaw(*parts_.user) : std::string(); }

std::string NSURL::password() const { return parts_.password ? decodedOrRaw(*parts_.password) : std::string(); }

std::string NSURL::path() const {
  std::string path = decodedOrRaw(parts_.path);
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool NSURL::isFileURL() const {
  std::string scheme = parts_.scheme.value_or("");
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  return scheme == "file";
}

std::string NSURL::lastPathComponent() const {
  const std::string full = path();
  if (full.empty() || full == "/") return full;
  return full.substr(full.rfind('/') + 1);
}

std::string NSURL::pathExtension() const {
  const std::string last = lastPathComponent();
  const auto dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return {};
  return last.substr(dot + 1);
}

std::shared_ptr<NSURL> NSURL::withEncodedPath(std::string path) const {
  URLParts parts = parts_;
  parts.path = std::move(path);
  auto text = parts.string();
  return text ? URLWithString(*text) : nullptr;
}

std::shared_ptr<NSURL> NSURL::URLByAppendingPathComponent(std::string_view component) const {
  return URLByAppendingPathComponent(component, component.ends_with("/"));
}

std::shared_ptr<NSURL> NSURL::URLByAppendingPathComponent(std::string_view component, bool isDirectory) const {
  while (component.starts_with("/")) component.remove_prefix(1);
  std::string path = parts_.path;
  if (path.empty() ? parts_.host.has_value() : path.back() != '/') path += '/';
  path += percentEncoded(component, URLPathAllowedCharacterSet());
  if (isDirectory && path.back() != '/') path += '/';
  return withEncodedPath(std::move(path));
}

std::shared_ptr<NSURL> NSURL::URLByDeletingLastPathComponent() const {
  std::string path = parts_.path;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path == "/") return withEncodedPath(path);
  const auto slash = path.rfind('/');
  path = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  return withEncodedPath(std::move(path));
}

std::shared_ptr<NSURL> NSURL::URLByAppendingPathExtension(std::string_view extension) const {
  std::string path = parts_.path;
  const bool folder = path.size() > 1 && path.back() == '/';
  if (folder) path.pop_back();
  if (path.empty() || path.back() == '/') return withEncodedPath(parts_.path);
  path += "." + percentEncoded(extension, URLPathAllowedCharacterSet());
  if (folder) path += '/';
  return withEncodedPath(std::move(path));
}

std::shared_ptr<NSURL> NSURL::URLByDeletingPathExtension() const {
  const std::string extension = pathExtension();
  if (extension.empty()) return withEncodedPath(parts_.path);
  std::string path = parts_.path;
  const bool folder = path.size() > 1 && path.back() == '/';
  if (folder) path.pop_back();
  path.erase(path.rfind('.'));
  if (folder) path += '/';
  return withEncodedPath(std::move(path));
}

std::string NSURL::redactedString() const {
  std::string text = parts_.scheme ? *parts_.scheme + ":" : std::string();
  if (parts_.host) text += "//" + *parts_.host + (parts_.port ? ":" + std::to_string(*parts_.port) : std::string());
  return text + parts_.path;
}

namespace {
const NSCodingRegistration urlRegistration{"NSURL", &NSURL::initWithCoder};
}  // namespace

void NSURL::encodeWithCoder(NSCoder& coder) const {
  coder.encodeObject(base_, "NS.base");
  coder.encodeObject(NSString::make(relativeString()), "NS.relative");
}

std::shared_ptr<NSURL> NSURL::initWithCoder(NSCoder& coder) {
  auto relative = coder.decodeObjectOfClass<NSString>("NS.relative");
  if (!relative || !*relative) return nullptr;
  auto base = coder.decodeObjectOfClass<NSURL>("NS.base");
  if (!base) return nullptr;
  return URLWithString((*relative)->string(), *base);
}

bool NSURL::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto url = asA<NSURL>(other);
  return url && url->absolute_ == absolute_;
}

std::size_t NSURL::hash() const { return std::hash<std::string>{}(absolute_); }
