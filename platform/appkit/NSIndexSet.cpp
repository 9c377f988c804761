#include "platform/appkit/NSIndexSet.h"

NSIndexSet NSIndexSet::indexSetWithIndexesInRange(std::size_t location, std::size_t length) {
  NSIndexSet set;
  for (std::size_t i = 0; i < length; ++i) set.indexes_.insert(set.indexes_.end(), location + i);
  return set;
}

std::optional<std::size_t> NSIndexSet::firstIndex() const {
  if (indexes_.empty()) return std::nullopt;
  return *indexes_.begin();
}

std::optional<std::size_t> NSIndexSet::lastIndex() const {
  if (indexes_.empty()) return std::nullopt;
  return *indexes_.rbegin();
}

std::string NSIndexSet::description() const {
  std::string text = "(";
  for (auto index : indexes_) {
    if (text.size() > 1) text += ", ";
    text += std::to_string(index);
  }
  return text + ")";
}
