#include "platform/quartz/TreeChange.h"

#include <atomic>

std::uint64_t TreeChange::next() {
  // One count for every tree: a walk that met a node at an address may later meet another
  // there, which must not pass for the first.
  static std::atomic<std::uint64_t> count{0};
  return count.fetch_add(1, std::memory_order_relaxed) + 1;
}

void TreeChange::note() {
  const std::uint64_t change = next();
  // Trees are a few dozen nodes deep; the bound only guards against a link left in a loop.
  int depth = 0;
  for (TreeChange* node = this; node && depth < 4096; node = node->above_, ++depth) node->number_ = change;
}
