#include "platform/quartz/CAGradientLayer.h"

#include "platform/quartz/GraphicsContext.h"

std::shared_ptr<CAGradientLayer> CAGradientLayer::layer() {
  return create();
}

std::shared_ptr<CALayer> CAGradientLayer::makePresentationCopy() const {
  auto copy = layer();
  copyPropertiesTo(*copy);
  copy->colors = colors;
  copy->locations = locations;
  copy->startPoint = startPoint;
  copy->endPoint = endPoint;
  copy->type = type;
  return copy;
}

void CAGradientLayer::drawInContext(GraphicsContext& context) {
  NSRect b = bounds();
  if (!colors->empty() && !b.isEmpty()) {
    // Locations that do not pair up with the colours are ignored, as the platform does.
    std::vector<double> stops = locations->size() == colors->size() ? *locations : std::vector<double>{};
    context.saveGState();
    context.clipToPath(CGPath::roundedRect(b, cornerRadius()), CGFillRule::nonZero);
    NSPoint start{b.minX() + startPoint->x * b.width(), b.minY() + startPoint->y * b.height()};
    NSPoint end{b.minX() + endPoint->x * b.width(), b.minY() + endPoint->y * b.height()};
    context.drawLinearGradient(*colors, stops, start, end);
    context.restoreGState();
  }
  CALayer::drawInContext(context);
}
