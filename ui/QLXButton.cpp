#include "ui/QLXButton.h"

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/quartz/CALayer.h"

std::shared_ptr<QLXButton> QLXButton::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<QLXButton>(new QLXButton(frame, NSButtonCell::initTextCell("Button"))));
}

void QLXButton::setCornerRadius(std::optional<double> radius) {
  cornerRadius_ = radius;
  if (!radius) return;
  setWantsLayer(true);
  layer()->setCornerRadius(*radius);
}

void QLXButton::setBorderWidth(double width) {
  borderWidth_ = width;
  setWantsLayer(true);
  layer()->setBorderWidth(width);
}

void QLXButton::setBorderColor(std::shared_ptr<NSColor> color) {
  borderColor_ = std::move(color);
  setWantsLayer(true);
  layer()->setBorderColor(borderColor_ ? std::optional<CGColor>(borderColor_->CGColor()) : std::nullopt);
}

void QLXButton::resetCursorRects() {
  NSButton::resetCursorRects();
  addCursorRect(bounds(), NSCursor::arrowCursor());
}

void QLXButton::disableHighlight() {
  if (auto buttonCell = asA<NSButtonCell>(cell())) buttonCell->setHighlightsBy(0);
}

void QLXButton::configureStylingForQLX() {
  auto paragraph = NSMutableParagraphStyle::make();
  paragraph->setAlignment(NSTextAlignment::center);
  NSAttributes attributes{{NSForegroundColorAttributeName, NSColor::whiteColor()},
                          {NSParagraphStyleAttributeName, paragraph}};
  if (auto own = font()) attributes[NSFontAttributeName] = own;
  setAttributedTitle(NSAttributedString::make(title(), attributes));
}
