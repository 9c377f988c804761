#include "platform/foundation/NSLocale.h"

#include <cstdlib>
#include <functional>

namespace {

constexpr std::string_view kFallback = "en_US";

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiAlphanumeric(char c) { return isAsciiLetter(c) || (c >= '0' && c <= '9'); }

// A language of two or three letters, then optional "_" parts of letters and digits.
bool isWellFormedIdentifier(std::string_view identifier) {
  const std::size_t languageEnd = std::min(identifier.find('_'), identifier.size());
  if (languageEnd < 2 || languageEnd > 3) return false;
  for (std::size_t i = 0; i < languageEnd; ++i) {
    if (!isAsciiLetter(identifier[i])) return false;
  }
  std::size_t partLength = 0;
  for (std::size_t i = languageEnd; i < identifier.size(); ++i) {
    if (identifier[i] == '_') {
      if (i != languageEnd && partLength == 0) return false;
      partLength = 0;
    } else if (isAsciiAlphanumeric(identifier[i])) {
      ++partLength;
    } else {
      return false;
    }
  }
  return languageEnd == identifier.size() || partLength > 0;
}

std::string firstSetVariable(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return {};
}

std::string toLanguageTag(std::string identifier) {
  for (char& c : identifier) {
    if (c == '_') c = '-';
  }
  return identifier;
}

}  // namespace

std::string NSLocale::identifierFromPosixLocale(std::string_view value) {
  // "language_TERRITORY.codeset@modifier": the codeset and modifier do not name a locale.
  const std::size_t end = std::min(value.find('.'), value.find('@'));
  const std::string_view name = value.substr(0, std::min(end, value.size()));
  if (name == "C" || name == "POSIX" || !isWellFormedIdentifier(name)) return std::string(kFallback);
  return std::string(name);
}

std::shared_ptr<NSLocale> NSLocale::currentLocale() {
  return localeWithLocaleIdentifier(identifierFromPosixLocale(firstSetVariable({"LC_ALL", "LC_MESSAGES", "LANG"})));
}

std::shared_ptr<NSLocale> NSLocale::localeWithLocaleIdentifier(std::string identifier) {
  return create(std::move(identifier));
}

std::vector<std::string> NSLocale::preferredLanguages() {
  std::vector<std::string> languages;
  const std::string list = firstSetVariable({"LANGUAGE"});
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string_view entry = std::string_view(list).substr(start, end - start);
    const std::string_view name = entry.substr(0, std::min(entry.find('.'), entry.size()));
    if (isWellFormedIdentifier(name)) languages.push_back(toLanguageTag(std::string(name)));
    start = end + 1;
  }
  if (languages.empty()) languages.push_back(toLanguageTag(currentLocale()->localeIdentifier()));
  return languages;
}

std::string NSLocale::languageCode() const { return identifier_.substr(0, identifier_.find('_')); }

std::string NSLocale::countryCode() const {
  // The region is the part of two letters or three digits after the language (a script
  // of four letters may stand between them).
  std::size_t start = identifier_.find('_');
  while (start != std::string::npos) {
    const std::size_t end = std::min(identifier_.find('_', start + 1), identifier_.size());
    const std::size_t length = end - start - 1;
    if (length == 2 || length == 3) return identifier_.substr(start + 1, length);
    start = end < identifier_.size() ? end : std::string::npos;
  }
  return {};
}

bool NSLocale::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto locale = asA<NSLocale>(other);
  return locale && locale->identifier_ == identifier_;
}

std::size_t NSLocale::hash() const { return std::hash<std::string>{}(identifier_); }
