#pragma once
// A text-field cell that draws its text with a sharp dark shadow two points below it, for
// labels over pictures and coloured backgrounds.

#include <memory>

#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSTextField.h"

class ShadowTextFieldCell : public NSTextFieldCell {
 public:
  static std::shared_ptr<ShadowTextFieldCell> initTextCell(std::string text);

  const std::shared_ptr<NSShadow>& shadow() const { return shadow_; }

  // Draws as the inherited cell does, with the shadow in effect. The drawing state is saved
  // around it so the shadow does not spread to what the view draws after the cell.
  void drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) override;

  GLIMDECK_OBJECT(ShadowTextFieldCell)

 protected:
  explicit ShadowTextFieldCell(std::string text);

 private:
  std::shared_ptr<NSShadow> shadow_;
};
