#include "ui/NSViewExtensions.h"

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSViewController.h"
#include "platform/quartz/CAGradientLayer.h"
#include "ui/NSColorPalette.h"

std::shared_ptr<NSColor> convenientBackgroundColor(const std::shared_ptr<NSView>& view) {
  if (!view) return nullptr;
  auto layer = view->layer();
  if (!layer || !layer->backgroundColor()) return nullptr;
  return NSColor::colorWithCGColor(*layer->backgroundColor());
}

void setConvenientBackgroundColor(const std::shared_ptr<NSView>& view, const std::shared_ptr<NSColor>& color) {
  if (!view) return;
  view->setWantsLayer(true);
  if (auto layer = view->layer()) {
    layer->setBackgroundColor(color ? std::optional<CGColor>(color->CGColor()) : std::nullopt);
  }
}

void createShadow(const std::shared_ptr<NSView>& view) {
  if (!view) return;
  auto shadow = NSShadow::make();
  shadow->shadowColor = NSColorPalette::standardShadowBlack();
  shadow->shadowOffset = NSMakeSize(0.0, -2.0);
  shadow->shadowBlurRadius = 2.0;
  view->setShadow(shadow);
}

std::shared_ptr<NSColor> convenientBackgroundColor(const std::shared_ptr<NSViewController>& controller) {
  return controller ? convenientBackgroundColor(controller->view()) : nullptr;
}

void setConvenientBackgroundColor(const std::shared_ptr<NSViewController>& controller,
                                  const std::shared_ptr<NSColor>& color) {
  if (controller) setConvenientBackgroundColor(controller->view(), color);
}

void applyDalvoBlueGradientWithLayerToColor(const std::shared_ptr<NSView>& view,
                                            const std::shared_ptr<CAGradientLayer>& gradient) {
  if (!view || !gradient) return;
  view->setWantsLayer(true);
  gradient->setFrame(view->bounds());
  gradient->colors = {NSColorPalette::searchBarGradientColorLeft()->CGColor(),
                      NSColorPalette::searchBarGradientColorRight()->CGColor()};
  gradient->startPoint = {0.0, 0.5};
  gradient->endPoint = {1.0, 0.5};
  if (auto layer = view->layer()) layer->insertSublayer(gradient, 0);
}

void pinToSuperview(const std::shared_ptr<NSView>& view) {
  if (!view) return;
  auto superview = view->superview();
  if (!superview || view->translatesAutoresizingMaskIntoConstraints) return;
  for (auto attribute : {NSLayoutAttribute::top, NSLayoutAttribute::bottom, NSLayoutAttribute::leading,
                         NSLayoutAttribute::trailing}) {
    superview->addConstraint(NSLayoutConstraint::equal(view, attribute, superview, attribute));
  }
}
