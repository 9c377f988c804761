#include "platform/appkit/NSControl.h"

#include <cstdio>

#include "platform/appkit/NSEvent.h"
#include "platform/foundation/KeepAlive.h"

NSControl::NSControl(NSRect frame, std::shared_ptr<NSCell> cell) : NSView(frame), cell_(std::move(cell)) {}

std::shared_ptr<NSControl> NSControl::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSControl>(new NSControl(frame, NSActionCell::initTextCell({}))));
}

void NSControl::didInit() {
  NSView::didInit();
  cell_->setControlView(sharedAs<NSView>());
}

void NSControl::setCell(std::shared_ptr<NSCell> cell) {
  if (!cell) return;
  cell_ = std::move(cell);
  cell_->setControlView(sharedAs<NSView>());
  setNeedsDisplay(true);
}

const std::string& NSControl::stringValue() const { return cell_->stringValue(); }

void NSControl::setStringValue(std::string value) {
  cell_->setStringValue(std::move(value));
  setNeedsDisplay(true);
}

std::shared_ptr<NSAttributedString> NSControl::attributedStringValue() const { return cell_->attributedStringValue(); }

void NSControl::setAttributedStringValue(std::shared_ptr<NSAttributedString> value) {
  cell_->setAttributedStringValue(std::move(value));
  setNeedsDisplay(true);
}

void NSControl::setDoubleValue(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  setStringValue(buffer);
}

void NSControl::setFont(std::shared_ptr<NSFont> font) {
  cell_->setFont(std::move(font));
  setNeedsDisplay(true);
}

void NSControl::setAlignment(NSTextAlignment alignment) {
  cell_->alignment = alignment;
  setNeedsDisplay(true);
}

void NSControl::setLineBreakMode(NSLineBreakMode mode) {
  cell_->lineBreakMode = mode;
  setNeedsDisplay(true);
}

void NSControl::setEnabled(bool enabled) {
  cell_->enabled = enabled;
  setNeedsDisplay(true);
}

void NSControl::setHighlighted(bool highlighted) {
  cell_->highlighted = highlighted;
  setNeedsDisplay(true);
}

bool NSControl::sendAction() {
  auto run = action;
  if (!run) {
    if (auto actionCell = asA<NSActionCell>(cell_)) run = actionCell->action;
  }
  if (!run) return false;
  auto self = sharedAs<NSObject>();
  run(self);
  return true;
}

void NSControl::performClick(const std::shared_ptr<NSObject>&) {
  if (!isEnabled()) return;
  KeepAlive keep(*this);
  clickCompleted();
  sendAction();
}

void NSControl::sizeToFit() { setFrameSize(sizeThatFits()); }

void NSControl::mouseDown(const std::shared_ptr<NSEvent>&) {
  if (!isEnabled()) return;
  tracking_ = true;
  setHighlighted(true);
}

void NSControl::mouseDragged(const std::shared_ptr<NSEvent>& event) {
  if (!tracking_) return;
  setHighlighted(NSPointInRect(convertPoint(event->locationInWindow(), nullptr), bounds()));
}

void NSControl::mouseUp(const std::shared_ptr<NSEvent>& event) {
  if (!tracking_) return;
  tracking_ = false;
  setHighlighted(false);
  if (!isEnabled()) return;
  if (!NSPointInRect(convertPoint(event->locationInWindow(), nullptr), bounds())) return;
  KeepAlive keep(*this);
  clickCompleted();
  sendAction();
}

void NSControl::drawRect(NSRect) { cell_->drawWithFrame(bounds(), sharedAs<NSView>()); }
