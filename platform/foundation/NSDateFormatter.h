#pragma once
// Dates as text in a fixed format (Unicode date-field patterns such as "HH:mm" or
// "yyyy-MM-dd'T'HH:mm:ssZ"), in a locale and a time zone.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSTimeZone.h"

class NSDateFormatter : public NSObject {
 public:
  // The current locale and the system time zone, with an empty format.
  static std::shared_ptr<NSDateFormatter> make();
  ~NSDateFormatter() override;

  std::string dateFormat;
  std::shared_ptr<NSLocale> locale;
  std::shared_ptr<NSTimeZone> timeZone;

  // The date in the format; empty for no date or a pattern ICU refuses (ICU writes
  // unknown pattern letters as nothing rather than refusing them).
  std::string stringFromDate(const std::shared_ptr<NSDate>& date) const;
  // The date the whole text stands for in the format, or empty when it does not match.
  std::shared_ptr<NSDate> dateFromString(std::string_view text) const;

  GLIMDECK_OBJECT(NSDateFormatter)

 private:
  NSDateFormatter() = default;
  // The ICU formatter for the current settings, remade when one of them has changed.
  struct Built;
  Built* formatter() const;

  mutable std::mutex mutex_;
  mutable std::unique_ptr<Built> built_;
};
