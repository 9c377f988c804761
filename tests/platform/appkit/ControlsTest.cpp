// Cells and the simpler controls: text measurement and title rectangles, image placement,
// progress indicators, panels, and a view laid out under a resting pointer.

#include <gtest/gtest.h>

#include <functional>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSPanel.h"
#include "platform/appkit/NSProgressIndicator.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTrackingArea.h"
#include "platform/appkit/NSWindow.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class ControlsTest : public UITest {};

TEST_F(ControlsTest, TextCellsMeasureTheirTextWithTheirFont) {
  auto cell = NSTextFieldCell::initTextCell("Some text");
  cell->setFont(NSFont::systemFontOfSize(13));
  NSSize small = cell->cellSizeForBounds(NSMakeRect(0, 0, 500, 40));
  cell->setFont(NSFont::systemFontOfSize(26));
  NSSize large = cell->cellSizeForBounds(NSMakeRect(0, 0, 500, 40));
  EXPECT_GT(small.width, 0);
  EXPECT_GT(large.height, small.height * 1.5);
  EXPECT_GT(large.width, small.width * 1.5);

  cell->setStringValue("");
  EXPECT_GT(cell->cellSizeForBounds(NSMakeRect(0, 0, 500, 40)).height, 0) << "an empty cell still has a line";

  // The title sits inside the frame, inset at the sides.
  NSRect title = cell->titleRectForBounds(NSMakeRect(0, 0, 100, 40));
  EXPECT_GT(title.minX(), 0);
  EXPECT_LT(title.maxX(), 100);
  EXPECT_EQ(title.height(), 40);
}

TEST_F(ControlsTest, AWrappingCellGrowsTallerInANarrowFrame) {
  auto cell = NSTextFieldCell::initTextCell("a longer sentence that has to wrap onto several lines");
  cell->wraps = true;
  double wide = cell->cellSizeForBounds(NSMakeRect(0, 0, 1000, 0)).height;
  double narrow = cell->cellSizeForBounds(NSMakeRect(0, 0, 80, 0)).height;
  EXPECT_GT(narrow, wide * 2);
}

// A label drawn again and again shows the text it was built with until one of the things
// shown changes; the text then is what a new cell with the same settings shows.
TEST_F(ControlsTest, ATextCellShowsTheSameTextUntilWhatItShowsChanges) {
  using Change = std::function<void(NSTextFieldCell&)>;
  const std::pair<const char*, Change> changes[] = {
      {"text", [](NSTextFieldCell& c) { c.setStringValue("Another title"); }},
      {"font", [](NSTextFieldCell& c) { c.setFont(NSFont::systemFontOfSize(20)); }},
      {"colour", [](NSTextFieldCell& c) { c.textColor = NSColor::redColor(); }},
      {"another colour", [](NSTextFieldCell& c) { c.textColor = NSColor::blueColor(); }},
      {"alignment", [](NSTextFieldCell& c) { c.alignment = NSTextAlignment::center; }},
      {"line breaks", [](NSTextFieldCell& c) { c.lineBreakMode = NSLineBreakMode::byClipping; }},
      {"wrapping", [](NSTextFieldCell& c) { c.wraps = true; }},
      {"attributed value", [](NSTextFieldCell& c) {
         c.setAttributedStringValue(NSAttributedString::make("Styled", {{NSFontAttributeName, NSFont::systemFontOfSize(9)}}));
       }},
      {"plain text again", [](NSTextFieldCell& c) { c.setStringValue("Plain"); }},
      {"system font", [](NSTextFieldCell& c) { c.setFont(nullptr); }},
      {"no colour", [](NSTextFieldCell& c) { c.textColor = nullptr; }},
  };
  auto cell = NSTextFieldCell::initTextCell("Title");
  cell->textColor = NSColor::whiteColor();
  auto shown = cell->displayedText();
  EXPECT_EQ(cell->displayedText(), shown) << "drawn again, the text is not built again";
  std::vector<Change> applied{[](NSTextFieldCell& c) { c.textColor = NSColor::whiteColor(); }};
  for (const auto& [what, change] : changes) {
    change(*cell);
    applied.push_back(change);
    auto fresh = NSTextFieldCell::initTextCell("Title");
    for (const auto& step : applied) step(*fresh);
    auto now = cell->displayedText();
    EXPECT_FALSE(now->isEqualToAttributedString(*shown)) << what;
    EXPECT_TRUE(now->isEqualToAttributedString(*fresh->displayedText())) << what;
    shown = now;
  }
}

struct ScalingCase {
  const char* name;
  NSImageScaling scaling;
  NSImageAlignment alignment;
  NSRect expected;  // in a 100x50 view, for a 40x40 image (or 200x200 where noted)
  double imageSide;
};

TEST_F(ControlsTest, ImageViewsPlaceTheirImageByScalingAndAlignment) {
  const ScalingCase cases[] = {
      {"small image, shrink only: centred at its size", NSImageScaling::proportionallyDown, NSImageAlignment::center,
       NSMakeRect(30, 5, 40, 40), 40},
      {"large image, shrink only: fits the height", NSImageScaling::proportionallyDown, NSImageAlignment::center,
       NSMakeRect(25, 0, 50, 50), 200},
      {"up or down: grows to the height", NSImageScaling::proportionallyUpOrDown, NSImageAlignment::center,
       NSMakeRect(25, 0, 50, 50), 40},
      {"axes independently: fills", NSImageScaling::axesIndependently, NSImageAlignment::center,
       NSMakeRect(0, 0, 100, 50), 40},
      {"none, top left", NSImageScaling::none, NSImageAlignment::topLeft, NSMakeRect(0, 10, 40, 40), 40},
      {"none, bottom right", NSImageScaling::none, NSImageAlignment::bottomRight, NSMakeRect(60, 0, 40, 40), 40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int side = static_cast<int>(c.imageSide);
    auto image = NSImage::imageWithPixels(side, side, std::vector<std::uint8_t>(side * side * 4, 255));
    auto view = NSImageView::initWithFrame(NSMakeRect(0, 0, 100, 50));
    view->setImage(image);
    view->setImageScaling(c.scaling);
    view->imageAlignment = c.alignment;
    EXPECT_EQ(view->imageRect(), c.expected);
  }
  EXPECT_EQ(NSImageView::initWithFrame(NSMakeRect(0, 0, 10, 10))->imageRect(), NSZeroRect) << "no image, no rect";
}

TEST_F(ControlsTest, ProgressIndicatorsClampTheirValueAndTrackAnimation) {
  auto bar = NSProgressIndicator::initWithFrame(NSMakeRect(0, 0, 100, 10));
  bar->indeterminate = false;
  bar->setDoubleValue(150);
  EXPECT_EQ(bar->doubleValue(), 100);
  bar->setDoubleValue(-5);
  EXPECT_EQ(bar->doubleValue(), 0);
  bar->incrementBy(30);
  EXPECT_EQ(bar->doubleValue(), 30);
  EXPECT_FALSE(bar->isAnimating());
  bar->startAnimation(nullptr);
  EXPECT_TRUE(bar->isAnimating());
  bar->stopAnimation(nullptr);
  EXPECT_FALSE(bar->isAnimating());
}

TEST_F(ControlsTest, PanelsTakeTheKeyButNeverBecomeMain) {
  auto app = NSApplication::sharedApplication();
  auto main = NSWindow::initWithContentRect(NSMakeRect(0, 0, 100, 100), NSWindowStyleMaskTitled);
  auto panel = NSPanel::initWithContentRect(NSMakeRect(0, 0, 100, 100), NSWindowStyleMaskTitled);
  main->makeKeyAndOrderFront(nullptr);
  panel->makeKeyAndOrderFront(nullptr);
  EXPECT_EQ(app->keyWindow(), panel);
  EXPECT_EQ(app->mainWindow(), main);
  EXPECT_EQ(panel->className(), "NSPanel");
}

// The hover pattern of the grid's tiles: rebuild the tracking area on every geometry
// change and, when the pointer already rests inside, report the entry at once.
class HoverView : public NSView {
 public:
  static std::shared_ptr<HoverView> make(NSRect frame) {
    return finishInit(std::shared_ptr<HoverView>(new HoverView(frame)));
  }
  std::shared_ptr<NSTrackingArea> area;
  int entered = 0, exited = 0;
  void updateTrackingAreas() override {
    if (area) removeTrackingArea(area);
    area = NSTrackingArea::initWithRect(bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways,
                                        sharedAs<NSObject>(), nullptr);
    addTrackingArea(area);
    if (auto w = window()) {
      NSPoint p = convertPoint(w->mouseLocationOutsideOfEventStream(), nullptr);
      if (NSPointInRect(p, bounds())) mouseEntered(NSEvent::make());
    }
    NSView::updateTrackingAreas();
  }
  void mouseEntered(const std::shared_ptr<NSEvent>&) override { ++entered; }
  void mouseExited(const std::shared_ptr<NSEvent>&) override { ++exited; }

 private:
  using NSView::NSView;
};

TEST_F(ControlsTest, AViewLaidOutUnderARestingPointerHearsTheEntryAtOnce) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(200, 100, 300, 200), NSWindowStyleMaskTitled);
  window->makeKeyAndOrderFront(nullptr);
  ui.moveMouse(window, {50, 50});
  auto tile = HoverView::make(NSMakeRect(200, 150, 40, 40));
  window->contentView()->addSubview(tile);
  drainMainQueue();
  EXPECT_EQ(tile->entered, 0);

  tile->setFrameOrigin({30, 30});  // now under the pointer
  drainMainQueue();
  EXPECT_EQ(tile->entered, 1);
  tile->setFrameSize({50, 50});
  drainMainQueue();
  EXPECT_EQ(tile->entered, 2) << "each rebuild while the pointer stays inside reports once";
  EXPECT_EQ(tile->trackingAreas().size(), 1u) << "only the newest area is kept";

  ui.moveMouse(window, {51, 51});
  EXPECT_EQ(tile->entered, 2) << "the new area knew the pointer was inside";
  ui.moveMouse(window, {150, 150});
  EXPECT_EQ(tile->exited, 1);
}

// A tile that hears the pointer through the image it shows.
class PressedView : public NSView {
 public:
  static std::shared_ptr<PressedView> make(NSRect frame) {
    return finishInit(std::shared_ptr<PressedView>(new PressedView(frame)));
  }
  std::vector<std::string> heard;
  void mouseDown(const std::shared_ptr<NSEvent>&) override { heard.push_back("down"); }
  void mouseDragged(const std::shared_ptr<NSEvent>&) override { heard.push_back("dragged"); }
  void mouseUp(const std::shared_ptr<NSEvent>&) override { heard.push_back("up"); }

 private:
  using NSView::NSView;
};

TEST_F(ControlsTest, AnImageViewThatOnlyShowsPassesPressDragAndReleaseToWhatHoldsIt) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 200, 200), NSWindowStyleMaskTitled);
  auto tile = PressedView::make(NSMakeRect(0, 0, 100, 100));
  auto image = NSImageView::initWithFrame(tile->bounds());
  tile->addSubview(image);
  window->contentView()->addSubview(tile);
  ui.drag(image, {50, 50}, {60, 50}, 2);
  EXPECT_EQ(tile->heard, (std::vector<std::string>{"down", "dragged", "dragged", "up"}));
}

}  // namespace
