#include "platform/foundation/NSTimer.h"

#include <cmath>

#include "platform/foundation/Clock.h"

namespace {
double sanitisedInterval(double interval) {
  if (std::isnan(interval) || interval < NSTimer::kMinimumInterval) return NSTimer::kMinimumInterval;
  return interval;
}
}  // namespace

NSTimer::NSTimer(double interval, bool repeats, Block block, id userInfo)
    : interval_(sanitisedInterval(interval)),
      repeats_(repeats),
      userInfo_(std::move(userInfo)),
      block_(std::move(block)),
      anchor_(Clock::current().now() + interval_),
      fireDate_(anchor_) {}

std::shared_ptr<NSTimer> NSTimer::timerWithTimeInterval(double interval, bool repeats, Block block, id userInfo) {
  return create(interval, repeats, std::move(block), std::move(userInfo));
}

std::shared_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double interval, bool repeats, Block block,
                                                                 id userInfo) {
  auto timer = timerWithTimeInterval(interval, repeats, std::move(block), std::move(userInfo));
  timer->schedule();
  return timer;
}

void NSTimer::schedule() {
  std::lock_guard lock(mutex_);
  if (scheduled_ || !valid_) return;
  scheduled_ = true;
  armLocked();
}

void NSTimer::armLocked() {
  if (token_) token_->cancel();
  std::uint64_t generation = ++generation_;
  token_ = NSRunLoop::main()->scheduleAt(fireDate_, [self = sharedAs<NSTimer>(), generation] { self->fired(generation); });
}

void NSTimer::fired(std::uint64_t generation) {
  Block block;
  Block released;
  {
    std::lock_guard lock(mutex_);
    if (!valid_ || generation != generation_) return;
    if (repeats_) {
      // Periods the run loop was too late for are skipped, not run in a burst.
      double now = Clock::current().now();
      std::uint64_t next = periods_ + 1;
      double behind = std::floor((now - anchor_) / interval_) + 1;
      if (behind > static_cast<double>(next) && behind < 1e18) next = static_cast<std::uint64_t>(behind);
      periods_ = next;
      fireDate_ = anchor_ + static_cast<double>(periods_) * interval_;
      armLocked();
      block = block_;
    } else {
      valid_ = false;
      token_.reset();
      block = block_;
      released = std::move(block_);
    }
  }
  if (block) block(sharedAs<NSTimer>());
}

void NSTimer::fire() {
  Block block;
  Block released;
  {
    std::lock_guard lock(mutex_);
    if (!valid_) return;
    block = block_;
    if (!repeats_) {
      valid_ = false;
      if (token_) token_->cancel();
      token_.reset();
      released = std::move(block_);
    }
  }
  if (block) block(sharedAs<NSTimer>());
}

void NSTimer::invalidate() {
  Block released;  // destroyed after the lock: its captures may call back into the timer
  std::lock_guard lock(mutex_);
  valid_ = false;
  if (token_) token_->cancel();
  token_.reset();
  released = std::move(block_);
}

bool NSTimer::isValid() const {
  std::lock_guard lock(mutex_);
  return valid_;
}

std::shared_ptr<NSDate> NSTimer::fireDate() const {
  std::lock_guard lock(mutex_);
  return NSDate::dateWithTimeIntervalSince1970(fireDate_);
}

void NSTimer::setFireDate(const std::shared_ptr<NSDate>& date) {
  if (!date) return;
  std::lock_guard lock(mutex_);
  anchor_ = fireDate_ = date->timeIntervalSince1970();
  periods_ = 0;
  if (scheduled_ && valid_) armLocked();
}
