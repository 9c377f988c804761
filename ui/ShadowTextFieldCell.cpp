#include "ui/ShadowTextFieldCell.h"

#include "platform/render/NSGraphicsContext.h"

std::shared_ptr<ShadowTextFieldCell> ShadowTextFieldCell::initTextCell(std::string text) {
  return create(std::move(text));
}

ShadowTextFieldCell::ShadowTextFieldCell(std::string text)
    : NSTextFieldCell(std::move(text)), shadow_(NSShadow::make()) {
  shadow_->shadowColor = NSColor::blackColor()->colorWithAlphaComponent(0.75);
  shadow_->shadowBlurRadius = 0.0;
  shadow_->shadowOffset = NSSize{0.0, -2.0};
}

void ShadowTextFieldCell::drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  context->CGContext().saveGState();
  shadow_->set();
  NSTextFieldCell::drawInteriorWithFrame(frame, view);
  context->CGContext().restoreGState();
}
