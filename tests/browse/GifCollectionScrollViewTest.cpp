// The grid's scroll view: switching it off stops the wheel but not scrolling by code.

#include <gtest/gtest.h>

#include "browse/GifCollectionScrollView.h"
#include "platform/appkit/NSWindow.h"
#include "tests/support/UISimulator.h"

namespace {

class GifCollectionScrollViewTest : public UITest {};

TEST_F(GifCollectionScrollViewTest, ADisabledViewIgnoresTheWheelButNotCode) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 200), NSWindowStyleMaskTitled);
  window->makeKeyAndOrderFront(nullptr);
  auto scrollView = GifCollectionScrollView::initWithFrame(NSMakeRect(0, 0, 300, 200));
  auto document = NSView::initWithFrame(NSMakeRect(0, 0, 300, 1000));
  document->setFlipped(true);
  scrollView->setDocumentView(document);
  window->contentView()->addSubview(scrollView);
  EXPECT_TRUE(scrollView->isEnabled);

  scrollView->isEnabled = false;
  ui.scrollWheel(document, 0, -100, NSMakePoint(150, scrollView->contentOffset().y + 10));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(0, 0));
  scrollView->scrollToPoint(NSMakePoint(0, 300));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(0, 300));

  scrollView->isEnabled = true;
  ui.scrollWheel(document, 0, -100, NSMakePoint(150, scrollView->contentOffset().y + 10));
  EXPECT_EQ(scrollView->contentOffset(), NSMakePoint(0, 400));
}

}  // namespace
