#include "platform/foundation/NSDateFormatter.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

struct NSDateFormatter::Built {
  std::string format, locale, zone;
  std::unique_ptr<icu::SimpleDateFormat> icu;
};

namespace {

icu::UnicodeString toUnicode(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

}  // namespace

std::shared_ptr<NSDateFormatter> NSDateFormatter::make() {
  auto formatter = std::shared_ptr<NSDateFormatter>(new NSDateFormatter());
  formatter->locale = NSLocale::currentLocale();
  formatter->timeZone = NSTimeZone::systemTimeZone();
  return formatter;
}

NSDateFormatter::~NSDateFormatter() = default;

NSDateFormatter::Built* NSDateFormatter::formatter() const {
  const std::string localeId = locale ? locale->localeIdentifier() : NSLocale::currentLocale()->localeIdentifier();
  const std::string zoneId = timeZone ? timeZone->name() : NSTimeZone::systemTimeZone()->name();
  if (built_ && built_->format == dateFormat && built_->locale == localeId && built_->zone == zoneId) {
    return built_->icu ? built_.get() : nullptr;
  }
  built_ = std::make_unique<Built>(Built{dateFormat, localeId, zoneId, nullptr});
  UErrorCode status = U_ZERO_ERROR;
  auto icuFormatter = std::make_unique<icu::SimpleDateFormat>(toUnicode(dateFormat), icu::Locale(localeId.c_str()), status);
  if (U_FAILURE(status)) return nullptr;
  icuFormatter->adoptTimeZone(icu::TimeZone::createTimeZone(toUnicode(zoneId)));
  // A text must match the format, not merely resemble it.
  icuFormatter->setLenient(false);
  built_->icu = std::move(icuFormatter);
  return built_.get();
}

std::string NSDateFormatter::stringFromDate(const std::shared_ptr<NSDate>& date) const {
  if (!date) return {};
  std::lock_guard lock(mutex_);
  Built* built = formatter();
  if (!built) return {};
  icu::UnicodeString text;
  built->icu->format(date->timeIntervalSince1970() * 1000.0, text);
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::shared_ptr<NSDate> NSDateFormatter::dateFromString(std::string_view text) const {
  std::lock_guard lock(mutex_);
  Built* built = formatter();
  if (!built || text.empty()) return nullptr;
  const icu::UnicodeString source = toUnicode(text);
  icu::ParsePosition position(0);
  const UDate parsed = built->icu->parse(source, position);
  if (position.getErrorIndex() >= 0 || position.getIndex() != source.length()) return nullptr;
  return NSDate::dateWithTimeIntervalSince1970(parsed / 1000.0);
}
