#pragma once
// Numbers read from and written as text with the default settings of the platform's
// number formatter, in the fixed "en_US_POSIX" manner so that the answer never depends on
// the user's locale.
//
// numberFromString accepts the whole text, and only it: an optional "+" or "-", ASCII
// digits with at most one "." (at least one digit in all), then an optional exponent
// ("e" or "E", optional sign, digits). No white space, no group separators, no
// hexadecimal, no "inf" or "nan". "123" and "-4" give integers; "1.5", "2e3" and
// integers too large for 64 bits give reals.

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSNumber.h"

class NSNumberFormatter : public NSObject {
 public:
  static std::shared_ptr<NSNumberFormatter> make();

  // The number, or empty when the text is not one.
  std::shared_ptr<NSNumber> numberFromString(std::string_view text) const;
  // Without a number style: integers in decimal, reals rounded half to even to a whole
  // number ("2.5" is "2"); empty for no number.
  std::string stringFromNumber(const std::shared_ptr<NSNumber>& number) const;

  GLIMDECK_OBJECT(NSNumberFormatter)

 private:
  NSNumberFormatter() = default;
};
