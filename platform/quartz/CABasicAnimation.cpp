#include "platform/quartz/CABasicAnimation.h"

#include "platform/quartz/CGColorValue.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/quartz/CALayer.h"

namespace {
double mix(double a, double b, double t) { return a + (b - a) * t; }
NSPoint mix(NSPoint a, NSPoint b, double t) { return {mix(a.x, b.x, t), mix(a.y, b.y, t)}; }
NSSize mix(NSSize a, NSSize b, double t) { return {mix(a.width, b.width, t), mix(a.height, b.height, t)}; }
}  // namespace

std::shared_ptr<CABasicAnimation> CABasicAnimation::animationWithKeyPath(std::string_view keyPath) {
  std::shared_ptr<CABasicAnimation> animation(new CABasicAnimation());
  animation->keyPath = std::string(keyPath);
  return animation;
}

std::shared_ptr<CAAnimation> CABasicAnimation::copy() const {
  std::shared_ptr<CABasicAnimation> other(new CABasicAnimation());
  copyTimingTo(*other);
  other->keyPath = keyPath;
  other->fromValue = fromValue;
  other->toValue = toValue;
  other->byValue = byValue;
  return other;
}

id CABasicAnimation::interpolate(const id& from, const id& to, double t) {
  if (!from) return to;
  if (!to) return from;
  auto fromNumber = asA<NSNumber>(from);
  auto toNumber = asA<NSNumber>(to);
  if (fromNumber && toNumber) {
    if (fromNumber->isBool() || toNumber->isBool()) return t < 1 ? from : to;
    return NSNumber::numberWithDouble(mix(fromNumber->doubleValue(), toNumber->doubleValue(), t));
  }
  auto fromValue = asA<NSValue>(from);
  auto toValue = asA<NSValue>(to);
  if (fromValue && toValue) {
    if (fromValue->holdsRect() && toValue->holdsRect()) {
      NSRect a = fromValue->rectValue(), b = toValue->rectValue();
      return NSValue::valueWithRect({mix(a.origin, b.origin, t), mix(a.size, b.size, t)});
    }
    if (fromValue->holdsPoint() && toValue->holdsPoint())
      return NSValue::valueWithPoint(mix(fromValue->pointValue(), toValue->pointValue(), t));
    if (fromValue->holdsSize() && toValue->holdsSize())
      return NSValue::valueWithSize(mix(fromValue->sizeValue(), toValue->sizeValue(), t));
  }
  auto fromColor = asA<CGColorValue>(from);
  auto toColor = asA<CGColorValue>(to);
  if (fromColor && toColor) {
    CGColor a = fromColor->CGColor(), b = toColor->CGColor();
    return CGColorValue::valueWithColor(
        {mix(a.red, b.red, t), mix(a.green, b.green, t), mix(a.blue, b.blue, t), mix(a.alpha, b.alpha, t)});
  }
  // Values of different kinds, or ones that cannot be mixed, switch at the end.
  return t < 1 ? from : to;
}

id CABasicAnimation::add(const id& value, const id& by) {
  auto a = asA<NSNumber>(value);
  auto b = asA<NSNumber>(by);
  if (a && b) return NSNumber::numberWithDouble(a->doubleValue() + b->doubleValue());
  auto va = asA<NSValue>(value);
  auto vb = asA<NSValue>(by);
  if (va && vb) {
    if (va->holdsPoint() && vb->holdsPoint())
      return NSValue::valueWithPoint({va->pointValue().x + vb->pointValue().x, va->pointValue().y + vb->pointValue().y});
    if (va->holdsSize() && vb->holdsSize())
      return NSValue::valueWithSize(
          {va->sizeValue().width + vb->sizeValue().width, va->sizeValue().height + vb->sizeValue().height});
    if (va->holdsRect() && vb->holdsRect()) {
      NSRect r = va->rectValue(), d = vb->rectValue();
      return NSValue::valueWithRect(NSMakeRect(r.origin.x + d.origin.x, r.origin.y + d.origin.y,
                                               r.size.width + d.size.width, r.size.height + d.size.height));
    }
  }
  return value;
}

void CABasicAnimation::applyAt(double localTime, CALayer& layer) const {
  auto progress = progressAt(localTime);
  if (!progress) return;
  id current = layer.valueForKeyPath(keyPath);
  id from = fromValue ? fromValue : current;
  id to = toValue;
  if (!to) to = byValue ? add(from, byValue) : current;
  id value = interpolate(from, to, *progress);
  if (value) layer.setValueForKeyPath(keyPath, value);
}
