#pragma once
// A number that remembers whether it was a Boolean, an integer or a real.

#include <cstdint>

#include "platform/foundation/NSObject.h"

class NSNumber : public NSObject {
 public:
  enum class Kind { boolean, integer, unsignedInteger, real };

  static std::shared_ptr<NSNumber> numberWithBool(bool value);
  static std::shared_ptr<NSNumber> numberWithInteger(std::int64_t value);
  static std::shared_ptr<NSNumber> numberWithUnsignedInteger(std::uint64_t value);
  static std::shared_ptr<NSNumber> numberWithDouble(double value);

  Kind kind() const { return kind_; }
  bool isBool() const { return kind_ == Kind::boolean; }
  bool isReal() const { return kind_ == Kind::real; }
  // An integer kind, or a real with no fraction that fits a signed 64-bit integer.
  bool isWholeNumber() const;

  bool boolValue() const;
  std::int64_t integerValue() const;  // reals truncate toward zero, saturating
  std::uint64_t unsignedIntegerValue() const;
  double doubleValue() const;

  GLIMDECK_OBJECT(NSNumber)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  // Integers in decimal, reals as "%.15g", Booleans as 1 or 0.
  std::string description() const override;

 private:
  NSNumber(Kind kind) : kind_(kind) {}
  Kind kind_;
  union {
    bool b;
    std::int64_t i;
    std::uint64_t u;
    double d;
  } value_{};
};
