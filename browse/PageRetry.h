#pragma once
// The pause a paging screen keeps after a page failed: no page is asked for before it is
// over, each further failure in a row doubles it (up to a longest pause), and when it is
// over the screen is called back to look again, so a user who waits at the end of a grid is
// not left there. A page that arrives forgets the failures. Main thread only.

#include <functional>
#include <memory>

#include "platform/foundation/NSRunLoop.h"

class PageRetry {
 public:
  struct Constants {
    static constexpr double firstPause = 2.0;
    static constexpr double longestPause = 64.0;
  };

  PageRetry() = default;
  PageRetry(const PageRetry&) = delete;
  PageRetry& operator=(const PageRetry&) = delete;
  ~PageRetry() { succeeded(); }

  // A page failed: `retry` runs on the main run loop once the pause is over (a later failure
  // or success cancels it, so it should hold its screen weakly).
  void failed(std::function<void()> retry);
  // A page arrived, or a new stream starts: no pause, nothing pending.
  void succeeded();
  // False while the pause after a failure lasts.
  bool mayAsk() const;
  int failuresInARow() const { return failures_; }

 private:
  int failures_ = 0;
  double resumeAt_ = 0;
  std::shared_ptr<RunLoopTimerToken> pending_;
};
