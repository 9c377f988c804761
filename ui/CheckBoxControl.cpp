#include "ui/CheckBoxControl.h"

#include <algorithm>

#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSGestureRecognizer.h"
#include "platform/appkit/NSWindow.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/NSViewExtensions.h"
#include "ui/VerticallyAlignedTextFieldCell.h"

namespace {
constexpr double side = CheckBoxControl::Constants::checkBoxSide;
// The ring of the box's background that the focus shows inside the box's border: over the
// fill, so that a ticked box shows the focus as well as an empty one.
constexpr double focusRingWidth = 2.0;
}

std::shared_ptr<CheckBoxControl> CheckBoxControl::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<CheckBoxControl>(new CheckBoxControl(frame)));
}

void CheckBoxControl::didInit() {
  NSView::didInit();
  font_ = NSFont::fontWithName(Constants::defaultFontName, Constants::defaultFontSize);
  auto self = sharedAs<CheckBoxControl>();
  NSRect b = bounds();

  checkBox_ = NSView::make();
  checkBox_->translatesAutoresizingMaskIntoConstraints = false;
  checkBox_->setFrame(NSMakeRect(0, b.size.height * 0.5 - side * 0.5, side, side));
  checkBox_->setWantsLayer(true);
  checkBox_->layer()->setCornerRadius(checkBoxCornerRadius_);
  checkBox_->layer()->setBorderWidth(checkBoxBorderWidth_);
  checkBox_->layer()->setBorderColor(checkBoxBorderColor_->CGColor());
  setConvenientBackgroundColor(*checkBox_, checkBoxBackgroundColor_);
  checkBox_->addGestureRecognizer(
      NSClickGestureRecognizer::initWithTarget(targetAction(self, &CheckBoxControl::didTapUncheckedBox)));
  addSubview(checkBox_);
  checkBox_->addConstraint(NSLayoutConstraint::constant(checkBox_, NSLayoutAttribute::height, side));
  checkBox_->addConstraint(NSLayoutConstraint::constant(checkBox_, NSLayoutAttribute::width, side));
  addConstraint(NSLayoutConstraint::equal(checkBox_, NSLayoutAttribute::leading, self, NSLayoutAttribute::leading));
  addConstraint(NSLayoutConstraint::equal(checkBox_, NSLayoutAttribute::centerY, self, NSLayoutAttribute::centerY));

  checkBoxFillView_ = NSView::make();
  checkBoxFillView_->translatesAutoresizingMaskIntoConstraints = false;
  checkBoxFillView_->setWantsLayer(true);
  checkBoxFillView_->layer()->setCornerRadius(checkBoxCornerRadius_);
  setConvenientBackgroundColor(*checkBoxFillView_, checkBoxFillColor_);
  checkBoxFillView_->addGestureRecognizer(
      NSClickGestureRecognizer::initWithTarget(targetAction(self, &CheckBoxControl::didTapCheckedBox)));
  checkBox_->addSubview(checkBoxFillView_);
  checkBoxFillViewHeight_ = NSLayoutConstraint::constant(checkBoxFillView_, NSLayoutAttribute::height, 0.0);
  checkBoxFillViewWidth_ = NSLayoutConstraint::constant(checkBoxFillView_, NSLayoutAttribute::width, 0.0);
  // The fill's constraints live on the fill; when the animator changes them the fill asks
  // for layout, and the control places it.
  checkBoxFillView_->layoutHandler = [weak = std::weak_ptr<CheckBoxControl>(self)](NSView&) {
    if (auto control = weak.lock()) control->layout();
  };
  checkBoxFillView_->addConstraint(checkBoxFillViewHeight_);
  checkBoxFillView_->addConstraint(checkBoxFillViewWidth_);
  checkBox_->addConstraint(
      NSLayoutConstraint::equal(checkBoxFillView_, NSLayoutAttribute::centerX, checkBox_, NSLayoutAttribute::centerX));
  checkBox_->addConstraint(
      NSLayoutConstraint::equal(checkBoxFillView_, NSLayoutAttribute::centerY, checkBox_, NSLayoutAttribute::centerY));

  label_ = QLXLabel::initWithFrame(NSZeroRect);
  auto cell = VerticallyAlignedTextFieldCell::initTextCell(title_);
  cell->alignment = NSTextAlignment::natural;
  cell->wraps = true;
  label_->setCell(cell);
  label_->setBordered(false);
  label_->setEditable(false);
  label_->setWantsLayer(true);
  label_->translatesAutoresizingMaskIntoConstraints = false;
  label_->setLineBreakMode(NSLineBreakMode::byWordWrapping);
  label_->setBackgroundColor(NSColor::clearColor());
  setConvenientBackgroundColor(*label_, NSColor::clearColor());
  if (font_) label_->setFont(font_);
  label_->setTextColor(NSColor::whiteColor());
  double labelX = checkBoxLabelSpacing_ + side;
  label_->setFrame(NSMakeRect(labelX, 0, std::max(0.0, b.size.width - labelX), b.size.height));
  addSubview(label_);
  checkBoxLeading_ = NSLayoutConstraint::equal(label_, NSLayoutAttribute::leading, checkBox_,
                                               NSLayoutAttribute::trailing, checkBoxLabelSpacing_);
  addConstraints({NSLayoutConstraint::equal(label_, NSLayoutAttribute::top, self, NSLayoutAttribute::top),
                  NSLayoutConstraint::equal(label_, NSLayoutAttribute::bottom, self, NSLayoutAttribute::bottom),
                  checkBoxLeading_,
                  NSLayoutConstraint::equal(label_, NSLayoutAttribute::trailing, self, NSLayoutAttribute::trailing)});
  label_->setEnabled(true);
  label_->addGestureRecognizer(
      NSClickGestureRecognizer::initWithTarget(targetAction(self, &CheckBoxControl::didTapLabel)));
  layout();
}

void CheckBoxControl::layout() {
  NSView::layout();
  NSRect b = bounds();
  if (checkBox_) checkBox_->setFrame(NSMakeRect(0, b.size.height * 0.5 - side * 0.5, side, side));
  if (checkBoxFillView_ && checkBoxFillViewWidth_ && checkBoxFillViewHeight_) {
    double w = std::max(0.0, checkBoxFillViewWidth_->constant());
    double h = std::max(0.0, checkBoxFillViewHeight_->constant());
    checkBoxFillView_->setFrame(NSMakeRect(side * 0.5 - w * 0.5, side * 0.5 - h * 0.5, w, h));
  }
  if (label_) {
    double spacing = checkBoxLeading_ ? checkBoxLeading_->constant() : checkBoxLabelSpacing_;
    double x = side + spacing;
    label_->setFrame(NSMakeRect(x, 0, std::max(0.0, b.size.width - x), b.size.height));
  }
}

void CheckBoxControl::setCheckBoxCornerRadius(double radius) {
  checkBoxCornerRadius_ = radius;
  if (auto layer = checkBox_->layer()) layer->setCornerRadius(radius);
  if (auto layer = checkBoxFillView_->layer()) layer->setCornerRadius(radius);
}

void CheckBoxControl::setCheckBoxBorderWidth(double width) {
  checkBoxBorderWidth_ = width;
  if (auto layer = checkBox_->layer()) layer->setBorderWidth(width);
  applyFocusLook();
}

void CheckBoxControl::setCheckBoxBorderColor(std::shared_ptr<NSColor> color) {
  checkBoxBorderColor_ = std::move(color);
  applyFocusLook();
}

void CheckBoxControl::setCheckBoxBackgroundColor(std::shared_ptr<NSColor> color) {
  checkBoxBackgroundColor_ = std::move(color);
  setConvenientBackgroundColor(*checkBox_, checkBoxBackgroundColor_);
  applyFocusLook();
}

void CheckBoxControl::setCheckBoxFillColor(std::shared_ptr<NSColor> color) {
  checkBoxFillColor_ = std::move(color);
  setConvenientBackgroundColor(*checkBoxFillView_, checkBoxFillColor_);
}

void CheckBoxControl::setTitle(std::string title) {
  title_ = std::move(title);
  ::setTitle(*label_, title_, false, false);
}

void CheckBoxControl::setFontColor(std::shared_ptr<NSColor> color) {
  fontColor_ = std::move(color);
  label_->setTextColor(fontColor_);
}

void CheckBoxControl::setCheckBoxLabelSpacing(double spacing) {
  checkBoxLabelSpacing_ = spacing;
  if (checkBoxLeading_) checkBoxLeading_->setConstant(spacing);
}

void CheckBoxControl::setFont(std::shared_ptr<NSFont> font) {
  font_ = std::move(font);
  if (font_) label_->setFont(font_);
}

void CheckBoxControl::applyFocusLook() {
  if (auto layer = checkBox_->layer()) {
    auto border = showsFocus_ ? NSColor::keyboardFocusIndicatorColor() : checkBoxBorderColor_;
    layer->setBorderColor(border ? std::optional<CGColor>(border->CGColor()) : std::nullopt);
  }
  // The fill's own border lies under the box's but for its inner ring.
  if (auto layer = checkBoxFillView_->layer()) {
    layer->setBorderWidth(showsFocus_ ? checkBoxBorderWidth_ + focusRingWidth : 0.0);
    layer->setBorderColor(showsFocus_ && checkBoxBackgroundColor_ ? std::optional<CGColor>(checkBoxBackgroundColor_->CGColor())
                                                                  : std::nullopt);
  }
}

bool CheckBoxControl::becomeFirstResponder() {
  showsFocus_ = true;
  applyFocusLook();
  return true;
}

bool CheckBoxControl::resignFirstResponder() {
  showsFocus_ = false;
  applyFocusLook();
  return true;
}

void CheckBoxControl::keyDown(const std::shared_ptr<NSEvent>& event) {
  const auto modifiers = event->modifierFlags() & (NSEventModifierFlagCommand | NSEventModifierFlagControl |
                                                   NSEventModifierFlagOption | NSEventModifierFlagShift);
  const auto& key = event->charactersIgnoringModifiers();
  if (modifiers == 0 && (key == " " || (key.empty() && event->keyCode() == NSKeyCode::space))) {
    if (isEnabled) animateFill(!isChecked);
    return;
  }
  // Return on the box does what Return does in the form around it (sends it), when the form
  // says what that is.
  if (modifiers == 0 && (event->keyCode() == NSKeyCode::returnKey || event->keyCode() == NSKeyCode::keypadEnter) &&
      tryToPerform("insertNewline:", sharedAs<CheckBoxControl>())) {
    return;
  }
  if (event->keyCode() == NSKeyCode::tab || key == "\t" || key == "\x19") {
    const bool back = (modifiers & NSEventModifierFlagShift) || key == "\x19";
    auto self = sharedAs<CheckBoxControl>();
    if (tryToPerform(back ? "insertBacktab:" : "insertTab:", self)) return;
    if (auto w = window()) back ? w->selectPreviousKeyView(self) : w->selectNextKeyView(self);
    return;
  }
  NSView::keyDown(event);
}

void CheckBoxControl::didTapUncheckedBox() {
  if (isEnabled && !isChecked) animateFill(true);
}

void CheckBoxControl::didTapCheckedBox() {
  if (isEnabled && isChecked) animateFill(false);
}

void CheckBoxControl::didTapLabel() {
  if (areLabelTapsEnabled && isEnabled) animateFill(!isChecked);
}

void CheckBoxControl::animateFill(bool toFull) {
  // The state is the new one from the tap or key on, so that a form read straight after (Space
  // then Return) reads what the box shows; the fill only draws it.
  isChecked = toFull;
  isEnabled = false;
  std::weak_ptr<CheckBoxControl> weak = sharedAs<CheckBoxControl>();
  NSAnimationContext::runAnimationGroup(
      [weak, toFull](NSAnimationContext&) {
        auto self = weak.lock();
        if (!self) return;
        NSSize boxSize = self->checkBox_->frame().size;
        self->checkBoxFillViewWidth_->animator()->setConstant(toFull ? boxSize.width : 0.0);
        self->checkBoxFillViewHeight_->animator()->setConstant(toFull ? boxSize.height : 0.0);
      },
      [weak, toFull] {
        auto self = weak.lock();
        if (!self) return;
        self->isEnabled = true;
        if (auto delegate = self->delegate()) delegate->didTapCheckBoxWithFilled(toFull, self);
      });
}

void CheckBoxControl::reset() {
  isEnabled = true;
  isChecked = false;
  checkBoxFillViewWidth_->setConstant(0.0);
  checkBoxFillViewHeight_->setConstant(0.0);
  layout();
}
