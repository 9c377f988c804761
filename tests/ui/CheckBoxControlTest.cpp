// The animated check box through the simulator: taps on the box, the fill and the label,
// the report after the fill animation, the keys, and its set-up and setters.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "platform/quartz/CALayer.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"
#include "ui/CheckBoxControl.h"
#include "ui/NSViewExtensions.h"
#include "ui/VerticallyAlignedTextFieldCell.h"

namespace {

class RecordingDelegate : public CheckBoxControlDelegate {
 public:
  std::vector<bool> heard;
  std::shared_ptr<CheckBoxControl> lastSender;
  void didTapCheckBoxWithFilled(bool filled, const std::shared_ptr<CheckBoxControl>& sender) override {
    heard.push_back(filled);
    lastSender = sender;
  }
};

class CheckBoxControlTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 100), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    box = CheckBoxControl::initWithFrame(NSMakeRect(10, 10, 200, 40));
    window->contentView()->addSubview(box);
    delegate = std::make_shared<RecordingDelegate>();
    box->setDelegate(delegate);
  }
  void finishAnimation() { ui.advance(NSAnimationContext::defaultDuration() + 0.01); }
  NSSize fillSize() const { return box->checkBoxFillView()->frame().size; }

  std::shared_ptr<NSWindow> window;
  std::shared_ptr<CheckBoxControl> box;
  std::shared_ptr<RecordingDelegate> delegate;
};

TEST_F(CheckBoxControlTest, TwoQuickTapsReportOneChangeAfterTheAnimation) {
  ui.click(box->checkBox());
  EXPECT_FALSE(box->isEnabled) << "taps are refused while the fill moves";
  EXPECT_TRUE(delegate->heard.empty()) << "nothing is reported before the fill has moved";
  ui.advance(0.1);
  ui.click(box->checkBox());
  EXPECT_TRUE(delegate->heard.empty());
  finishAnimation();
  EXPECT_EQ(delegate->heard, std::vector<bool>{true});
  EXPECT_EQ(delegate->lastSender, box);
  EXPECT_TRUE(box->isChecked);
  EXPECT_TRUE(box->isEnabled);
  EXPECT_EQ(fillSize(), (NSSize{25, 25}));
}

TEST_F(CheckBoxControlTest, ATapOnAFullBoxLandsOnTheFillAndClearsIt) {
  ui.click(box->checkBox());
  finishAnimation();
  ui.click(box->checkBox());  // the fill now covers the whole box
  finishAnimation();
  EXPECT_EQ(delegate->heard, (std::vector<bool>{true, false}));
  EXPECT_FALSE(box->isChecked);
  EXPECT_EQ(fillSize(), (NSSize{0, 0}));
}

TEST_F(CheckBoxControlTest, LabelTapsToggleUnlessTurnedOff) {
  box->setTitle("I agree");
  ui.click(box->label());
  finishAnimation();
  EXPECT_EQ(delegate->heard, std::vector<bool>{true});

  box->areLabelTapsEnabled = false;
  ui.click(box->label());
  finishAnimation();
  EXPECT_EQ(delegate->heard, std::vector<bool>{true});
  ui.click(box->checkBox());
  finishAnimation();
  EXPECT_EQ(delegate->heard, (std::vector<bool>{true, false}));
}

TEST_F(CheckBoxControlTest, CodeChangesDisabledBoxesAndResetMoveNothingAndTellNobody) {
  box->isChecked = true;
  EXPECT_EQ(fillSize(), (NSSize{0, 0}));
  box->isChecked = false;

  box->isEnabled = false;
  ui.click(box->checkBox());
  finishAnimation();
  EXPECT_TRUE(delegate->heard.empty());
  box->setTitle("I agree");
  ui.click(box->label());  // label taps are on, but the box is not
  finishAnimation();
  EXPECT_TRUE(delegate->heard.empty());
  EXPECT_FALSE(box->isChecked);
  EXPECT_EQ(fillSize(), (NSSize{0, 0}));

  box->isEnabled = true;
  ui.click(box->checkBox());
  finishAnimation();
  box->reset();
  EXPECT_FALSE(box->isChecked);
  EXPECT_TRUE(box->isEnabled);
  EXPECT_EQ(fillSize(), (NSSize{0, 0}));
  EXPECT_EQ(delegate->heard, std::vector<bool>{true});
}

TEST_F(CheckBoxControlTest, TheDelegateIsNotKeptAliveByTheControlAndAGoneControlReportsNothing) {
  std::weak_ptr<RecordingDelegate> weakDelegate = delegate;
  delegate.reset();
  EXPECT_TRUE(weakDelegate.expired());
  ui.click(box->checkBox());
  finishAnimation();  // no delegate: the change is simply not reported
  EXPECT_TRUE(box->isChecked);

  auto listener = std::make_shared<RecordingDelegate>();
  box->setDelegate(listener);
  ui.click(box->checkBox());
  std::weak_ptr<CheckBoxControl> weakBox = box;
  box->removeFromSuperview();
  box.reset();
  finishAnimation();
  EXPECT_TRUE(weakBox.expired());
  EXPECT_TRUE(listener->heard.empty());
}

// A click on the box, on the label or Space changes the state at once, so that a form reading
// the box straight after (Space then Return) reads what it shows; the fill shows the new state
// at every moment of its movement, and the delegate hears once it has moved.
TEST_F(CheckBoxControlTest, TheStateChangesAtTheTapOrKeyAndTheFillOnlyDrawsIt) {
  box->setTitle("I agree");
  ASSERT_TRUE(window->makeFirstResponder(box));
  const std::pair<const char*, std::function<void()>> ways[] = {
      {"a click on the box", [&] { ui.click(box->checkBox()); }},
      {"a click on the label", [&] { ui.click(box->label()); }},
      {"Space", [&] { ui.pressKey(NSKeyCode::space, " "); }},
  };
  for (const auto& [way, act] : ways) {
    box->reset();
    delegate->heard.clear();
    std::vector<bool> expectedHeard;
    for (bool ticked : {true, false}) {
      SCOPED_TRACE(std::string(way) + (ticked ? ", ticking" : ", clearing"));
      act();
      EXPECT_EQ(box->isChecked, ticked) << "read at once";
      const NSSize drawn = ticked ? NSSize{25, 25} : NSSize{0, 0};
      for (double at : {0.0, 0.1, 0.2}) {
        if (at > 0) ui.advance(0.1);
        window->layoutIfNeeded();
        EXPECT_EQ(box->isChecked, ticked) << at << " s into the fill";
        EXPECT_EQ(fillSize(), drawn) << at << " s into the fill";
      }
      EXPECT_EQ(delegate->heard, expectedHeard) << "told only once the fill has moved";
      finishAnimation();
      expectedHeard.push_back(ticked);
      EXPECT_EQ(delegate->heard, expectedHeard);
      EXPECT_EQ(box->isChecked, ticked);
      EXPECT_EQ(fillSize(), drawn);
    }
  }
}

// With the keys, Space ticks and clears the box (label taps off or not), other keys do
// nothing to it, and Tab and Shift-Tab move on through the window's key views when nobody
// above orders the stops. While it has the keys its border is in the focus colour and a ring
// of its background shows over the fill; without them it looks as it was styled.
TEST_F(CheckBoxControlTest, SpaceTicksTheBoxThatHasTheKeysWhichShowsItAndTabMovesOn) {
  auto field = NSTextField::initWithFrame(NSMakeRect(10, 60, 200, 24));
  window->contentView()->addSubview(field);
  box->setCheckBoxBorderColor(NSColor::grayColor());
  auto boxLayer = box->checkBox()->layer();
  auto fillLayer = box->checkBoxFillView()->layer();
  auto looksStyled = [&] {
    return !box->showsFocus() && boxLayer->borderColor() == NSColor::grayColor()->CGColor() &&
           fillLayer->borderWidth() == 0;
  };
  EXPECT_TRUE(looksStyled());

  ASSERT_TRUE(window->makeFirstResponder(box));
  EXPECT_TRUE(box->showsFocus());
  EXPECT_EQ(boxLayer->borderColor(), NSColor::keyboardFocusIndicatorColor()->CGColor());
  EXPECT_GT(fillLayer->borderWidth(), boxLayer->borderWidth()) << "the ring shows inside the box's border";
  EXPECT_EQ(fillLayer->borderColor(), convenientBackgroundColor(*box->checkBox())->CGColor());

  box->areLabelTapsEnabled = false;
  ui.pressKey(NSKeyCode::space, " ");
  finishAnimation();
  ui.pressKey(NSKeyCode::a, "a");
  ui.pressKey(NSKeyCode::space, " ", NSEventModifierFlagCommand);
  finishAnimation();
  EXPECT_EQ(delegate->heard, std::vector<bool>{true});
  EXPECT_EQ(fillSize(), (NSSize{25, 25}));
  ui.pressKey(NSKeyCode::space, " ");
  finishAnimation();
  EXPECT_EQ(delegate->heard, (std::vector<bool>{true, false}));

  ui.pressTab();
  EXPECT_EQ(window->focusedView(), field);
  EXPECT_TRUE(looksStyled());
  ui.pressBacktab();
  EXPECT_EQ(window->focusedView(), box);
  ui.pressBacktab();
  EXPECT_EQ(window->focusedView(), field);
  EXPECT_TRUE(looksStyled());
}

TEST_F(CheckBoxControlTest, SetUpAndSettersStyleTheParts) {
  EXPECT_DUMP(dumpViewTree(box), "ui/expected/check-box.txt");
  EXPECT_TRUE(asA<VerticallyAlignedTextFieldCell>(box->label()->cell()));
  auto boxLayer = box->checkBox()->layer();
  EXPECT_EQ(boxLayer->cornerRadius(), 6.0);
  EXPECT_EQ(boxLayer->borderWidth(), 2.0);
  EXPECT_EQ(boxLayer->borderColor(), (CGColor{1, 1, 1, 1}));
  EXPECT_EQ(convenientBackgroundColor(*box->checkBox())->CGColor(), (CGColor{1, 1, 1, 0.64}));

  box->setCheckBoxCornerRadius(3);
  box->setCheckBoxBorderWidth(1);
  box->setCheckBoxBorderColor(NSColor::redColor());
  box->setCheckBoxFillColor(NSColor::blueColor());
  box->setCheckBoxLabelSpacing(20);
  box->setTitle("Accept");
  box->setFontColor(NSColor::blackColor());
  window->layoutIfNeeded();
  EXPECT_EQ(boxLayer->cornerRadius(), 3.0);
  EXPECT_EQ(box->checkBoxFillView()->layer()->cornerRadius(), 3.0);
  EXPECT_EQ(boxLayer->borderWidth(), 1.0);
  EXPECT_EQ(boxLayer->borderColor(), NSColor::redColor()->CGColor());
  EXPECT_EQ(convenientBackgroundColor(*box->checkBoxFillView())->CGColor(), NSColor::blueColor()->CGColor());
  EXPECT_EQ(box->checkBoxLeading()->constant(), 20.0);
  EXPECT_DUMP(dumpViewTree(box), "ui/expected/check-box-restyled.txt");
  EXPECT_EQ(box->label()->textColor()->CGColor(), NSColor::blackColor()->CGColor());
}

}  // namespace
