#include "platform/foundation/NSNumber.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

std::shared_ptr<NSNumber> NSNumber::numberWithBool(bool value) {
  auto n = std::shared_ptr<NSNumber>(new NSNumber(Kind::boolean));
  n->value_.b = value;
  return n;
}

std::shared_ptr<NSNumber> NSNumber::numberWithInteger(std::int64_t value) {
  auto n = std::shared_ptr<NSNumber>(new NSNumber(Kind::integer));
  n->value_.i = value;
  return n;
}

std::shared_ptr<NSNumber> NSNumber::numberWithUnsignedInteger(std::uint64_t value) {
  if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return numberWithInteger(static_cast<std::int64_t>(value));
  }
  auto n = std::shared_ptr<NSNumber>(new NSNumber(Kind::unsignedInteger));
  n->value_.u = value;
  return n;
}

std::shared_ptr<NSNumber> NSNumber::numberWithDouble(double value) {
  auto n = std::shared_ptr<NSNumber>(new NSNumber(Kind::real));
  n->value_.d = value;
  return n;
}

bool NSNumber::isWholeNumber() const {
  switch (kind_) {
    case Kind::boolean:
    case Kind::integer:
      return true;
    case Kind::unsignedInteger:
      return false;
    case Kind::real:
      return std::isfinite(value_.d) && std::trunc(value_.d) == value_.d &&
             value_.d >= -9223372036854775808.0 && value_.d < 9223372036854775808.0;
  }
  return false;
}

bool NSNumber::boolValue() const {
  switch (kind_) {
    case Kind::boolean: return value_.b;
    case Kind::integer: return value_.i != 0;
    case Kind::unsignedInteger: return value_.u != 0;
    case Kind::real: return value_.d != 0.0;
  }
  return false;
}

std::int64_t NSNumber::integerValue() const {
  switch (kind_) {
    case Kind::boolean: return value_.b ? 1 : 0;
    case Kind::integer: return value_.i;
    case Kind::unsignedInteger: return static_cast<std::int64_t>(value_.u);
    case Kind::real: {
      double d = value_.d;
      if (std::isnan(d)) return 0;
      if (d >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
      if (d <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
      return static_cast<std::int64_t>(d);
    }
  }
  return 0;
}

std::uint64_t NSNumber::unsignedIntegerValue() const {
  if (kind_ == Kind::unsignedInteger) return value_.u;
  if (kind_ == Kind::real) {
    double d = value_.d;
    if (!(d > 0)) return 0;
    if (d >= 18446744073709551615.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(d);
  }
  return static_cast<std::uint64_t>(integerValue());
}

double NSNumber::doubleValue() const {
  switch (kind_) {
    case Kind::boolean: return value_.b ? 1.0 : 0.0;
    case Kind::integer: return static_cast<double>(value_.i);
    case Kind::unsignedInteger: return static_cast<double>(value_.u);
    case Kind::real: return value_.d;
  }
  return 0;
}

bool NSNumber::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto n = asA<NSNumber>(other);
  if (!n) return false;
  if (kind_ != Kind::real && n->kind_ != Kind::real) {
    if (kind_ == Kind::unsignedInteger || n->kind_ == Kind::unsignedInteger) {
      return kind_ == n->kind_ && value_.u == n->value_.u;
    }
    return integerValue() == n->integerValue();
  }
  return doubleValue() == n->doubleValue();
}

std::size_t NSNumber::hash() const {
  if (isWholeNumber()) return std::hash<std::int64_t>{}(integerValue());
  return std::hash<double>{}(doubleValue());
}

std::string NSNumber::description() const {
  char buffer[64];
  switch (kind_) {
    case Kind::boolean: return value_.b ? "1" : "0";
    case Kind::integer: return std::to_string(value_.i);
    case Kind::unsignedInteger: return std::to_string(value_.u);
    case Kind::real: std::snprintf(buffer, sizeof buffer, "%.15g", value_.d); return buffer;
  }
  return {};
}
