#pragma once
// The password-field form of the vertically centring cell (without an adjustable offset).

#include <memory>

#include "platform/appkit/NSTextField.h"

class VerticallyAlignedSecureTextFieldCell : public NSSecureTextFieldCell {
 public:
  static std::shared_ptr<VerticallyAlignedSecureTextFieldCell> initTextCell(std::string text);

  NSRect titleRectForBounds(NSRect bounds) const override;
  void drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) override;
  void selectWithFrame(NSRect frame, const std::shared_ptr<NSView>& view, const std::shared_ptr<NSTextView>& editor,
                       const std::shared_ptr<NSTextViewDelegate>& delegate, long start, long length) override;

  GLIMDECK_OBJECT(VerticallyAlignedSecureTextFieldCell)

 protected:
  using NSSecureTextFieldCell::NSSecureTextFieldCell;
};
