#include "platform/appkit/NSButton.h"

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/render/NSGraphicsContext.h"

// ---- cell -------------------------------------------------------------------------------

namespace {
// A check box's box and a radio button's circle, with the room between it and the title.
constexpr double markSide = 14.0;
constexpr double markGap = 6.0;

bool showsMark(NSButtonType type) { return type == NSButtonType::switchButton || type == NSButtonType::radio; }
}  // namespace

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

NSRect NSButtonCell::titleRectForBounds(NSRect bounds) const {
  NSRect rect = NSActionCell::titleRectForBounds(bounds);
  if (!showsMark(buttonType)) return rect;
  const double left = bounds.minX() + 1 + markSide + markGap;
  return NSMakeRect(left, rect.minY(), std::max(0.0, bounds.maxX() - left), rect.height());
}

NSSize NSButtonCell::cellSizeForBounds(NSRect bounds) const {
  NSSize size = NSActionCell::cellSizeForBounds(bounds);
  if (showsMark(buttonType)) size = {size.width + 1 + markSide + markGap, std::max(size.height, markSide + 2)};
  return size;
}

void NSButtonCell::drawMarkWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  auto context = NSGraphicsContext::currentContext();
  if (!context) return;
  auto& gc = context->CGContext();
  const bool on = state == NSControlStateValueOn;
  const bool radio = buttonType == NSButtonType::radio;
  const NSRect box = NSMakeRect(frame.minX() + 1, frame.midY() - markSide / 2, markSide, markSide);
  const double radius = radio ? markSide / 2 : 3;
  const auto accent = NSColor::colorWithRed(0, 122 / 255.0, 1, enabled ? 1 : 0.5)->CGColor();
  gc.setFillColor(on ? accent : NSColor::colorWithWhite(1, enabled ? 1 : 0.5)->CGColor());
  gc.fillRoundedRect(box, radius);
  gc.setStrokeColor(on ? accent : NSColor::colorWithWhite(0.55, enabled ? 1 : 0.5)->CGColor());
  gc.setLineWidth(1);
  gc.strokeRoundedRect(NSInsetRect(box, 0.5, 0.5), radius - 0.5);
  if (!on) return;
  gc.setFillColor(NSColor::whiteColor()->CGColor());
  gc.setStrokeColor(NSColor::whiteColor()->CGColor());
  if (radio) {
    gc.fillEllipse(NSInsetRect(box, markSide * 0.3, markSide * 0.3));
    return;
  }
  // The tick, drawn from the box's lower left whichever way up the view is.
  const bool flipped = view && view->isFlipped();
  auto at = [&](double x, double up) {
    return NSMakePoint(box.minX() + x * markSide, flipped ? box.maxY() - up * markSide : box.minY() + up * markSide);
  };
  gc.setLineWidth(2);
  gc.beginPath();
  gc.moveTo(at(0.22, 0.52));
  gc.lineTo(at(0.42, 0.28));
  gc.lineTo(at(0.78, 0.74));
  gc.strokeCurrentPath();
}

void NSButtonCell::drawWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  // A check box or radio button shows its state in its mark, and draws no bezel.
  if (showsMark(buttonType)) drawMarkWithFrame(frame, view);
  else if (bordered) drawBezelWithFrame(frame, view);
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
  button->sizeToFit();
  return button;
}

void NSButton::setState(NSControlStateValue state) {
  cell()->state = state;
  setNeedsDisplay(true);
}

void NSButton::setButtonType(NSButtonType type) {
  if (auto c = buttonCell()) {
    c->buttonType = type;
    // A check box's or radio button's title reads on from its mark.
    if (showsMark(type)) c->alignment = NSTextAlignment::left;
  }
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
