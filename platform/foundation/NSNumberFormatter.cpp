#include "platform/foundation/NSNumberFormatter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/foundation/NumberScanning.h"

std::shared_ptr<NSNumberFormatter> NSNumberFormatter::make() {
  return create();
}

std::shared_ptr<NSNumber> NSNumberFormatter::numberFromString(std::string_view text) const {
  double real = 0.0;
  if (text.empty() || NumberScanning::scanReal(text, real) != text.size() || !std::isfinite(real)) return nullptr;
  // Plain integers stay integers unless they do not fit.
  const std::string_view digits = text.front() == '+' ? text.substr(1) : text;
  std::int64_t integer = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), integer);
  if (error == std::errc() && end == digits.data() + digits.size()) return NSNumber::numberWithInteger(integer);
  return NSNumber::numberWithDouble(real);
}

std::string NSNumberFormatter::stringFromNumber(const std::shared_ptr<NSNumber>& number) const {
  if (!number) return {};
  if (number->kind() != NSNumber::Kind::real) return number->description();
  const double value = number->doubleValue();
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-\u221E" : "\u221E";
  const double rounded = std::nearbyint(value);  // the default rounding mode is half to even
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.0f", rounded == 0.0 ? 0.0 : rounded);
  return buffer;
}
