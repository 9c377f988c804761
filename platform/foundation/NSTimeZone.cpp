#include "platform/foundation/NSTimeZone.h"

#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

icu::UnicodeString toUnicode(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

// The canonical id of a known zone, or empty.
std::string knownZone(std::string_view name) {
  if (name.empty()) return {};
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(toUnicode(name)));
  if (!zone || *zone == icu::TimeZone::getUnknown()) return {};
  icu::UnicodeString id;
  zone->getID(id);
  std::string out;
  id.toUTF8String(out);
  return out;
}

}  // namespace

std::shared_ptr<NSTimeZone> NSTimeZone::systemTimeZone() {
  if (const char* tz = std::getenv("TZ"); tz && *tz) {
    std::string_view name = tz;
    if (name.front() == ':') name.remove_prefix(1);
    if (auto zone = timeZoneWithName(name)) return zone;
    // POSIX forms without a rule: "UTC0", "GMT0".
    if (name == "UTC0" || name == "GMT0") return UTC();
  }
  std::unique_ptr<icu::TimeZone> host(icu::TimeZone::detectHostTimeZone());
  if (host && *host != icu::TimeZone::getUnknown()) {
    icu::UnicodeString id;
    host->getID(id);
    std::string name;
    id.toUTF8String(name);
    if (auto zone = timeZoneWithName(name)) return zone;
  }
  return UTC();
}

std::shared_ptr<NSTimeZone> NSTimeZone::timeZoneWithName(std::string_view name) {
  std::string id = knownZone(name);
  if (id.empty()) return nullptr;
  return create(std::move(id));
}

std::shared_ptr<NSTimeZone> NSTimeZone::timeZoneForSecondsFromGMT(int seconds) {
  if (seconds < -18 * 3600 || seconds > 18 * 3600) return nullptr;
  if (seconds == 0) return timeZoneWithName("GMT");
  const int magnitude = seconds < 0 ? -seconds : seconds;
  char name[32];
  std::snprintf(name, sizeof name, "GMT%c%02d:%02d", seconds < 0 ? '-' : '+', magnitude / 3600, magnitude / 60 % 60);
  return create(name);
}

std::shared_ptr<NSTimeZone> NSTimeZone::UTC() { return timeZoneWithName("UTC"); }

int NSTimeZone::secondsFromGMTForDate(const NSDate& date) const {
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(toUnicode(name_)));
  if (!zone) return 0;
  int32_t raw = 0;
  int32_t daylight = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone->getOffset(date.timeIntervalSince1970() * 1000.0, false, raw, daylight, status);
  if (U_FAILURE(status)) return 0;
  return (raw + daylight) / 1000;
}

bool NSTimeZone::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto zone = asA<NSTimeZone>(other);
  return zone && zone->name_ == name_;
}

std::size_t NSTimeZone::hash() const { return std::hash<std::string>{}(name_); }
