#include "ui/ProgressLayer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/foundation/NSNumber.h"
#include "platform/quartz/GraphicsContext.h"

std::shared_ptr<ProgressLayer> ProgressLayer::layer() {
  return std::shared_ptr<ProgressLayer>(new ProgressLayer());
}

std::shared_ptr<CALayer> ProgressLayer::makePresentationCopy() const {
  auto copy = layer();
  copyPropertiesTo(*copy);
  // The model value stands until an animation replaces it; without it the pie would vanish
  // from every drawing made from the presentation copy.
  copy->value = value;
  return copy;
}

bool ProgressLayer::needsDisplayForKey(std::string_view key) const {
  return key == "value" || CALayer::needsDisplayForKey(key);
}

id ProgressLayer::valueForKeyPath(std::string_view keyPath) const {
  if (keyPath == "value") return NSNumber::numberWithDouble(value);
  return CALayer::valueForKeyPath(keyPath);
}

void ProgressLayer::setValueForKeyPath(std::string_view keyPath, const id& newValue) {
  if (keyPath == "value") {
    if (auto number = asA<NSNumber>(newValue)) value = number->doubleValue();
    return;
  }
  CALayer::setValueForKeyPath(keyPath, newValue);
}

void ProgressLayer::drawInContext(GraphicsContext& context) {
  // Animations overshoot with some timing curves and callers pass raw ratios; a sector
  // beyond a full turn or below zero would draw a wrong shape.
  double shown = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
  const auto& colour = borderColor();
  if (shown <= 0.0 || !colour) return;
  NSRect b = bounds();
  double radius = std::min(b.size.width, b.size.height) / 3.0;
  NSPoint centre{b.size.width * 0.5, b.size.height * 0.5};
  double start = -std::numbers::pi / 2;
  double end = (shown + shown) * std::numbers::pi - std::numbers::pi / 2;
  context.saveGState();
  context.setFillColor(*colour);
  context.beginPath();
  context.addArc(centre, radius, start, end, false);
  context.lineTo(centre);
  context.closePath();
  context.fillCurrentPath(CGFillRule::nonZero);
  context.restoreGState();
}
