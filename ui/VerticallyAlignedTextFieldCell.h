#pragma once
// A text-field cell that centres its single line of text vertically and keeps 10 points
// clear on either side, both when drawing and while the field editor sits over it.

#include <memory>

#include "platform/appkit/NSTextField.h"

class VerticallyAlignedTextFieldCell : public NSTextFieldCell {
 public:
  struct Constants {
    static constexpr double horizontalInset = 10.0;
  };

  static std::shared_ptr<VerticallyAlignedTextFieldCell> initTextCell(std::string text);

  // Added to the computed vertical position.
  double verticalOffset() const { return verticalOffset_; }
  void setVerticalOffset(double offset) { verticalOffset_ = offset; }

  NSRect titleRectForBounds(NSRect bounds) const override;
  void drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) override;
  void selectWithFrame(NSRect frame, const std::shared_ptr<NSView>& view, const std::shared_ptr<NSTextView>& editor,
                       const std::shared_ptr<NSTextViewDelegate>& delegate, long start, long length) override;

  // The text's rectangle inside the base title rectangle for content of the given size:
  // centred vertically (moved by the offset), 10 points in from the left, 20 narrower.
  // A content rectangle wider than the room left gets width 0, never a negative one.
  static NSRect centredTitleRect(NSRect baseTitleRect, NSSize contentSize, double offset);

  GLIMDECK_OBJECT(VerticallyAlignedTextFieldCell)

 protected:
  using NSTextFieldCell::NSTextFieldCell;

 private:
  double verticalOffset_ = 0.0;
};
