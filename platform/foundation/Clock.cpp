#include "platform/foundation/Clock.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "platform/foundation/NSRunLoop.h"

namespace {
std::mutex& clockMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<Clock>& installedClock() {
  // Never destroyed: every thread reads the time (ProcessShutdown.h).
  static std::shared_ptr<Clock>& clock = *new std::shared_ptr<Clock>(std::make_shared<RealClock>());
  return clock;
}
std::atomic<Clock*>& fastClock() {
  static std::atomic<Clock*> clock{installedClock().get()};
  return clock;
}
}  // namespace

Clock& Clock::current() { return *fastClock().load(std::memory_order_acquire); }

std::shared_ptr<Clock> Clock::currentShared() {
  std::lock_guard lock(clockMutex());
  return installedClock();
}

void Clock::setCurrent(std::shared_ptr<Clock> clock) {
  std::lock_guard lock(clockMutex());
  // The previous clock stays alive for the process: another thread may still be reading it.
  static auto& retired = *new std::vector<std::shared_ptr<Clock>>();
  retired.push_back(installedClock());
  installedClock() = clock ? std::move(clock) : std::make_shared<RealClock>();
  fastClock().store(installedClock().get(), std::memory_order_release);
}

double RealClock::now() const {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

ManualClock::ManualClock(double start) : now_(std::make_shared<double>(start)) {}
ManualClock::ManualClock() : ManualClock(RealClock().now()) {}

namespace {
std::mutex manualMutex;
}

double ManualClock::now() const {
  std::lock_guard lock(manualMutex);
  return *now_;
}

void ManualClock::set(double seconds) {
  std::lock_guard lock(manualMutex);
  if (seconds > *now_) *now_ = seconds;
}

void ManualClock::advance(double seconds) {
  double target = now() + (seconds > 0 ? seconds : 0);
  NSRunLoop::main()->advanceManualClock(*this, target);
}
