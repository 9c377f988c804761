#include "platform/foundation/NSValue.h"

#include <cstdio>
#include <functional>

std::shared_ptr<NSValue> NSValue::valueWithSize(NSSize size) { return create(size); }
std::shared_ptr<NSValue> NSValue::valueWithPoint(NSPoint point) { return create(point); }
std::shared_ptr<NSValue> NSValue::valueWithRect(NSRect rect) { return create(rect); }

NSSize NSValue::sizeValue() const { return holdsSize() ? std::get<NSSize>(value_) : NSSize{}; }
NSPoint NSValue::pointValue() const { return holdsPoint() ? std::get<NSPoint>(value_) : NSPoint{}; }
NSRect NSValue::rectValue() const { return holdsRect() ? std::get<NSRect>(value_) : NSRect{}; }

bool NSValue::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto v = asA<NSValue>(other);
  return v && v->value_ == value_;
}

std::size_t NSValue::hash() const {
  std::hash<double> h;
  if (holdsSize()) return h(sizeValue().width) * 31 + h(sizeValue().height);
  if (holdsPoint()) return h(pointValue().x) * 37 + h(pointValue().y);
  NSRect r = rectValue();
  return ((h(r.origin.x) * 31 + h(r.origin.y)) * 31 + h(r.size.width)) * 31 + h(r.size.height);
}

std::string NSValue::description() const {
  char buffer[160];
  if (holdsSize()) {
    std::snprintf(buffer, sizeof buffer, "NSSize: {%.15g, %.15g}", sizeValue().width, sizeValue().height);
  } else if (holdsPoint()) {
    std::snprintf(buffer, sizeof buffer, "NSPoint: {%.15g, %.15g}", pointValue().x, pointValue().y);
  } else {
    NSRect r = rectValue();
    std::snprintf(buffer, sizeof buffer, "NSRect: {{%.15g, %.15g}, {%.15g, %.15g}}", r.origin.x, r.origin.y,
                  r.size.width, r.size.height);
  }
  return buffer;
}
