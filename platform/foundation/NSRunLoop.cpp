#include "platform/foundation/NSRunLoop.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSTimer.h"

namespace {
// Static initialisation runs on the thread that runs main().
const std::thread::id kMainThread = std::this_thread::get_id();
}  // namespace

std::shared_ptr<NSRunLoop> NSRunLoop::main() {
  // Never destroyed: other threads queue blocks on it until they stop (ProcessShutdown.h).
  static const std::shared_ptr<NSRunLoop>& loop = *new std::shared_ptr<NSRunLoop>(new NSRunLoop());
  return loop;
}

bool NSRunLoop::isMainThread() { return std::this_thread::get_id() == kMainThread; }

void NSRunLoop::perform(std::function<void()> block) {
  {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
  }
  wake_.notify_all();
  wakeWaiter();
}

std::shared_ptr<RunLoopTimerToken> NSRunLoop::scheduleAt(double deadline, std::function<void()> block) {
  auto token = std::shared_ptr<RunLoopTimerToken>(new RunLoopTimerToken(deadline));
  {
    std::lock_guard lock(mutex_);
    timers_.push(Timed{deadline, sequence_++, token, std::move(block)});
  }
  wake_.notify_all();
  wakeWaiter();
  return token;
}

std::shared_ptr<RunLoopTimerToken> NSRunLoop::scheduleAfter(double seconds, std::function<void()> block) {
  return scheduleAt(Clock::current().now() + (seconds > 0 ? seconds : 0), std::move(block));
}

void NSRunLoop::addTimer(const std::shared_ptr<NSTimer>& timer) {
  if (timer) timer->schedule();
}

bool NSRunLoop::runQueuedBlocks() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(blocks_);
  }
  for (auto& block : batch) block();
  return !batch.empty();
}

bool NSRunLoop::runDueTimers(double now) {
  bool ran = false;
  for (;;) {
    Timed due;
    {
      std::lock_guard lock(mutex_);
      if (timers_.empty() || timers_.top().deadline > now) break;
      due = timers_.top();
      timers_.pop();
    }
    if (due.token->isCancelled()) continue;
    due.token->cancel();  // ran: a later cancel() is harmless
    due.block();
    ran = true;
  }
  return ran;
}

void NSRunLoop::setWaiter(std::shared_ptr<RunLoopWaiter> waiter) {
  std::lock_guard lock(mutex_);
  waiter_ = std::move(waiter);
}

std::shared_ptr<RunLoopWaiter> NSRunLoop::waiter() {
  std::lock_guard lock(mutex_);
  return waiter_;
}

void NSRunLoop::wakeWaiter() {
  if (auto w = waiter()) w->wake();
}

bool NSRunLoop::runOnce() {
  bool ran = runQueuedBlocks();
  if (auto w = waiter()) ran = w->dispatchPending() || ran;
  Clock& clock = Clock::current();
  if (!clock.isManual()) ran = runDueTimers(clock.now()) || ran;
  return ran;
}

void NSRunLoop::run() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = false;
  }
  for (;;) {
    runOnce();
    std::unique_lock lock(mutex_);
    if (stopped_) return;
    if (!blocks_.empty()) continue;
    double wait = 1.0;
    Clock& clock = Clock::current();
    if (!timers_.empty() && !clock.isManual()) wait = std::min(wait, timers_.top().deadline - clock.now());
    if (auto w = waiter_) {
      // The waiter's wake ends its wait: blocks and timers queued meanwhile are not missed.
      lock.unlock();
      w->wait(std::max(wait, 0.0));
      continue;
    }
    if (wait > 0) {
      // A timer scheduled meanwhile from another thread may be due before `wait` is up.
      auto scheduled = sequence_;
      wake_.wait_for(lock, std::chrono::duration<double>(wait),
                     [&] { return stopped_ || !blocks_.empty() || sequence_ != scheduled; });
    }
  }
}

void NSRunLoop::stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  wake_.notify_all();
  wakeWaiter();
}

bool NSRunLoop::runUntil(const std::function<bool()>& predicate, double timeout) {
  using steady = std::chrono::steady_clock;
  auto end = steady::now() + std::chrono::duration_cast<steady::duration>(std::chrono::duration<double>(timeout));
  for (;;) {
    if (predicate()) return true;
    // The deadline holds even while work keeps arriving (a desktop's events never stop).
    bool ran = runOnce();
    if (steady::now() >= end) return predicate();
    if (ran) continue;
    if (auto w = waiter()) {
      auto left = std::chrono::duration<double>(end - steady::now()).count();
      w->wait(std::clamp(left, 0.0, 0.01));
      continue;
    }
    std::unique_lock lock(mutex_);
    wake_.wait_until(lock, std::min(end, steady::now() + std::chrono::milliseconds(10)),
                     [&] { return !blocks_.empty(); });
  }
}

void NSRunLoop::drain() {
  for (int round = 0; round < 10000 && runQueuedBlocks(); ++round) {
  }
}

void NSRunLoop::reset() {
  // Destroyed after the lock is let go: a forgotten block may queue work again as it goes
  // (the main operation queue gives back the turn it was waiting for).
  std::deque<std::function<void()>> forgottenBlocks;
  decltype(timers_) forgottenTimers;
  {
    std::lock_guard lock(mutex_);
    forgottenBlocks.swap(blocks_);
    forgottenTimers.swap(timers_);
    stopped_ = false;
  }
}

std::size_t NSRunLoop::pendingTimerCount() {
  std::lock_guard lock(mutex_);
  return timers_.size();
}

std::size_t NSRunLoop::pendingBlockCount() {
  std::lock_guard lock(mutex_);
  return blocks_.size();
}

void NSRunLoop::advanceManualClock(ManualClock& clock, double target) {
  // Step from deadline to deadline so that work scheduled by a timer that falls due
  // before the target runs too, each at its own moment.
  drain();
  for (;;) {
    double next;
    {
      std::lock_guard lock(mutex_);
      if (timers_.empty() || timers_.top().deadline > target) break;
      next = timers_.top().deadline;
    }
    clock.set(next);
    runDueTimers(next);
    drain();
  }
  clock.set(target);
  drain();
}
