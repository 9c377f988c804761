#pragma once
// A boxed geometry value: a size, a point or a rectangle.

#include <variant>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSValue : public NSObject {
 public:
  static std::shared_ptr<NSValue> valueWithSize(NSSize size);
  static std::shared_ptr<NSValue> valueWithPoint(NSPoint point);
  static std::shared_ptr<NSValue> valueWithRect(NSRect rect);

  bool holdsSize() const { return std::holds_alternative<NSSize>(value_); }
  bool holdsPoint() const { return std::holds_alternative<NSPoint>(value_); }
  bool holdsRect() const { return std::holds_alternative<NSRect>(value_); }
  // The held value, or zero when the value holds another kind.
  NSSize sizeValue() const;
  NSPoint pointValue() const;
  NSRect rectValue() const;

  GLIMDECK_OBJECT(NSValue)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  // "NSSize: {w, h}", "NSPoint: {x, y}", "NSRect: {{x, y}, {w, h}}"
  std::string description() const override;

 private:
  using Value = std::variant<NSSize, NSPoint, NSRect>;
  explicit NSValue(Value value) : value_(value) {}
  Value value_;
};
