#pragma once
// A run of UTF-16 code units in a text: a location and a length.

#include <cstdint>
#include <limits>

struct NSRange {
  std::uint64_t location = 0;
  std::uint64_t length = 0;
  friend bool operator==(const NSRange&, const NSRange&) = default;

  std::uint64_t end() const { return location + length; }
  bool contains(std::uint64_t index) const { return index >= location && index < end(); }
};

inline constexpr std::uint64_t NSNotFound = std::numeric_limits<std::int64_t>::max();

inline NSRange NSMakeRange(std::uint64_t location, std::uint64_t length) { return {location, length}; }
