#include "ui/NSViewExtensions.h"

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSViewController.h"
#include "platform/quartz/CAGradientLayer.h"
#include "ui/NSColorPalette.h"

std::shared_ptr<NSColor> convenientBackgroundColor(const NSView& view) {
  auto layer = view.layer();
  if (!layer || !layer->backgroundColor()) return nullptr;
  return NSColor::colorWithCGColor(*layer->backgroundColor());
}

void setConvenientBackgroundColor(NSView& view, const std::shared_ptr<NSColor>& color) {
  view.setWantsLayer(true);
  if (auto layer = view.layer()) {
    layer->setBackgroundColor(color ? std::optional<CGColor>(color->CGColor()) : std::nullopt);
  }
}

void createShadow(NSView& view) {
  auto shadow = NSShadow::make();
  shadow->shadowColor = NSColorPalette::standardShadowBlack();
  shadow->shadowOffset = NSMakeSize(0.0, -2.0);
  shadow->shadowBlurRadius = 2.0;
  view.setShadow(shadow);
}

std::shared_ptr<NSColor> convenientBackgroundColor(NSViewController& controller) {
  return convenientBackgroundColor(*controller.view());
}

void setConvenientBackgroundColor(NSViewController& controller, const std::shared_ptr<NSColor>& color) {
  setConvenientBackgroundColor(*controller.view(), color);
}

void applyDalvoBlueGradientWithLayerToColor(NSView& view, CAGradientLayer& gradient) {
  view.setWantsLayer(true);
  gradient.setFrame(view.bounds());
  gradient.colors = {NSColorPalette::searchBarGradientColorLeft()->CGColor(),
                     NSColorPalette::searchBarGradientColorRight()->CGColor()};
  gradient.startPoint = {0.0, 0.5};
  gradient.endPoint = {1.0, 0.5};
  if (auto layer = view.layer()) layer->insertSublayer(gradient.sharedAs<CAGradientLayer>(), 0);
}

void pinToSuperview(NSView& view) {
  auto superview = view.superview();
  if (!superview || view.translatesAutoresizingMaskIntoConstraints) return;
  for (auto attribute : {NSLayoutAttribute::top, NSLayoutAttribute::bottom, NSLayoutAttribute::leading,
                         NSLayoutAttribute::trailing}) {
    superview->addConstraint(NSLayoutConstraint::equal(view.sharedAs<NSView>(), attribute, superview, attribute));
  }
}

bool isMouseEventOverView(const NSView& view, const NSEvent& event) {
  if (!view.window()) return false;
  return NSPointInRect(view.convertPoint(event.locationInWindow(), nullptr), view.visibleRect());
}
