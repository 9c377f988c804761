#include "ui/VerticallyAlignedTextFieldCell.h"

#include <algorithm>

std::shared_ptr<VerticallyAlignedTextFieldCell> VerticallyAlignedTextFieldCell::initTextCell(std::string text) {
  return create(std::move(text));
}

NSRect VerticallyAlignedTextFieldCell::centredTitleRect(NSRect t, NSSize s, double offset) {
  double dy = (t.size.height - s.height) * 0.5 + offset;
  double width = std::max(0.0, t.size.width - 2 * Constants::horizontalInset);
  return NSMakeRect(Constants::horizontalInset, t.origin.y + dy, width, s.height);
}

NSRect VerticallyAlignedTextFieldCell::titleRectForBounds(NSRect bounds) const {
  return centredTitleRect(NSTextFieldCell::titleRectForBounds(bounds), cellSizeForBounds(bounds), verticalOffset_);
}

void VerticallyAlignedTextFieldCell::drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  NSTextFieldCell::drawInteriorWithFrame(titleRectForBounds(frame), view);
}

void VerticallyAlignedTextFieldCell::selectWithFrame(NSRect frame, const std::shared_ptr<NSView>& view,
                                                     const std::shared_ptr<NSTextView>& editor,
                                                     const std::shared_ptr<NSTextViewDelegate>& delegate, long start,
                                                     long length) {
  NSTextFieldCell::selectWithFrame(titleRectForBounds(frame), view, editor, delegate, start, length);
}
