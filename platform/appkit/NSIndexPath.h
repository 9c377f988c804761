#pragma once
// The position of an element in a sectioned collection: an item within a section.
// A plain value: index paths are compared, hashed and used as keys far more often than
// they are shared, so they carry no identity.

#include <compare>
#include <cstddef>
#include <functional>
#include <string>

struct NSIndexPath {
  std::size_t item = 0;
  std::size_t section = 0;

  static NSIndexPath indexPathForItem(std::size_t item, std::size_t inSection) { return {item, inSection}; }

  // Sections first, then items: the order in which a collection presents its elements.
  friend auto operator<=>(const NSIndexPath& a, const NSIndexPath& b) {
    if (auto c = a.section <=> b.section; c != 0) return c;
    return a.item <=> b.item;
  }
  friend bool operator==(const NSIndexPath&, const NSIndexPath&) = default;

  std::string description() const;
};

template <>
struct std::hash<NSIndexPath> {
  std::size_t operator()(const NSIndexPath& p) const noexcept {
    return std::hash<std::size_t>{}(p.section * 0x9E3779B97F4A7C15ull ^ p.item);
  }
};
