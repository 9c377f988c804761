#pragma once
// Reads values one after another from a text, as the platform's scanner does. Positions
// count UTF-16 code units, the platform's unit of text length, so that "start at
// location 1" skips one character whatever it is (outside the supplementary planes).
// Before each value the characters in charactersToBeSkipped (white space and newlines
// by default) are passed over. A failed scan leaves the location where it was.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

class NSScanner : public NSObject {
 public:
  static std::shared_ptr<NSScanner> scannerWithString(std::string text);

  const std::string& string() const { return text_; }
  std::size_t scanLocation() const { return location_; }
  // Locations past the end are clamped to the end.
  void setScanLocation(std::size_t location);
  // True when only skipped characters remain.
  bool isAtEnd() const;

  // Whether scanString and scanUpToString match letter case exactly (off by default).
  bool caseSensitive = false;
  // Characters passed over before each value; an empty function skips nothing.
  std::function<bool(char32_t)> charactersToBeSkipped;

  // Hexadecimal digits with an optional "0x"/"0X" prefix. A value too large for the type
  // reads as its maximum (0xFFFFFFFF, 0xFFFFFFFFFFFFFFFF) and still counts as a number,
  // as on the platform; all of its digits are consumed. Results may be null.
  bool scanHexInt(std::uint32_t* result);
  bool scanHexLongLong(std::uint64_t* result);
  // An optional sign and decimal digits; out of range saturates at the type's limit.
  bool scanInteger(std::int64_t* result);
  bool scanInt(std::int32_t* result);
  // A decimal real with optional fraction and exponent, read in the C locale.
  bool scanDouble(double* result);
  // The given text at the location (letter case per caseSensitive).
  bool scanString(std::string_view string, std::string* into = nullptr);
  // Everything up to the given text or the end; false when that is nothing.
  bool scanUpToString(std::string_view string, std::string* into = nullptr);

  GLIMDECK_OBJECT(NSScanner)

 private:
  explicit NSScanner(std::string text);
  // The location after the skipped characters from the current one.
  std::size_t skippedLocation() const;
  std::u16string_view rest(std::size_t from) const { return std::u16string_view(units_).substr(from); }
  bool matchesAt(std::size_t at, std::u16string_view target) const;
  template <typename T, typename Reader>
  bool scanNumber(T* result, const Reader& reader);

  std::string text_;
  std::u16string units_;
  std::size_t location_ = 0;
};
