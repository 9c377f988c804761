// The styled controls, the click-reporting views, the hover backing view and the touch
// blocker, driven through the simulator.

#include <gtest/gtest.h>

#include <vector>

#include "browse/GifCellBackingView.h"
#include "ui/NSViewTouchBlocker.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/quartz/CALayer.h"
#include "tests/support/UISimulator.h"
#include "ui/CheckBoxControl.h"
#include "ui/ClickableImageView.h"
#include "ui/ClickableView.h"
#include "ui/NSButtonCellOffsettable.h"
#include "ui/QLXButton.h"
#include "ui/QLXLabel.h"
#include "ui/QLXView.h"
#include "ui/ResizingLayerBackedView.h"

namespace {

std::vector<std::string>* journal = nullptr;

class NotingView : public NSView {
 public:
  static std::shared_ptr<NotingView> make(NSRect frame) {
    return finishInit(std::shared_ptr<NotingView>(new NotingView(frame)));
  }
  void mouseDown(const std::shared_ptr<NSEvent>&) override { journal->push_back("below down"); }
  void mouseUp(const std::shared_ptr<NSEvent>&) override { journal->push_back("below up"); }

 private:
  using NSView::NSView;
};

class ClickNoter : public ViewClickResponderDelegate, public QLXLabelClickResponder {
 public:
  void didClickView(const std::shared_ptr<NSView>& view) override { journal->push_back("clicked " + view->className()); }
  void didClickLabel(const std::shared_ptr<QLXLabel>&) override { journal->push_back("clicked label"); }
};

class HoverNoter : public GifCellBackingViewHoverDelegate {
 public:
  void mouseEntered() override { journal->push_back("entered"); }
  void mouseExited() override { journal->push_back("exited"); }
};

class StyledControlsTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    journal = &heard;
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 200), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    below = NotingView::make(NSMakeRect(0, 0, 300, 200));
    window->contentView()->addSubview(below);
    noter = std::make_shared<ClickNoter>();
  }
  void TearDown() override {
    journal = nullptr;
    UITest::TearDown();
  }
  std::vector<std::string> heard;
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<NotingView> below;
  std::shared_ptr<ClickNoter> noter;
};

TEST_F(StyledControlsTest, ClickableViewsReportReleasesAndKeepEveryPressToThemselves) {
  auto blocker = NSViewTouchBlocker::initWithFrame(NSMakeRect(10, 10, 50, 50));
  auto clickable = ClickableView::initWithFrame(NSMakeRect(70, 10, 50, 50));
  auto image = ClickableImageView::initWithFrame(NSMakeRect(130, 10, 50, 50));
  for (const auto& v : std::vector<std::shared_ptr<NSView>>{blocker, clickable, image}) below->addSubview(v);

  for (const auto& v : std::vector<std::shared_ptr<NSView>>{blocker, clickable, image}) {
    ui.click(v);
    ui.drag(v, NSPoint{5, 5}, NSPoint{20, 20});
  }
  EXPECT_TRUE(heard.empty()) << "without delegates nothing is reported and nothing passes on";

  clickable->clickResponderDelegate = noter;
  image->clickResponderDelegate = noter;
  ui.click(clickable);
  ui.click(image);
  EXPECT_EQ(heard, (std::vector<std::string>{"clicked ClickableView", "clicked ClickableImageView"}));

  heard.clear();
  noter.reset();
  ui.click(clickable);
  EXPECT_TRUE(heard.empty()) << "a released delegate is simply gone";
}

// A press taken back, the pointer released off the view that took it (beside it, off the
// window, after Escape or not), is no click, on every kind of view that acts on a click, as on
// the toolkit's own buttons; released on the view, it is one.
TEST_F(StyledControlsTest, AReleaseOffTheViewThatTookThePressIsNoClick) {
  auto clickable = ClickableView::initWithFrame(NSMakeRect(10, 10, 50, 50));
  auto image = ClickableImageView::initWithFrame(NSMakeRect(70, 10, 50, 50));
  auto label = QLXLabel::initWithFrame(NSMakeRect(130, 10, 60, 20));
  auto button = QLXButton::initWithFrame(NSMakeRect(200, 10, 80, 30));
  auto box = CheckBoxControl::initWithFrame(NSMakeRect(10, 100, 200, 40));
  clickable->clickResponderDelegate = noter;
  image->clickResponderDelegate = noter;
  label->clickRespondingDelegate = noter;
  button->action = [](const std::shared_ptr<NSObject>&) { journal->push_back("clicked QLXButton"); };
  for (const auto& v : std::vector<std::shared_ptr<NSView>>{clickable, image, label, button, box}) below->addSubview(v);
  const std::pair<std::shared_ptr<NSView>, std::string> kinds[] = {
      {clickable, "clicked ClickableView"},
      {image, "clicked ClickableImageView"},
      {label, "clicked label"},
      {button, "clicked QLXButton"},
      {box->checkBox(), "ticked"},
  };
  enum class Release { onTheView, besideIt, offTheWindow, offTheWindowAfterEscape };
  const std::pair<Release, const char*> releases[] = {{Release::onTheView, "on the view"},
                                                      {Release::besideIt, "beside it"},
                                                      {Release::offTheWindow, "off the window"},
                                                      {Release::offTheWindowAfterEscape, "off the window after Escape"}};
  for (const auto& [view, click] : kinds) {
    for (const auto& [release, where] : releases) {
      SCOPED_TRACE(click + ", released " + where);
      heard.clear();
      box->reset();
      const NSPoint centre{view->bounds().midX(), view->bounds().midY()};
      const NSPoint beside = view->convertPoint(NSPoint{295, 195}, nullptr);  // a corner of the window
      const NSPoint away = view->convertPoint(NSPoint{-60, 250}, nullptr);
      switch (release) {
        case Release::onTheView: ui.click(view); break;
        case Release::besideIt: ui.drag(view, centre, beside); break;
        case Release::offTheWindow: ui.drag(view, centre, away); break;
        case Release::offTheWindowAfterEscape:
          ui.mouseDown(view);
          ui.pressEscape();
          ui.mouseUp(view, away);
          break;
      }
      if (box->isChecked) heard.push_back("ticked");
      EXPECT_EQ(heard, release == Release::onTheView ? std::vector<std::string>{click} : std::vector<std::string>{});
    }
  }
}

TEST_F(StyledControlsTest, ALabelReportsClicksToItsDelegateWhileItLives) {
  auto label = QLXLabel::initWithFrame(NSMakeRect(10, 100, 100, 20));
  below->addSubview(label);
  label->clickRespondingDelegate = noter;
  ui.click(label);
  EXPECT_EQ(heard, std::vector<std::string>{"clicked label"});
  noter.reset();
  heard.clear();
  ui.click(label);
  EXPECT_TRUE(heard.empty());
}

TEST_F(StyledControlsTest, ButtonsLabelsAndViewsKeepAnArrowPointer) {
  auto button = QLXButton::initWithFrame(NSMakeRect(0, 0, 80, 30));
  auto label = QLXLabel::initWithFrame(NSMakeRect(0, 0, 80, 30));
  auto view = QLXView::initWithFrame(NSMakeRect(0, 0, 80, 30));
  for (const auto& v : std::vector<std::shared_ptr<NSView>>{button, label, view}) {
    v->discardCursorRects();
    v->resetCursorRects();
    ASSERT_FALSE(v->cursorRects().empty()) << v->className();
    EXPECT_EQ(v->cursorRects().back().rect, v->bounds());
    EXPECT_EQ(v->cursorRects().back().cursor, NSCursor::arrowCursor());
  }
}

TEST_F(StyledControlsTest, ButtonStylingGoesToTheLayerAndTheTitle) {
  auto button = QLXButton::initWithFrame(NSMakeRect(0, 0, 80, 30));
  button->setCornerRadius(4.0);
  button->setBorderWidth(2.0);
  button->setBorderColor(NSColor::redColor());
  EXPECT_TRUE(button->wantsLayer());
  EXPECT_EQ(button->layer()->cornerRadius(), 4.0);
  EXPECT_EQ(button->layer()->borderColor(), NSColor::redColor()->CGColor());
  button->setBorderColor(nullptr);
  EXPECT_FALSE(button->layer()->borderColor());
  EXPECT_EQ(button->layer()->borderWidth(), 2.0) << "clearing the colour keeps the width";

  button->disableHighlight();
  EXPECT_EQ(asA<NSButtonCell>(button->cell())->highlightsBy(), 0);

  for (std::string title : {"Sign in", ""}) {
    button->setTitle(title);
    button->configureStylingForQLX();
    auto styled = button->attributedTitle();
    ASSERT_TRUE(styled);
    EXPECT_EQ(styled->string(), title);
    if (title.empty()) continue;
    auto colour = asA<NSColor>(styled->attributeAtIndex(NSForegroundColorAttributeName, 0));
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->CGColor(), NSColor::whiteColor()->CGColor());
    auto paragraph = asA<NSParagraphStyle>(styled->attributeAtIndex(NSParagraphStyleAttributeName, 0));
    ASSERT_TRUE(paragraph);
    EXPECT_EQ(paragraph->alignment(), NSTextAlignment::center);
  }
}

TEST_F(StyledControlsTest, AnOffsettableCellStartsTenPointsUpAndResizingViewsFillTheirLayers) {
  EXPECT_EQ(NSButtonCellOffsettable::initTextCell("Go")->verticalOffset, -10.0);
  EXPECT_EQ(NSButtonCellOffsettable::initImageCell(nullptr)->verticalOffset, -10.0);

  auto view = ResizingLayerBackedView::initWithFrame(NSMakeRect(0, 0, 40, 30));
  auto a = CALayer::layer();
  auto b = CALayer::layer();
  view->backingLayers = {a, b};
  view->setFrameSize(NSSize{120, 90});
  view->layout();
  EXPECT_EQ(a->frame(), NSMakeRect(0, 0, 120, 90));
  EXPECT_EQ(b->frame(), NSMakeRect(0, 0, 120, 90));
  EXPECT_FALSE(a->hasAnimations()) << "no implicit animation";
}

// The first picture row (from the top) holding a dark pixel of a title.
int firstInkRow(const std::shared_ptr<NSImage>& image) {
  for (int y = 0; y < image->pixelHeight(); ++y)
    for (int x = 0; x < image->pixelWidth(); ++x)
      if (auto p = image->pixelAt(x, y); p[3] > 0 && p[0] < 128) return y;
  return -1;
}

TEST_F(StyledControlsTest, AnOffsettableCellDrawsItsTitleRaisedByItsOffset) {
  auto titleRow = [](const std::shared_ptr<NSButtonCell>& cell) {
    auto button = NSButton::initWithFrame(NSMakeRect(0, 0, 120, 60));
    cell->setFont(NSFont::fontWithName("AvenirNext-DemiBold", 15.0));
    button->setCell(cell);
    button->setBordered(false);
    return firstInkRow(ViewTreeRenderer::imageOfView(button));
  };
  const int plain = titleRow(NSButtonCell::initTextCell("Packs"));
  ASSERT_GT(plain, 10);
  EXPECT_EQ(titleRow(NSButtonCellOffsettable::initTextCell("Packs")), plain - 10);
  auto lowered = NSButtonCellOffsettable::initTextCell("Packs");
  lowered->verticalOffset = 6;
  EXPECT_EQ(titleRow(lowered), plain + 6);
}

TEST_F(StyledControlsTest, TheBackingViewReportsHoverAndATileLaidOutUnderTheRestingPointer) {
  auto tile = GifCellBackingView::initWithFrame(NSMakeRect(100, 50, 80, 80));
  below->addSubview(tile);
  tile->updateTrackingAreas();
  ui.moveMouseTo(tile);
  ui.moveMouseOutside(window);
  EXPECT_TRUE(heard.empty()) << "without a delegate enter and exit are ignored";

  auto hover = std::make_shared<HoverNoter>();
  tile->delegate = hover;
  ui.moveMouseTo(tile);
  ui.moveMouseOutside(window);
  EXPECT_EQ(heard, (std::vector<std::string>{"entered", "exited"}));

  heard.clear();
  ui.moveMouseTo(tile, NSPoint{10, 10});
  heard.clear();
  auto first = tile->trackingArea;
  tile->setFrameSize(NSSize{60, 60});
  tile->updateTrackingAreas();
  EXPECT_NE(tile->trackingArea, first);
  EXPECT_EQ(tile->trackingAreas().size(), 1u) << "only the newest area stays";
  EXPECT_EQ(tile->trackingArea->options(), 0x81u);
  EXPECT_EQ(heard, std::vector<std::string>{"entered"}) << "the resting pointer is inside";
}

}  // namespace
