#pragma once
// The application's button: layer corners and border set through its fields, an arrow
// pointer over it, and a white centred title look.

#include <memory>
#include <optional>

#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSColor.h"

class QLXButton : public NSButton {
 public:
  static std::shared_ptr<QLXButton> initWithFrame(NSRect frame);

  std::optional<double> cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(std::optional<double> radius);
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double width);
  std::shared_ptr<NSColor> borderColor() const { return borderColor_; }
  // None clears the layer's border colour; the width stays.
  void setBorderColor(std::shared_ptr<NSColor> color);

  void resetCursorRects() override;
  // No highlight while pressed.
  void disableHighlight();
  // Restyles the current title: the button's font, white, centred.
  void configureStylingForQLX();

  GLIMDECK_OBJECT(QLXButton)

 protected:
  using NSButton::NSButton;

 private:
  std::optional<double> cornerRadius_;
  double borderWidth_ = 0.0;
  std::shared_ptr<NSColor> borderColor_;
};
