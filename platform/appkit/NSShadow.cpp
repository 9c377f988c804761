#include "platform/appkit/NSShadow.h"

#include <cstdio>

#include "platform/render/NSGraphicsContext.h"

void NSShadow::set() const {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  CGColor color = shadowColor ? shadowColor->CGColor() : CGColor{0, 0, 0, 1.0 / 3.0};
  context->CGContext().setShadow(CGShadow{shadowOffset, shadowBlurRadius, color});
}

bool NSShadow::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto shadow = asA<NSShadow>(other);
  return shadow && shadow->shadowOffset == shadowOffset && shadow->shadowBlurRadius == shadowBlurRadius &&
         objectsEqual(shadow->shadowColor, shadowColor);
}

std::string NSShadow::description() const {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "NSShadow {%g, %g} blur = %g ", shadowOffset.width, shadowOffset.height,
                shadowBlurRadius);
  return buffer + (shadowColor ? shadowColor->description() : std::string("none"));
}
