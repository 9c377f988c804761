// Frames, bounds and flipping; conversion between views; autoresizing; hit testing and
// the order of subviews.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class ViewGeometryTest : public UITest {};

std::shared_ptr<NSView> viewAt(double x, double y, double w, double h, bool flipped = false) {
  auto view = NSView::initWithFrame(NSMakeRect(x, y, w, h));
  view->setFlipped(flipped);
  return view;
}

struct ConversionCase {
  const char* name;
  bool parentFlipped;
  bool childFlipped;
  NSPoint inChild;
  NSPoint expectedInParent;
};

TEST_F(ViewGeometryTest, PointsConvertBetweenFlippedAndUnflippedViews) {
  // Parent 200x100; child at (20, 10) sized 50x40 in the parent's coordinates.
  const ConversionCase cases[] = {
      {"both unflipped", false, false, {5, 5}, {25, 15}},
      {"both flipped", true, true, {5, 5}, {25, 15}},
      {"flipped child in unflipped parent: child y runs down from the top edge", false, true, {5, 5}, {25, 45}},
      {"unflipped child in flipped parent: child y runs up from the bottom edge", true, false, {5, 5}, {25, 45}},
      {"origin of a flipped child is its top left", false, true, {0, 0}, {20, 50}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto parent = viewAt(0, 0, 200, 100, c.parentFlipped);
    auto child = viewAt(20, 10, 50, 40, c.childFlipped);
    parent->addSubview(child);
    NSPoint up = child->convertPointToView(c.inChild, parent);
    EXPECT_DOUBLE_EQ(up.x, c.expectedInParent.x);
    EXPECT_DOUBLE_EQ(up.y, c.expectedInParent.y);
    NSPoint back = child->convertPoint(up, parent);
    EXPECT_DOUBLE_EQ(back.x, c.inChild.x);
    EXPECT_DOUBLE_EQ(back.y, c.inChild.y);
  }
}

TEST_F(ViewGeometryTest, ConversionThroughTheWindowAndBetweenCousins) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(100, 100, 300, 200), NSWindowStyleMaskBorderless);
  auto content = window->contentView();
  auto left = viewAt(0, 0, 100, 200, true);
  auto right = viewAt(150, 50, 100, 100);
  content->addSubview(left);
  content->addSubview(right);

  // The window's base coordinates have their origin at the bottom left.
  NSPoint base = left->convertPointToView({10, 10}, nullptr);
  EXPECT_DOUBLE_EQ(base.x, 10);
  EXPECT_DOUBLE_EQ(base.y, 190);
  NSPoint inRight = right->convertPoint({10, 10}, left);
  EXPECT_DOUBLE_EQ(inRight.x, -140);
  EXPECT_DOUBLE_EQ(inRight.y, 140);
  NSRect rect = left->convertRectToView(NSMakeRect(0, 0, 20, 30), nullptr);
  EXPECT_EQ(rect, NSMakeRect(0, 170, 20, 30));
  EXPECT_EQ(window->convertPointToScreen(base), (NSPoint{110, 290}));
}

TEST_F(ViewGeometryTest, BoundsOriginAndScaleShiftTheViewsOwnCoordinates) {
  auto parent = viewAt(0, 0, 200, 200);
  auto child = viewAt(10, 10, 100, 100);
  parent->addSubview(child);
  child->setBoundsOrigin({50, 0});
  EXPECT_EQ(child->convertPointToView({50, 0}, parent), (NSPoint{10, 10}));
  child->setBoundsSize({50, 50});  // two points of frame per point of bounds
  EXPECT_EQ(child->convertPointToView({60, 10}, parent), (NSPoint{30, 30}));
  EXPECT_EQ(child->frame().size, (NSSize{100, 100}));
}

struct AutoresizeCase {
  const char* name;
  NSAutoresizingMaskOptions mask;
  NSRect expected;  // child frame after the parent grows from 200x100 to 300x160
};

TEST_F(ViewGeometryTest, AutoresizingSharesTheChangeAmongFlexibleParts) {
  // Child at (20, 10) 100x40: left margin 20, right margin 80; bottom 10, top 50.
  const AutoresizeCase cases[] = {
      {"fixed", NSViewNotSizable, NSMakeRect(20, 10, 100, 40)},
      {"flexible width", NSViewWidthSizable, NSMakeRect(20, 10, 200, 40)},
      {"flexible left margin", NSViewMinXMargin, NSMakeRect(120, 10, 100, 40)},
      {"flexible right margin", NSViewMaxXMargin, NSMakeRect(20, 10, 100, 40)},
      {"flexible height and bottom", NSViewHeightSizable | NSViewMinYMargin, NSMakeRect(20, 22, 100, 88)},
      {"width and both margins in proportion", NSViewMinXMargin | NSViewWidthSizable | NSViewMaxXMargin,
       NSMakeRect(30, 10, 150, 40)},
      {"fill", NSViewWidthSizable | NSViewHeightSizable, NSMakeRect(20, 10, 200, 100)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto parent = viewAt(0, 0, 200, 100);
    auto child = viewAt(20, 10, 100, 40);
    child->autoresizingMask = c.mask;
    parent->addSubview(child);
    parent->setFrameSize({300, 160});
    EXPECT_EQ(child->frame(), c.expected) << describeView(*child);
  }
}

TEST_F(ViewGeometryTest, AutoresizingCanBeTurnedOffAndShrinkingNeverGoesNegative) {
  auto parent = viewAt(0, 0, 200, 100);
  auto child = viewAt(20, 10, 100, 40);
  child->autoresizingMask = NSViewWidthSizable;
  parent->addSubview(child);
  parent->autoresizesSubviews = false;
  parent->setFrameSize({300, 100});
  EXPECT_EQ(child->frame().size.width, 100);
  parent->autoresizesSubviews = true;
  parent->setFrameSize({10, 100});
  EXPECT_GE(child->frame().size.width, 0);
}

TEST_F(ViewGeometryTest, HitTestingFindsTheFrontmostVisibleViewAndSkipsHiddenOnes) {
  auto root = viewAt(0, 0, 200, 200);
  auto back = viewAt(0, 0, 100, 100);
  auto front = viewAt(50, 50, 100, 100);
  auto inner = viewAt(10, 10, 20, 20);
  root->addSubview(back);
  root->addSubview(front);
  front->addSubview(inner);

  EXPECT_EQ(root->hitTest({120, 120}), front);
  EXPECT_EQ(root->hitTest({65, 65}), inner);
  EXPECT_EQ(root->hitTest({25, 25}), back);
  EXPECT_EQ(root->hitTest({190, 10}), root);
  EXPECT_EQ(root->hitTest({250, 10}), nullptr);

  front->setHidden(true);
  EXPECT_EQ(root->hitTest({120, 120}), root);
  EXPECT_EQ(root->hitTest({65, 65}), back) << "the subview of a hidden view is hidden too";
  front->setHidden(false);
  front->setAlphaValue(0.0);
  EXPECT_EQ(root->hitTest({65, 65}), back) << "a view faded out, with its subviews, lets clicks through";
  front->setAlphaValue(0.01);
  EXPECT_EQ(root->hitTest({65, 65}), inner) << "a faint view still takes them";
}

TEST_F(ViewGeometryTest, SubviewsKeepTheOrderTheyWerePlacedIn) {
  auto root = viewAt(0, 0, 100, 100);
  auto a = viewAt(0, 0, 10, 10);
  auto b = viewAt(0, 0, 10, 10);
  auto c = viewAt(0, 0, 10, 10);
  auto d = viewAt(0, 0, 10, 10);
  root->addSubview(a);
  root->addSubview(b);
  root->addSubview(c, NSWindowOrderingMode::below, b);
  root->addSubview(d, NSWindowOrderingMode::below, nullptr);
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<NSView>>{d, a, c, b}));
  root->addSubview(d, NSWindowOrderingMode::above, a);
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<NSView>>{a, d, c, b}));
  root->addSubview(a);
  EXPECT_EQ(root->subviews().back(), a) << "adding a subview again brings it to the front";

  auto other = viewAt(0, 0, 10, 10);
  other->addSubview(c);
  EXPECT_EQ(c->superview(), other);
  EXPECT_EQ(root->subviews().size(), 3u);
  c->addSubview(other);
  EXPECT_EQ(other->superview(), nullptr) << "a view cannot hold its own ancestor";
  b->removeFromSuperview();
  EXPECT_EQ(b->superview(), nullptr);
  EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<NSView>>{d, a}));
}

TEST_F(ViewGeometryTest, FrameChangesAreAnnouncedOnlyWhenTheFrameMoves) {
  auto view = viewAt(0, 0, 10, 10);
  int heard = 0;
  auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
      NSView::Constants::frameDidChangeNotification, view, nullptr, [&](const auto&) { ++heard; });
  view->setFrame(NSMakeRect(0, 0, 10, 10));
  view->setFrameOrigin({5, 5});
  view->setFrameSize({20, 20});
  EXPECT_EQ(heard, 2);
  view->postsFrameChangedNotifications = false;
  view->setFrameSize({30, 30});
  EXPECT_EQ(heard, 2);
}

TEST_F(ViewGeometryTest, VisibleRectIsClippedBySuperviews) {
  auto root = viewAt(0, 0, 100, 100);
  auto child = viewAt(80, -10, 50, 50);
  root->addSubview(child);
  EXPECT_EQ(child->visibleRect(), NSMakeRect(0, 10, 20, 40));
  child->setHidden(true);
  EXPECT_TRUE(child->visibleRect().isEmpty());
}

TEST_F(ViewGeometryTest, DumpShowsClassFrameHiddenAlphaAndText) {
  auto root = viewAt(0, 0, 200, 100);
  auto child = viewAt(10, 20, 30, 40);
  child->setHidden(true);
  auto faded = viewAt(1.5, 0, 2, 2);
  faded->setAlphaValue(0.5);
  root->addSubview(child);
  child->addSubview(faded);
  EXPECT_EQ(dumpViewTree(root),
            "NSView (0, 0, 200, 100)\n"
            "  NSView (10, 20, 30, 40) hidden\n"
            "    NSView (1.5, 0, 2, 2) alpha=0.5\n");
  EXPECT_EQ(dumpViewTree(root, {.skipHidden = true}), "NSView (0, 0, 200, 100)\n");
}

TEST_F(ViewGeometryTest, ADumpThatDiffersFailsWithTheChangedLines) {
  EXPECT_EQ(lineDiff("a\nb\nc\nd\ne\n", "a\nb\nC\nd\ne\n"), "...\n  b\n- c\n+ C\n  d\n...\n");
  const char* update = std::getenv("GLIMDECK_UPDATE_DUMPS");
  std::string saved = update ? update : "";
  unsetenv("GLIMDECK_UPDATE_DUMPS");
  auto missing = matchesDump("x\n", "platform/appkit/expected/no-such-dump.txt");
  if (update) setenv("GLIMDECK_UPDATE_DUMPS", saved.c_str(), 1);
  EXPECT_FALSE(missing);
  EXPECT_NE(std::string(missing.message()).find("GLIMDECK_UPDATE_DUMPS=1"), std::string::npos);
}

}  // namespace
