// Status items line up from the right end of the bar, and a popover lands beside its
// anchor on the side asked for when the display has room, else on the other side, and is
// kept on the display.

#include <gtest/gtest.h>

#include "platform/appkit/NSPopover.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSStatusBar.h"
#include "platform/appkit/NSViewController.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class PopoverTest : public UITest {
 protected:
  void TearDown() override {
    NSStatusBar::resetSystemStatusBar();
    UITest::TearDown();
  }
  // Where a 200 × 100 popover lands for an anchor view of 40 × 20 at `origin` on screen.
  std::string place(NSPoint origin, NSRectEdge edge, bool flipped = false) {
    auto window = NSWindow::initWithContentRect(NSMakeRect(origin.x, origin.y, 40, 20), NSWindowStyleMaskBorderless);
    auto anchor = NSView::initWithFrame(NSMakeRect(0, 0, 40, 20));
    anchor->setFlipped(flipped);
    window->contentView()->addSubview(anchor);
    auto content = NSViewController::make();
    content->setView(NSView::initWithFrame(NSMakeRect(0, 0, 200, 100)));
    auto popover = NSPopover::make();
    popover->setContentViewController(content);
    popover->showRelativeToRect(anchor->bounds(), anchor, edge);
    NSRect f = popover->window()->frame();
    return dumpNumber(f.minX()) + " " + dumpNumber(f.minY());
  }
};

TEST_F(PopoverTest, APopoverLandsOnTheAskedSideWhenItFitsAndStaysOnTheDisplay) {
  // The display is 1440 × 900.
  struct Case {
    const char* what;
    NSPoint origin;
    NSRectEdge edge;
    bool flipped;
    const char* expected;
  };
  const Case cases[] = {
      {"under the anchor, centred", {600, 800}, NSRectEdge::minY, false, "520 700"},
      {"above it", {600, 400}, NSRectEdge::maxY, false, "520 420"},
      {"no room below: above", {600, 50}, NSRectEdge::minY, false, "520 70"},
      {"no room above: below", {600, 850}, NSRectEdge::maxY, false, "520 750"},
      {"a flipped view's low edge is its top", {600, 400}, NSRectEdge::minY, true, "520 420"},
      {"at the right end: kept on the display", {1420, 800}, NSRectEdge::minY, false, "1240 700"},
      {"to the right", {600, 400}, NSRectEdge::maxX, false, "640 360"},
      {"no room to the left: right", {50, 400}, NSRectEdge::minX, false, "90 360"},
  };
  for (const auto& c : cases) EXPECT_EQ(place(c.origin, c.edge, c.flipped), c.expected) << c.what;
}

TEST_F(PopoverTest, StatusItemsLineUpFromTheRightEndOfTheBarAndClosingHidesThePopover) {
  auto bar = NSStatusBar::systemStatusBar();
  auto first = bar->statusItemWithLength(40);
  auto second = bar->statusItemWithLength(30);
  EXPECT_EQ(first->window()->frame(), NSMakeRect(1400, 878, 40, 22));
  EXPECT_EQ(second->window()->frame(), NSMakeRect(1370, 878, 30, 22));
  first->setLength(50);
  EXPECT_EQ(second->window()->frame(), NSMakeRect(1360, 878, 30, 22));
  bar->removeStatusItem(first);
  EXPECT_EQ(second->window()->frame(), NSMakeRect(1410, 878, 30, 22));
  EXPECT_FALSE(first->window()->isVisible());

  auto popover = NSPopover::make();
  auto content = NSViewController::make();
  content->setView(NSView::initWithFrame(NSMakeRect(0, 0, 300, 200)));
  popover->setContentViewController(content);
  popover->showRelativeToRect(second->view()->bounds(), second->view(), NSRectEdge::minY);
  ASSERT_TRUE(popover->isShown());
  EXPECT_EQ(popover->window()->frame(), NSMakeRect(1140, 678, 300, 200));
  EXPECT_TRUE(popover->window()->isKeyWindow()) << "fields in a popover can be typed in";
  popover->performClose(nullptr);
  EXPECT_FALSE(popover->isShown());
  EXPECT_FALSE(popover->window()->isVisible());
}

}  // namespace
