#pragma once
// The leading-number readers shared by NSScanner (UTF-16) and the text rules (UTF-8).
// Each reads from the start of its input, never skips white space itself, and answers
// how many code units it consumed: 0 means no number was there.

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>
#include <string_view>

namespace NumberScanning {

template <typename CharT>
constexpr bool isDigit(CharT c) {
  return c >= CharT('0') && c <= CharT('9');
}

template <typename CharT>
constexpr int hexDigitValue(CharT c) {
  if (c >= CharT('0') && c <= CharT('9')) return static_cast<int>(c - CharT('0'));
  if (c >= CharT('a') && c <= CharT('f')) return static_cast<int>(c - CharT('a')) + 10;
  if (c >= CharT('A') && c <= CharT('F')) return static_cast<int>(c - CharT('A')) + 10;
  return -1;
}

// Optional "+" or "-", then decimal digits. A value beyond 64 bits saturates to the
// nearest limit; all of its digits are consumed all the same.
template <typename CharT>
std::size_t scanInteger(std::basic_string_view<CharT> text, std::int64_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == CharT('+') || text[i] == CharT('-'))) {
    negative = text[i] == CharT('-');
    ++i;
  }
  const std::size_t firstDigit = i;
  // Accumulated as a negative number so that INT64_MIN fits.
  std::int64_t accumulated = 0;
  bool overflow = false;
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  for (; i < text.size() && isDigit(text[i]); ++i) {
    const int digit = static_cast<int>(text[i] - CharT('0'));
    if (overflow) continue;
    if (accumulated < (kMin + digit) / 10) {
      overflow = true;
      continue;
    }
    accumulated = accumulated * 10 - digit;
  }
  if (i == firstDigit) return 0;
  if (overflow) {
    value = negative ? kMin : std::numeric_limits<std::int64_t>::max();
  } else if (negative) {
    value = accumulated;
  } else {
    value = accumulated == kMin ? std::numeric_limits<std::int64_t>::max() : -accumulated;
  }
  return i;
}

// Optional "0x" or "0X" (only when a hexadecimal digit follows it), then hexadecimal
// digits. A value above `maximum` reads as `maximum`; all its digits are consumed.
template <typename CharT>
std::size_t scanHex(std::basic_string_view<CharT> text, std::uint64_t maximum, std::uint64_t& value) {
  std::size_t i = 0;
  if (text.size() >= 3 && text[0] == CharT('0') && (text[1] == CharT('x') || text[1] == CharT('X')) &&
      hexDigitValue(text[2]) >= 0) {
    i = 2;
  }
  const std::size_t firstDigit = i;
  std::uint64_t accumulated = 0;
  bool overflow = false;
  for (; i < text.size(); ++i) {
    const int digit = hexDigitValue(text[i]);
    if (digit < 0) break;
    if (overflow) continue;
    if (accumulated > (maximum - static_cast<std::uint64_t>(digit)) / 16) {
      overflow = true;
      continue;
    }
    accumulated = accumulated * 16 + static_cast<std::uint64_t>(digit);
  }
  if (i == firstDigit) return 0;
  value = overflow ? maximum : accumulated;
  return i;
}

// Optional sign, digits with at most one ".", at least one digit, then an optional
// exponent ("e" or "E", optional sign, digits; ignored when no digit follows). Read in
// the C locale whatever the process's locale is; too large a value gives an infinity.
template <typename CharT>
std::size_t scanReal(std::basic_string_view<CharT> text, double& value) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == CharT('+') || text[i] == CharT('-'))) ++i;
  std::size_t digits = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == CharT('.')) {
    ++i;
    for (; i < text.size() && isDigit(text[i]); ++i) ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == CharT('e') || text[i] == CharT('E'))) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == CharT('+') || text[j] == CharT('-'))) ++j;
    if (j < text.size() && isDigit(text[j])) {
      while (j < text.size() && isDigit(text[j])) ++j;
      i = j;
    }
  }
  std::string ascii;
  ascii.reserve(i);
  for (std::size_t k = 0; k < i; ++k) ascii.push_back(static_cast<char>(text[k]));
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  value = cLocale ? strtod_l(ascii.c_str(), nullptr, cLocale) : std::strtod(ascii.c_str(), nullptr);
  return i;
}

}  // namespace NumberScanning
