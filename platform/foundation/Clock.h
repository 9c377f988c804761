#pragma once
// The process's one clock. The application runs on the real clock; tests install a
// ManualClock and move time themselves, so nothing in a test waits for a timer.

#include <memory>

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1 January 1970 UTC.
  virtual double now() const = 0;
  virtual bool isManual() const { return false; }

  static Clock& current();
  static std::shared_ptr<Clock> currentShared();
  // Installs a clock for the whole process (tests); empty restores the real clock.
  static void setCurrent(std::shared_ptr<Clock> clock);
};

class RealClock : public Clock {
 public:
  double now() const override;
};

class ManualClock : public Clock {
 public:
  explicit ManualClock(double start);
  ManualClock();  // starts at the real time of its creation

  double now() const override;
  bool isManual() const override { return true; }

  // Moves time forward in steps, running on the calling (main) thread every timer,
  // delayed block and main-queue block that falls due on the way, in deadline order.
  void advance(double seconds);

 private:
  mutable std::shared_ptr<double> now_;
  friend class NSRunLoop;
  void set(double seconds);
};
