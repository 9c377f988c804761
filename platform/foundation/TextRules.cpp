#include "platform/foundation/TextRules.h"

#include <cstdio>
#include <limits>

#include "platform/foundation/NumberScanning.h"
#include "platform/foundation/Unicode.h"

namespace TextRules {

bool boolValue(std::string_view text) {
  std::string_view rest = Unicode::withoutLeadingWhitespace(text);
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) rest.remove_prefix(1);
  while (!rest.empty() && rest.front() == '0') rest.remove_prefix(1);
  if (rest.empty()) return false;
  const char c = rest.front();
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::int64_t integerValue(std::string_view text) {
  std::int64_t value = 0;
  if (NumberScanning::scanInteger(Unicode::withoutLeadingWhitespace(text), value) == 0) return 0;
  return value;
}

std::int32_t intValue(std::string_view text) {
  const std::int64_t value = integerValue(text);
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

double doubleValue(std::string_view text) {
  double value = 0.0;
  if (NumberScanning::scanReal(Unicode::withoutLeadingWhitespace(text), value) == 0) return 0.0;
  return value;
}

std::vector<std::string> componentsSeparatedByString(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) return {std::string(text)};
  std::size_t start = 0;
  while (true) {
    const std::size_t found = text.find(separator, start);
    if (found == std::string_view::npos) break;
    pieces.emplace_back(text.substr(start, found - start));
    start = found + separator.size();
  }
  pieces.emplace_back(text.substr(start));
  return pieces;
}

std::string formatReal(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

}  // namespace TextRules
