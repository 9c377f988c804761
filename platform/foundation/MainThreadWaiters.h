#pragma once
// Those waiting for something a worker makes (a decoded picture), each with what to run on
// the main thread once it is there. The worker tells the waits it has met in one go.
// Not locked: its owner guards it with its own lock.

#include <functional>
#include <utility>
#include <vector>

#include "platform/foundation/NSRunLoop.h"

template <typename Key>
class MainThreadWaiters {
 public:
  using Entry = std::pair<Key, std::function<void()>>;

  // A wait without anything to run only marks the key as wanted.
  void add(Key key, std::function<void()> whenMet) { entries_.emplace_back(std::move(key), std::move(whenMet)); }
  const std::vector<Entry>& entries() const { return entries_; }
  bool empty() const { return entries_.empty(); }

  // Ends every wait whose key `met` accepts (all of them without one) and runs what they
  // asked for on the main thread.
  template <typename Met>
  void tell(Met met) {
    std::vector<std::function<void()>> ready;
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (met(it->first)) {
        if (it->second) ready.push_back(std::move(it->second));
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
    if (ready.empty()) return;
    NSRunLoop::main()->perform([ready = std::move(ready)] {
      for (const auto& run : ready) run();
    });
  }
  void tellAll() {
    tell([](const Key&) { return true; });
  }

 private:
  std::vector<Entry> entries_;
};
