#pragma once
// Small text helpers the stand-in's routes and parsers share.

#include <cctype>
#include <charconv>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"

namespace standin {

inline std::string lower(std::string_view value) {
  std::string out(value);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Without the spaces and tabs around it, as header values are compared.
inline std::string_view trimmed(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  return value;
}

// The whole text as a decimal number (a "-" may lead), or none.
inline std::optional<std::int64_t> wholeNumber(std::string_view value) {
  std::int64_t out = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), out);
  if (value.empty() || error != std::errc() || end != value.data() + value.size()) return std::nullopt;
  return out;
}

inline id text(std::string value) { return NSString::make(std::move(value)); }

using TextMaker = std::function<id(const std::string&)>;

inline id textList(const std::vector<std::string>& values, const TextMaker& make = text) {
  auto list = NSArray::make();
  for (const auto& value : values) list->addObject(make(value));
  return list;
}

// Item ids per user, keyed by the user id as text (JSON keys are strings).
inline id listsByUser(const std::map<std::int64_t, std::vector<std::string>>& lists, const TextMaker& make = text) {
  auto object = NSDictionary::make();
  for (const auto& [userid, items] : lists) object->setObject(textList(items, make), std::to_string(userid));
  return object;
}

}  // namespace standin
