#include "platform/appkit/NSButton.h"

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/render/NSGraphicsContext.h"

// ---- cell -------------------------------------------------------------------------------

std::shared_ptr<NSButtonCell> NSButtonCell::initTextCell(std::string title) {
  return create(std::move(title));
}

std::shared_ptr<NSButtonCell> NSButtonCell::initImageCell(std::shared_ptr<NSImage> image) {
  auto cell = initTextCell({});
  cell->image = std::move(image);
  cell->imagePosition = NSCellImagePosition::imageOnly;
  return cell;
}

std::shared_ptr<NSAttributedString> NSButtonCell::displayedText() const {
  auto text = NSActionCell::displayedText();
  return text;
}

NSRect NSButtonCell::drawTitle(const std::shared_ptr<NSAttributedString>& title, NSRect frame,
                               const std::shared_ptr<NSView>&) {
  if (!title || title->length() == 0) return {frame.origin, NSZeroSize};
  NSSize size = title->size();
  NSRect rect = NSMakeRect(frame.minX(), frame.midY() - size.height / 2, frame.width(), size.height);
  if (auto context = NSGraphicsContext::currentContext()) context->CGContext().drawText(title, rect);
  return rect;
}

void NSButtonCell::drawImage(const std::shared_ptr<NSImage>& image, NSRect frame, const std::shared_ptr<NSView>&) {
  if (!image) return;
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  NSSize size = image->size();
  NSRect rect = NSMakeRect(frame.midX() - size.width / 2, frame.midY() - size.height / 2, size.width, size.height);
  context->CGContext().drawImage(image, rect, enabled ? 1.0 : 0.5);
}

void NSButtonCell::drawBezelWithFrame(NSRect frame, const std::shared_ptr<NSView>&) {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  auto& gc = context->CGContext();
  bool pressed = highlighted && (highlightsBy_ & (NSChangeGrayCellMask | NSPushInCellMask));
  gc.setFillColor(NSColor::colorWithWhite(pressed ? 0.8 : 0.96, 1.0)->CGColor());
  gc.fillRoundedRect(NSInsetRect(frame, 1, 1), 4);
  gc.setStrokeColor(NSColor::colorWithWhite(0.7, 1.0)->CGColor());
  gc.setLineWidth(1);
  gc.strokeRoundedRect(NSInsetRect(frame, 1.5, 1.5), 4);
}

void NSButtonCell::drawWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  if (bordered) drawBezelWithFrame(frame, view);
  drawInteriorWithFrame(frame, view);
}

void NSButtonCell::drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  if (image && imagePosition != NSCellImagePosition::noImage) drawImage(image, frame, view);
  if (imagePosition != NSCellImagePosition::imageOnly) drawTitle(attributedTitle(), titleRectForBounds(frame), view);
}

// ---- button -----------------------------------------------------------------------------

std::shared_ptr<NSButton> NSButton::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSButton>(new NSButton(frame, NSButtonCell::initTextCell("Button"))));
}

std::shared_ptr<NSButton> NSButton::buttonWithTitle(std::string title, NSAction action) {
  auto button = initWithFrame(NSZeroRect);
  button->setTitle(std::move(title));
  button->action = std::move(action);
  button->sizeToFit();
  return button;
}

std::shared_ptr<NSButton> NSButton::checkboxWithTitle(std::string title, NSAction action) {
  auto button = buttonWithTitle(std::move(title), std::move(action));
  button->setButtonType(NSButtonType::switchButton);
  button->setBordered(false);
  return button;
}

void NSButton::setState(NSControlStateValue state) {
  cell()->state = state;
  setNeedsDisplay(true);
}

void NSButton::setButtonType(NSButtonType type) {
  if (auto c = buttonCell()) c->buttonType = type;
  setNeedsDisplay(true);
}

NSButtonType NSButton::buttonType() const {
  auto c = buttonCell();
  return c ? c->buttonType : NSButtonType::momentaryPushIn;
}

void NSButton::setImage(std::shared_ptr<NSImage> image) {
  cell()->image = std::move(image);
  if (auto c = buttonCell(); c && c->imagePosition == NSCellImagePosition::noImage && cell()->image) {
    c->imagePosition = title().empty() ? NSCellImagePosition::imageOnly : NSCellImagePosition::imageLeft;
  }
  setNeedsDisplay(true);
}

void NSButton::setBordered(bool bordered) {
  cell()->bordered = bordered;
  setNeedsDisplay(true);
}

void NSButton::setBezelStyle(NSBezelStyle style) {
  if (auto c = buttonCell()) c->bezelStyle = style;
  setNeedsDisplay(true);
}

void NSButton::setImagePosition(NSCellImagePosition position) {
  if (auto c = buttonCell()) c->imagePosition = position;
  setNeedsDisplay(true);
}

std::string NSButton::keyEquivalent() const {
  auto c = buttonCell();
  return c ? c->keyEquivalent : std::string();
}

void NSButton::setKeyEquivalent(std::string key) {
  if (auto c = buttonCell()) c->keyEquivalent = std::move(key);
}

void NSButton::clickCompleted() {
  switch (buttonType()) {
    case NSButtonType::pushOnPushOff:
    case NSButtonType::toggle:
    case NSButtonType::switchButton:
    case NSButtonType::onOff:
      setState(state() == NSControlStateValueOn ? NSControlStateValueOff : NSControlStateValueOn);
      break;
    case NSButtonType::radio:
      setState(NSControlStateValueOn);
      break;
    default:
      break;
  }
}
