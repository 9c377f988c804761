#pragma once
// A moment, as seconds since 1 January 1970 UTC. "Now" comes from the process's one clock.

#include "platform/foundation/NSObject.h"

class NSDate : public NSObject {
 public:
  static std::shared_ptr<NSDate> date();  // now, by Clock::current()
  static std::shared_ptr<NSDate> dateWithTimeIntervalSince1970(double seconds);
  static std::shared_ptr<NSDate> dateWithTimeIntervalSinceNow(double seconds);
  // 1 January 0001 and 1 January 4001, the platform's sentinels.
  static std::shared_ptr<NSDate> distantPast();
  static std::shared_ptr<NSDate> distantFuture();
  static constexpr double kDistantPast = -62135596800.0;
  static constexpr double kDistantFuture = 64092211200.0;

  double timeIntervalSince1970() const { return seconds_; }
  double timeIntervalSinceNow() const;
  double timeIntervalSinceDate(const NSDate& other) const { return seconds_ - other.seconds_; }

  GLIMDECK_OBJECT(NSDate)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  // "YYYY-MM-DD HH:MM:SS +0000"
  std::string description() const override;

 private:
  explicit NSDate(double seconds) : seconds_(seconds) {}
  double seconds_;
};
