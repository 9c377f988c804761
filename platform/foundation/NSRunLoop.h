#pragma once
// The main thread's run loop: blocks queued for the main thread, and timed work
// (timers, delayed blocks, animation completions) kept in deadline order on the clock.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <vector>

#include "platform/foundation/NSObject.h"

class ManualClock;
class NSTimer;

// Another source of events the main thread serves beside the queue (a desktop's event
// loop). The run loop hands it its idle time, so that one loop serves both.
class RunLoopWaiter {
 public:
  virtual ~RunLoopWaiter() = default;
  // Handles what is ready without blocking; true when anything was handled (main thread).
  virtual bool dispatchPending() = 0;
  // Blocks at most `seconds` (real time), handling events meanwhile; returns early when
  // woken (main thread).
  virtual void wait(double seconds) = 0;
  // Ends a wait in progress, or the next one if none is (any thread).
  virtual void wake() = 0;
};

// A scheduled piece of timed work; cancel() keeps it from running if it has not yet.
class RunLoopTimerToken {
 public:
  void cancel() { cancelled_.store(true); }
  bool isCancelled() const { return cancelled_.load(); }
  double deadline() const { return deadline_; }

 private:
  friend class NSRunLoop;
  explicit RunLoopTimerToken(double deadline) : deadline_(deadline) {}
  std::atomic<bool> cancelled_{false};
  double deadline_;
};

class NSRunLoop : public NSObject {
 public:
  static std::shared_ptr<NSRunLoop> main();
  static bool isMainThread();

  // Queues a block for the main thread; safe from any thread.
  void perform(std::function<void()> block);
  // Runs the block on the main thread once the clock reaches the deadline (seconds since 1970).
  std::shared_ptr<RunLoopTimerToken> scheduleAt(double deadline, std::function<void()> block);
  std::shared_ptr<RunLoopTimerToken> scheduleAfter(double seconds, std::function<void()> block);
  // Starts a timer made with NSTimer::timerWithTimeInterval; adding it again does nothing.
  void addTimer(const std::shared_ptr<NSTimer>& timer);

  // Runs the blocks queued so far and the timed work that is due; true when anything ran.
  bool runOnce();
  // Runs until stop(), sleeping until the next block or deadline (real clock only).
  void run();
  void stop();
  // Pumps the main queue (and due timers) until the predicate holds or `timeout` real
  // seconds pass; waits for blocks that other threads queue meanwhile. Answers the predicate.
  bool runUntil(const std::function<bool()>& predicate, double timeout);
  // Runs queued blocks until none are left (blocks may queue more; bounded).
  void drain();

  // Lets another event source share the main thread's waits; empty removes it.
  void setWaiter(std::shared_ptr<RunLoopWaiter> waiter);

  // Forgets every queued block and pending timer (between tests).
  void reset();
  std::size_t pendingTimerCount();
  std::size_t pendingBlockCount();

  GLIMDECK_OBJECT(NSRunLoop)

 private:
  friend class ManualClock;
  struct Timed {
    double deadline;
    std::uint64_t sequence;
    std::shared_ptr<RunLoopTimerToken> token;
    std::function<void()> block;
  };
  struct Later {
    bool operator()(const Timed& a, const Timed& b) const {
      return a.deadline != b.deadline ? a.deadline > b.deadline : a.sequence > b.sequence;
    }
  };

  NSRunLoop() = default;
  bool runQueuedBlocks();
  bool runDueTimers(double now);
  void advanceManualClock(ManualClock& clock, double target);
  std::shared_ptr<RunLoopWaiter> waiter();
  void wakeWaiter();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> blocks_;
  std::priority_queue<Timed, std::vector<Timed>, Later> timers_;
  std::uint64_t sequence_ = 0;
  bool stopped_ = false;
  std::shared_ptr<RunLoopWaiter> waiter_;
};
