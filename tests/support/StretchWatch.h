#pragma once
// How long the main thread of a case went without coming back to its run loop, for the cases
// that bound it while hostile pictures load (the goal proper is measured in the benchmarks).

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

// The longest the main thread was away from its run loop: between two turns of the loop
// (one turn runs every block queued by then) and over each move of the clock.
class StretchWatch {
 public:
  using Clock = std::chrono::steady_clock;
  // A predicate for runUntil that notes each turn and holds once `done` does.
  std::function<bool()> turns(std::function<bool()> done) {
    last_ = Clock::now();
    return [this, done = std::move(done)] {
      note(std::exchange(last_, Clock::now()));
      return done();
    };
  }
  template <typename Work>
  void time(Work work) {
    const auto start = Clock::now();
    work();
    note(start);
  }
  double longestSeconds() const { return longest_; }

 private:
  void note(Clock::time_point since) {
    longest_ = std::max(longest_, std::chrono::duration<double>(Clock::now() - since).count());
  }
  Clock::time_point last_;
  double longest_ = 0;
};
