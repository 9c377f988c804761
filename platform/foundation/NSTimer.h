#pragma once
// Timers on the main run loop: one-shot or repeating, fired early on demand, invalidated
// for good. A scheduled timer is kept alive by the run loop until it is invalidated (or,
// when it does not repeat, until it has fired), so its owner may hold it weakly.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSRunLoop.h"

class NSTimer : public NSObject {
 public:
  using Block = std::function<void(const std::shared_ptr<NSTimer>&)>;

  // Shortest interval a repeating timer accepts; anything shorter would spin the run loop.
  static constexpr double kMinimumInterval = 0.0001;

  // A timer already on the main run loop, first due `interval` seconds from now.
  static std::shared_ptr<NSTimer> scheduledTimerWithTimeInterval(double interval, bool repeats, Block block,
                                                                 id userInfo = nullptr);
  // A timer that does nothing until it is added to a run loop (NSRunLoop::addTimer).
  static std::shared_ptr<NSTimer> timerWithTimeInterval(double interval, bool repeats, Block block,
                                                        id userInfo = nullptr);

  // Runs the block now. A one-shot timer is then invalidated; a repeating one keeps its
  // schedule. An invalidated timer does nothing.
  void fire();
  // Stops the timer for good and releases its block (and whatever the block holds).
  void invalidate();
  bool isValid() const;

  // When the timer is next due.
  std::shared_ptr<NSDate> fireDate() const;
  // Moves the next firing; a repeating timer continues from there.
  void setFireDate(const std::shared_ptr<NSDate>& date);
  double timeInterval() const { return interval_; }
  bool repeats() const { return repeats_; }
  id userInfo() const { return userInfo_; }

  GLIMDECK_OBJECT(NSTimer)

 private:
  friend class NSRunLoop;
  NSTimer(double interval, bool repeats, Block block, id userInfo);

  // Puts the timer on the main run loop at its fire date (once; later calls do nothing).
  void schedule();
  // Holds mutex_: queues the next firing at fireDate_.
  void armLocked();
  // Called by the run loop when the firing armed as `generation` falls due.
  void fired(std::uint64_t generation);

  const double interval_;
  const bool repeats_;
  const id userInfo_;
  mutable std::mutex mutex_;
  Block block_;
  // Repeating firings are counted from an anchor, so they never drift: the n-th one is
  // due at anchor_ + n * interval_ however late the ones before it ran.
  double anchor_;
  std::uint64_t periods_ = 0;
  double fireDate_;
  std::uint64_t generation_ = 0;
  bool valid_ = true;
  bool scheduled_ = false;
  std::shared_ptr<RunLoopTimerToken> token_;
};
