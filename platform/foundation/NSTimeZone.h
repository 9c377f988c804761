#pragma once
// A time zone of the tz database, or a fixed offset from GMT.

#include <string>
#include <string_view>

#include "platform/foundation/NSDate.h"

class NSTimeZone : public NSObject {
 public:
  // The machine's zone: the TZ variable when it names a zone, else the system setting;
  // GMT when neither can be read. Read at each call.
  static std::shared_ptr<NSTimeZone> systemTimeZone();
  static std::shared_ptr<NSTimeZone> localTimeZone() { return systemTimeZone(); }
  // A zone by its tz database name ("Europe/Paris") or "UTC"/"GMT"; empty when unknown.
  static std::shared_ptr<NSTimeZone> timeZoneWithName(std::string_view name);
  // A fixed offset; empty beyond 18 hours either way.
  static std::shared_ptr<NSTimeZone> timeZoneForSecondsFromGMT(int seconds);
  static std::shared_ptr<NSTimeZone> UTC();

  const std::string& name() const { return name_; }
  // The zone's offset at the moment, daylight saving included.
  int secondsFromGMTForDate(const NSDate& date) const;

  GLIMDECK_OBJECT(NSTimeZone)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return name_; }

 private:
  explicit NSTimeZone(std::string name) : name_(std::move(name)) {}
  std::string name_;  // an ICU zone id
};
