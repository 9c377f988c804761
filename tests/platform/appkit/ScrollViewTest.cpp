// Scroll views: the wheel moves within the document and announces live scrolling; code
// scrolls silently.

#include <gtest/gtest.h>

#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "tests/support/UISimulator.h"

namespace {

class ScrollViewTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 200), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    scrollView = NSScrollView::initWithFrame(NSMakeRect(0, 0, 300, 200));
    document = NSView::initWithFrame(NSMakeRect(0, 0, 300, 1000));
    document->setFlipped(true);
    scrollView->setDocumentView(document);
    window->contentView()->addSubview(scrollView);
    for (auto name : {NSScrollView::Constants::willStartLiveScrollNotification,
                      NSScrollView::Constants::didLiveScrollNotification,
                      NSScrollView::Constants::didEndLiveScrollNotification})
      tokens.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
          name, nullptr, nullptr, [this, name](const std::shared_ptr<NSNotification>& note) {
            heard.push_back(std::string(name.substr(12)) + (note->object() == scrollView ? "" : " (other object)"));
          }));
  }
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<NSScrollView> scrollView;
  std::shared_ptr<NSView> document;
  std::vector<id> tokens;
  std::vector<std::string> heard;
};

TEST_F(ScrollViewTest, TheWheelMovesWithinTheDocumentAndAnnouncesLiveScrolling) {
  ui.scrollWheel(document, 0, -150, NSMakePoint(150, scrollView->contentOffset().y + 10));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(0, 150));
  EXPECT_EQ(scrollView->documentVisibleRect(), NSMakeRect(0, 150, 300, 200));
  EXPECT_EQ(heard, (std::vector<std::string>{"WillStartLiveScrollNotification", "DidLiveScrollNotification",
                                             "DidEndLiveScrollNotification"}));
  // Past either end the position stops at the end.
  ui.scrollWheel(document, 0, -5000, NSMakePoint(150, scrollView->contentOffset().y + 10));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(0, 800));
  ui.scrollWheel(document, 0, 9000, NSMakePoint(150, scrollView->contentOffset().y + 10));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(0, 0));
}

TEST_F(ScrollViewTest, AViewThatMovesOnlySidewaysTakesThePlainWheelSidewaysAndAStillStepSaysNothing) {
  document->setFrameSize(NSMakeSize(1000, 200));  // as high as the view: it can only move sideways
  struct Step {
    double dx, dy;
    NSPoint offset;
    std::size_t announced;  // live scrolls heard so far
  };
  const Step steps[] = {
      {0, -150, {150, 0}, 1},  // the wheel down moves it on to the right
      {0, 100, {50, 0}, 2},    // and up back to the left
      {-30, 0, {80, 0}, 3},    // a sideways wheel still moves it sideways
      {0, -5000, {700, 0}, 4}, // to the end and no further
      {0, -20, {700, 0}, 4},   // at the end a step moves nothing and announces nothing
      {-20, 0, {700, 0}, 4},
  };
  for (const auto& step : steps) {
    ui.scrollWheel(document, step.dx, step.dy, NSMakePoint(scrollView->contentOffset().x + 10, 10));
    EXPECT_EQ(scrollView->contentOffset(), step.offset) << step.dx << " " << step.dy;
    EXPECT_EQ(heard.size(), 3 * step.announced) << step.dx << " " << step.dy;
  }
  // A document that moves up and down keeps the wheel's own direction, and says nothing at its top.
  document->setFrameSize(NSMakeSize(1000, 1000));
  scrollView->scrollToPoint(NSZeroPoint);
  heard.clear();
  ui.scrollWheel(document, 0, 40, NSMakePoint(10, 10));
  EXPECT_TRUE(heard.empty());
  ui.scrollWheel(document, 0, -40, NSMakePoint(10, 10));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(0, 40));
  EXPECT_EQ(heard.size(), 3u);
}

TEST_F(ScrollViewTest, ScrollingByCodeMovesAtOnceAndPostsNothing) {
  scrollView->scrollToPoint(NSMakePoint(0, 420));
  EXPECT_EQ(scrollView->documentVisibleRect(), NSMakeRect(0, 420, 300, 200));
  scrollView->scrollToPoint(NSMakePoint(-10, 5000));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(0, 800));
  EXPECT_TRUE(heard.empty());
}

TEST_F(ScrollViewTest, HiddenScrollersLeaveTheWheelWorking) {
  document->setFrameSize(NSMakeSize(900, 1000));
  for (const auto& scroller : {scrollView->verticalScroller(), scrollView->horizontalScroller()}) scroller->setAlphaValue(0.0);
  scrollView->hasVerticalScroller = false;
  scrollView->hasHorizontalScroller = false;
  ui.scrollWheel(document, -40, -100, NSMakePoint(150, 10));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(40, 100));
  EXPECT_EQ(scrollView->verticalScroller()->alphaValue(), 0.0);
}

TEST_F(ScrollViewTest, ADocumentSmallerThanTheViewStaysAtTheTop) {
  document->setFrameSize(NSMakeSize(300, 50));
  ui.scrollWheel(document, 0, -100, NSMakePoint(150, scrollView->contentOffset().y + 10));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(0, 0));
  EXPECT_EQ(scrollView->documentVisibleRect(), NSMakeRect(0, 0, 300, 50));
}

}  // namespace
