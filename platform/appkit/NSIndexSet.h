#pragma once
// An ordered set of distinct indexes (selections, inserted rows). A plain value; the
// "index paths" flavour used by collection views is NSIndexPathSet below.

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>

#include "platform/appkit/NSIndexPath.h"

class NSIndexSet {
 public:
  NSIndexSet() = default;
  NSIndexSet(std::initializer_list<std::size_t> indexes) : indexes_(indexes) {}
  static NSIndexSet indexSetWithIndex(std::size_t index) { return NSIndexSet{index}; }
  // The indexes location ..< location + length.
  static NSIndexSet indexSetWithIndexesInRange(std::size_t location, std::size_t length);

  std::size_t count() const { return indexes_.size(); }
  bool empty() const { return indexes_.empty(); }
  bool containsIndex(std::size_t index) const { return indexes_.contains(index); }
  std::optional<std::size_t> firstIndex() const;
  std::optional<std::size_t> lastIndex() const;
  void addIndex(std::size_t index) { indexes_.insert(index); }
  void removeIndex(std::size_t index) { indexes_.erase(index); }
  void addIndexes(const NSIndexSet& other) { indexes_.insert(other.indexes_.begin(), other.indexes_.end()); }
  void removeAllIndexes() { indexes_.clear(); }

  auto begin() const { return indexes_.begin(); }
  auto end() const { return indexes_.end(); }
  friend bool operator==(const NSIndexSet&, const NSIndexSet&) = default;
  std::string description() const;

 private:
  std::set<std::size_t> indexes_;
};

// A set of index paths in collection order (what collection views select and insert).
using NSIndexPathSet = std::set<NSIndexPath>;
