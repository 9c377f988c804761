// The scrubber and Touch Bar models: a flow of items of their own sizes of which only the
// shown ones have views, reused as the strip slides, insertions that keep the views of the
// other items, taps, and a bar that makes, places and lets go of its items.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSScrubber.h"
#include "platform/appkit/NSScrubberLayout.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTouchBar.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TouchBarDump.h"
#include "tests/support/ViewDump.h"

namespace {

// Numbered items whose widths the test sets; it counts the views it had to make.
class Strip : public NSScrubberDataSource, public NSScrubberFlowLayoutDelegate, public NSTouchBarDelegate {
 public:
  std::vector<double> widths;
  std::vector<std::size_t> taps;
  std::shared_ptr<NSScrubber> made;
  int madeViews = 0;

  std::size_t numberOfItemsForScrubber(const std::shared_ptr<NSScrubber>&) override { return widths.size(); }
  std::shared_ptr<NSScrubberItemView> scrubberViewForItemAtIndex(const std::shared_ptr<NSScrubber>& scrubber,
                                                                 std::size_t index) override {
    auto view = std::static_pointer_cast<NSScrubberTextItemView>(scrubber->makeItemWithIdentifier("text", nullptr));
    view->setTitle(std::to_string(index));
    return view;
  }
  NSSize scrubberLayoutSizeForItemAtIndex(const std::shared_ptr<NSScrubber>& scrubber,
                                          const std::shared_ptr<NSScrubberLayout>&, std::size_t index) override {
    return {widths.at(index), scrubber->bounds().size.height};
  }
  void scrubberDidSelectItemAtIndex(const std::shared_ptr<NSScrubber>&, std::size_t index) override {
    taps.push_back(index);
  }
  std::shared_ptr<NSTouchBarItem> touchBarMakeItemForIdentifier(const std::shared_ptr<NSTouchBar>&,
                                                                const std::string& identifier) override {
    auto item = NSCustomTouchBarItem::initWithIdentifier(identifier);
    if (identifier == "label") {
      item->view = NSTextField::labelWithString("Done");
      return item;
    }
    if (identifier != "strip") return nullptr;
    made = scrubber(self.lock());
    item->view = made;
    return item;
  }

  std::shared_ptr<NSScrubber> scrubber(const std::shared_ptr<Strip>& owner) {
    auto strip = NSScrubber::initWithFrame(NSZeroRect);
    auto layout = NSScrubberFlowLayout::make();
    layout->setItemSpacing(4);
    strip->setScrubberLayout(layout);
    strip->registerClass([this] {
      ++madeViews;
      return NSScrubberTextItemView::initWithFrame(NSMakeRect(0, 0, 10, 30));
    }, "text");
    strip->setDelegate(owner);
    strip->setDataSource(owner);
    return strip;
  }
  std::weak_ptr<Strip> self;
};

class ScrubberTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    strip = std::make_shared<Strip>();
    strip->self = strip;
  }
  std::shared_ptr<Strip> strip;
};

TEST_F(ScrubberTest, OnlyShownItemsHaveViewsAndSlidingReusesThem) {
  strip->widths = std::vector<double>(30, 40.0);
  strip->widths[1] = 0;  // no area: never shown
  auto scrubber = strip->scrubber(strip);
  EXPECT_EQ(scrubber->numberOfItems(), 0u) << "nothing is asked before the scrubber has a size";
  scrubber->setFrame(NSMakeRect(0, 0, 200, 30));
  EXPECT_EQ(scrubber->numberOfItems(), 30u);
  EXPECT_DUMP(dumpTouchBarView(scrubber), "platform/appkit/expected/scrubber-strip.txt");
  EXPECT_EQ(scrubber->shownItemIndexes(), (std::vector<std::size_t>{0, 2, 3, 4, 5}));
  const int madeAtFirst = strip->madeViews;

  scrubber->scrollItemAtIndex(29, NSScrubberAlignment::trailing);
  EXPECT_EQ(scrubber->shownItemIndexes(), (std::vector<std::size_t>{25, 26, 27, 28, 29}));
  EXPECT_EQ(scrubber->itemViewForItemAtIndex(29)->frame(), NSMakeRect(160, 0, 40, 30));
  EXPECT_EQ(strip->madeViews, madeAtFirst) << "the views that slid out were handed out again";
  scrubber->scrollItemAtIndex(0, NSScrubberAlignment::center);
  EXPECT_EQ(scrubber->contentOffset(), 0) << "never slid before the first item";
}

TEST_F(ScrubberTest, InsertionsKeepTheOtherViewsAndMiscountsReload) {
  strip->widths = {40, 40};
  auto scrubber = strip->scrubber(strip);
  scrubber->setFrame(NSMakeRect(0, 0, 200, 30));
  auto second = scrubber->itemViewForItemAtIndex(1);
  scrubber->touchItemAtIndex(1);

  strip->widths.insert(strip->widths.begin(), 30.0);
  scrubber->insertItemsAtIndexes(NSIndexSet{0});
  EXPECT_EQ(scrubber->itemViewForItemAtIndex(2), second);
  EXPECT_EQ(scrubber->selectedIndex(), 2u);
  EXPECT_EQ(second->frame(), NSMakeRect(78, 0, 40, 30));
  EXPECT_EQ(std::static_pointer_cast<NSScrubberTextItemView>(scrubber->itemViewForItemAtIndex(0))->title(), "0");
  EXPECT_EQ(scrubber->subviews().front(), scrubber->itemViewForItemAtIndex(0)) << "subviews run in item order";

  strip->widths.push_back(10);
  strip->widths.push_back(10);
  scrubber->insertItemsAtIndexes(NSIndexSet{3});  // the source grew by two: reloaded
  EXPECT_EQ(scrubber->numberOfItems(), 5u);
  EXPECT_EQ(scrubber->shownItemIndexes().size(), 5u);
  EXPECT_EQ(std::static_pointer_cast<NSScrubberTextItemView>(scrubber->itemViewForItemAtIndex(4))->title(), "4");
}

TEST_F(ScrubberTest, TouchesReachTheDelegateForShownItemsOnly) {
  strip->widths = std::vector<double>(20, 50.0);
  auto scrubber = strip->scrubber(strip);
  scrubber->setFrame(NSMakeRect(0, 0, 120, 30));
  scrubber->touchItemAtIndex(1);
  scrubber->touchItemAtIndex(15);  // off the strip
  EXPECT_EQ(strip->taps, (std::vector<std::size_t>{1}));
  EXPECT_FALSE(scrubber->makeItemWithIdentifier("unknown", nullptr));
  EXPECT_TRUE(printed("NSScrubber: no item view is registered under the identifier \"unknown\""));
}

TEST_F(ScrubberTest, ABarMakesAndPlacesItsItemsAndLetsGoOfThoseThatLeave) {
  strip->widths = {100, 100};
  auto bar = NSTouchBar::make();
  bar->setDelegate(strip);
  bar->customizationIdentifier = "bar";
  bar->setDefaultItemIdentifiers({"label", "strip", "nothing"});
  auto label = asA<NSCustomTouchBarItem>(bar->itemForIdentifier("label"))->view;
  const double labelWidth = label->frame().size.width;
  EXPECT_EQ(strip->made->frame(), NSMakeRect(labelWidth, 0, NSTouchBar::Constants::width - labelWidth, 30));
  EXPECT_EQ(bar->items().size(), 2u) << "an identifier the delegate makes nothing for shows nothing";

  auto first = strip->made;
  bar->setDefaultItemIdentifiers({"label"});
  EXPECT_FALSE(bar->itemForIdentifier("strip")) << "an item off the bar is not found";
  bar->setDefaultItemIdentifiers({"strip"});
  EXPECT_NE(strip->made, first) << "an item that comes back is made anew";
  EXPECT_DUMP(dumpTouchBar(bar), "platform/appkit/expected/touch-bar-strip.txt");
}

}  // namespace
