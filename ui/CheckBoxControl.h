#pragma once
// The application's animated check box: a rounded box whose fill grows from the centre when
// it is ticked and shrinks back when it is cleared, with a label to its right. Each change
// the user makes holds at once (isChecked) and is reported once the fill has finished
// moving. It takes the keys as a desktop check box does: Space ticks or clears it, Tab and
// Shift-Tab move on, and while it has the keys its box is drawn in the focus colour with a
// ring of the box's background inside that border, which shows over the fill too.

#include <memory>
#include <optional>
#include <string>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSView.h"
#include "ui/QLXLabel.h"

class CheckBoxControl;

class CheckBoxControlDelegate {
 public:
  virtual ~CheckBoxControlDelegate() = default;
  virtual void didTapCheckBoxWithFilled(bool filled, const std::shared_ptr<CheckBoxControl>& sender) = 0;
};

class CheckBoxControl : public NSView {
 public:
  struct Constants {
    static constexpr double checkBoxSide = 25.0;
    static constexpr std::string_view defaultFontName = "AvenirNext-DemiBold";
    static constexpr double defaultFontSize = 13.0;
  };

  static std::shared_ptr<CheckBoxControl> initWithFrame(NSRect frame);

  // The parts, for the screens that style them further and for tests.
  const std::shared_ptr<NSView>& checkBox() const { return checkBox_; }
  const std::shared_ptr<NSView>& checkBoxFillView() const { return checkBoxFillView_; }
  const std::shared_ptr<QLXLabel>& label() const { return label_; }
  const std::shared_ptr<NSLayoutConstraint>& checkBoxFillViewWidth() const { return checkBoxFillViewWidth_; }
  const std::shared_ptr<NSLayoutConstraint>& checkBoxFillViewHeight() const { return checkBoxFillViewHeight_; }
  const std::shared_ptr<NSLayoutConstraint>& checkBoxLeading() const { return checkBoxLeading_; }

  // A tap or Space changes it at once, before the fill has moved. Stored only: setting it
  // moves no fill and tells nobody.
  bool isChecked = false;
  // Taps are taken; false while the fill moves.
  bool isEnabled = true;
  bool areLabelTapsEnabled = true;
  // Kept for the screens that set it; the fill moves with the animation context's default.
  double fillAnimationTime = 0.2;

  // Held weakly: the screen that owns the control is usually its delegate, and a strong
  // reference back would keep both alive for ever.
  std::shared_ptr<CheckBoxControlDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<CheckBoxControlDelegate>& delegate) { delegate_ = delegate; }

  double checkBoxCornerRadius() const { return checkBoxCornerRadius_; }
  void setCheckBoxCornerRadius(double radius);
  double checkBoxBorderWidth() const { return checkBoxBorderWidth_; }
  void setCheckBoxBorderWidth(double width);
  std::shared_ptr<NSColor> checkBoxBorderColor() const { return checkBoxBorderColor_; }
  void setCheckBoxBorderColor(std::shared_ptr<NSColor> color);
  std::shared_ptr<NSColor> checkBoxBackgroundColor() const { return checkBoxBackgroundColor_; }
  void setCheckBoxBackgroundColor(std::shared_ptr<NSColor> color);
  std::shared_ptr<NSColor> checkBoxFillColor() const { return checkBoxFillColor_; }
  void setCheckBoxFillColor(std::shared_ptr<NSColor> color);
  const std::string& title() const { return title_; }
  void setTitle(std::string title);
  std::shared_ptr<NSColor> fontColor() const { return fontColor_; }
  void setFontColor(std::shared_ptr<NSColor> color);
  double checkBoxLabelSpacing() const { return checkBoxLabelSpacing_; }
  void setCheckBoxLabelSpacing(double spacing);
  std::shared_ptr<NSFont> font() const { return font_; }
  void setFont(std::shared_ptr<NSFont> font);

  // Actions of clicks on the box, on the fill and on the label.
  void didTapUncheckedBox();
  void didTapCheckedBox();
  void didTapLabel();
  // Back to an enabled, empty box at once, telling nobody.
  void reset();

  // Places the box, the fill and the label from the constraint records.
  void layout() override;

  bool acceptsFirstResponder() const override { return true; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  // Space acts as a tap on the label (whether or not label taps are taken); Tab and Shift-Tab
  // are the commands "insertTab:" and "insertBacktab:" for the responders above (the screen
  // that orders its stops), else the window's next or previous key view.
  void keyDown(const std::shared_ptr<NSEvent>& event) override;
  // Whether the box shows that it has the keys.
  bool showsFocus() const { return showsFocus_; }

  GLIMDECK_OBJECT(CheckBoxControl)

 protected:
  using NSView::NSView;
  void didInit() override;

 private:
  void animateFill(bool toFull);
  // The box's border and the ring over the fill, as the focus and the colours say.
  void applyFocusLook();

  std::shared_ptr<NSView> checkBox_;
  std::shared_ptr<NSView> checkBoxFillView_;
  std::shared_ptr<NSLayoutConstraint> checkBoxFillViewWidth_;
  std::shared_ptr<NSLayoutConstraint> checkBoxFillViewHeight_;
  std::shared_ptr<NSLayoutConstraint> checkBoxLeading_;
  std::shared_ptr<QLXLabel> label_;
  std::weak_ptr<CheckBoxControlDelegate> delegate_;
  double checkBoxCornerRadius_ = 6.0;
  double checkBoxBorderWidth_ = 2.0;
  std::shared_ptr<NSColor> checkBoxBorderColor_ = NSColor::whiteColor();
  std::shared_ptr<NSColor> checkBoxBackgroundColor_ = NSColor::colorWithWhite(1.0, 0.64);
  std::shared_ptr<NSColor> checkBoxFillColor_ = NSColor::whiteColor();
  std::string title_;
  std::shared_ptr<NSColor> fontColor_ = NSColor::whiteColor();
  double checkBoxLabelSpacing_ = 14.0;
  std::shared_ptr<NSFont> font_;
  bool showsFocus_ = false;
};
