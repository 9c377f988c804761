#include "platform/foundation/NSScanner.h"

#include <unicode/stringoptions.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <limits>

#include "platform/foundation/NumberScanning.h"
#include "platform/foundation/Unicode.h"

std::shared_ptr<NSScanner> NSScanner::scannerWithString(std::string text) {
  return create(std::move(text));
}

NSScanner::NSScanner(std::string text)
    : charactersToBeSkipped(Unicode::isWhitespaceOrNewline), text_(std::move(text)), units_(Unicode::toUtf16(text_)) {}

void NSScanner::setScanLocation(std::size_t location) { location_ = std::min(location, units_.size()); }

std::size_t NSScanner::skippedLocation() const {
  std::size_t at = location_;
  if (!charactersToBeSkipped) return at;
  while (at < units_.size()) {
    char32_t c = units_[at];
    std::size_t width = 1;
    if (U16_IS_LEAD(units_[at]) && at + 1 < units_.size() && U16_IS_TRAIL(units_[at + 1])) {
      c = static_cast<char32_t>(U16_GET_SUPPLEMENTARY(units_[at], units_[at + 1]));
      width = 2;
    }
    if (!charactersToBeSkipped(c)) break;
    at += width;
  }
  return at;
}

bool NSScanner::isAtEnd() const { return skippedLocation() >= units_.size(); }

// One number read: skip, read with `reader` from there, move past it on success.
template <typename T, typename Reader>
bool NSScanner::scanNumber(T* result, const Reader& reader) {
  T value{};
  const std::size_t from = skippedLocation();
  const std::size_t used = reader(rest(from), value);
  if (used == 0) return false;
  location_ = from + used;
  if (result) *result = value;
  return true;
}

bool NSScanner::scanHexInt(std::uint32_t* result) {
  return scanNumber(result, [](std::u16string_view text, std::uint32_t& value) {
    std::uint64_t wide = 0;
    const std::size_t used = NumberScanning::scanHex(text, std::numeric_limits<std::uint32_t>::max(), wide);
    value = static_cast<std::uint32_t>(wide);
    return used;
  });
}

bool NSScanner::scanHexLongLong(std::uint64_t* result) {
  return scanNumber(result, [](std::u16string_view text, std::uint64_t& value) {
    return NumberScanning::scanHex(text, std::numeric_limits<std::uint64_t>::max(), value);
  });
}

bool NSScanner::scanInteger(std::int64_t* result) {
  return scanNumber(result, [](std::u16string_view text, std::int64_t& value) {
    return NumberScanning::scanInteger(text, value);
  });
}

bool NSScanner::scanInt(std::int32_t* result) {
  std::int64_t value = 0;
  if (!scanInteger(&value)) return false;
  if (result) {
    *result = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                                 std::numeric_limits<std::int32_t>::max()));
  }
  return true;
}

bool NSScanner::scanDouble(double* result) {
  return scanNumber(result, [](std::u16string_view text, double& value) { return NumberScanning::scanReal(text, value); });
}

bool NSScanner::matchesAt(std::size_t at, std::u16string_view target) const {
  if (at + target.size() > units_.size()) return false;
  if (caseSensitive) return rest(at).substr(0, target.size()) == target;
  const icu::UnicodeString window(units_.data() + at, static_cast<int32_t>(target.size()));
  const icu::UnicodeString wanted(target.data(), static_cast<int32_t>(target.size()));
  return window.caseCompare(wanted, U_FOLD_CASE_DEFAULT) == 0;
}

bool NSScanner::scanString(std::string_view string, std::string* into) {
  const std::u16string target = Unicode::toUtf16(string);
  const std::size_t from = skippedLocation();
  if (target.empty() || !matchesAt(from, target)) return false;
  location_ = from + target.size();
  if (into) *into = Unicode::fromUtf16(std::u16string_view(units_).substr(from, target.size()));
  return true;
}

bool NSScanner::scanUpToString(std::string_view string, std::string* into) {
  const std::u16string target = Unicode::toUtf16(string);
  const std::size_t from = skippedLocation();
  std::size_t end = from;
  while (end < units_.size() && (target.empty() || !matchesAt(end, target))) ++end;
  if (end == from) return false;
  location_ = end;
  if (into) *into = Unicode::fromUtf16(std::u16string_view(units_).substr(from, end - from));
  return true;
}
