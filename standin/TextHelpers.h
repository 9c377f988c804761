#pragma once
// Small text helpers the stand-in's routes and parsers share.

#include <cctype>
#include <string>
#include <string_view>

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

inline id text(std::string value) { return NSString::make(std::move(value)); }

}  // namespace standin
