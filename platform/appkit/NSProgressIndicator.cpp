#include "platform/appkit/NSProgressIndicator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/appkit/NSColor.h"
#include "platform/render/NSGraphicsContext.h"

std::shared_ptr<NSProgressIndicator> NSProgressIndicator::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSProgressIndicator>(new NSProgressIndicator(frame)));
}

void NSProgressIndicator::setDoubleValue(double value) {
  value_ = std::isnan(value) ? minValue : std::clamp(value, minValue, std::max(minValue, maxValue));
  setNeedsDisplay(true);
}

void NSProgressIndicator::startAnimation(const std::shared_ptr<NSObject>&) {
  animating_ = true;
  setNeedsDisplay(true);
}

void NSProgressIndicator::stopAnimation(const std::shared_ptr<NSObject>&) {
  animating_ = false;
  setNeedsDisplay(true);
}

void NSProgressIndicator::drawRect(NSRect) {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  if (!animating_ && !displayedWhenStopped) return;
  auto& gc = context->CGContext();
  NSRect b = bounds();
  if (style == NSProgressIndicatorStyle::spinning) {
    // Twelve spokes around the centre, as a still picture of the spinner.
    double radius = std::min(b.width(), b.height()) / 2;
    NSPoint centre{b.midX(), b.midY()};
    gc.setLineWidth(std::max(1.0, radius / 6));
    for (int i = 0; i < 12; ++i) {
      double angle = i * std::numbers::pi / 6;
      gc.setStrokeColor(NSColor::colorWithWhite(0.4, 0.3 + 0.7 * i / 12.0)->CGColor());
      CGPath spoke;
      spoke.moveTo({centre.x + radius * 0.5 * std::cos(angle), centre.y + radius * 0.5 * std::sin(angle)});
      spoke.lineTo({centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)});
      gc.strokePath(spoke);
    }
    return;
  }
  gc.setFillColor(NSColor::colorWithWhite(0.85, 1.0)->CGColor());
  gc.fillRoundedRect(b, b.height() / 2);
  double span = maxValue - minValue;
  double fraction = indeterminate || span <= 0 ? 0.0 : (value_ - minValue) / span;
  if (fraction > 0) {
    gc.setFillColor(NSColor::selectedControlColor()->CGColor());
    gc.fillRoundedRect(NSMakeRect(b.minX(), b.minY(), b.width() * fraction, b.height()), b.height() / 2);
  }
}
