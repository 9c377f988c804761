#include "platform/foundation/NSDate.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>

#include "platform/foundation/Clock.h"

std::shared_ptr<NSDate> NSDate::date() { return dateWithTimeIntervalSince1970(Clock::current().now()); }

std::shared_ptr<NSDate> NSDate::dateWithTimeIntervalSince1970(double seconds) {
  return std::shared_ptr<NSDate>(new NSDate(seconds));
}

std::shared_ptr<NSDate> NSDate::dateWithTimeIntervalSinceNow(double seconds) {
  return dateWithTimeIntervalSince1970(Clock::current().now() + seconds);
}

// Dates never change, so every caller shares one sentinel.
std::shared_ptr<NSDate> NSDate::distantPast() {
  static const auto past = dateWithTimeIntervalSince1970(kDistantPast);
  return past;
}
std::shared_ptr<NSDate> NSDate::distantFuture() { return dateWithTimeIntervalSince1970(kDistantFuture); }

double NSDate::timeIntervalSinceNow() const { return seconds_ - Clock::current().now(); }

bool NSDate::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto d = asA<NSDate>(other);
  return d && d->seconds_ == seconds_;
}

std::size_t NSDate::hash() const { return std::hash<double>{}(seconds_); }

std::string NSDate::description() const {
  std::time_t t = static_cast<std::time_t>(std::floor(seconds_));
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d +0000", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}
