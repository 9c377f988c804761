#include "ui/VerticallyAlignedSecureTextFieldCell.h"

#include "ui/VerticallyAlignedTextFieldCell.h"

std::shared_ptr<VerticallyAlignedSecureTextFieldCell> VerticallyAlignedSecureTextFieldCell::initTextCell(
    std::string text) {
  return std::shared_ptr<VerticallyAlignedSecureTextFieldCell>(
      new VerticallyAlignedSecureTextFieldCell(std::move(text)));
}

NSRect VerticallyAlignedSecureTextFieldCell::titleRectForBounds(NSRect bounds) const {
  return VerticallyAlignedTextFieldCell::centredTitleRect(NSSecureTextFieldCell::titleRectForBounds(bounds),
                                                          cellSizeForBounds(bounds), 0.0);
}

void VerticallyAlignedSecureTextFieldCell::drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) {
  NSSecureTextFieldCell::drawInteriorWithFrame(titleRectForBounds(frame), view);
}

void VerticallyAlignedSecureTextFieldCell::selectWithFrame(NSRect frame, const std::shared_ptr<NSView>& view,
                                                           const std::shared_ptr<NSTextView>& editor,
                                                           const std::shared_ptr<NSTextViewDelegate>& delegate,
                                                           long start, long length) {
  NSSecureTextFieldCell::selectWithFrame(titleRectForBounds(frame), view, editor, delegate, start, length);
}
