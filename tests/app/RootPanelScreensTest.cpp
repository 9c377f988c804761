// The panel's screens over one another, through the simulator against the stand-in: a
// search shows the whole toolbar however far home had slid it away, and its results slide
// it as home does; a click that copies a GIF says so, whatever its tile said before.

#include <gtest/gtest.h>

#include "browse/GifCell.h"
#include "model/VNTag.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSTextField.h"
#include "tests/app/RootPanelFixture.h"

namespace {

class RootPanelScreensTest : public RootPanelTest {
 protected:
  // The toolbar and the strip as laid out: "toolbar 0 strip 5".
  std::string collapse() {
    window->layoutIfNeeded();
    return "toolbar " + dumpNumber(panel->topToolbarConstraint.lock()->constant()) + " strip " +
           dumpNumber(panel->trendingSearchesContainerTopConstraint.lock()->constant());
  }
  std::shared_ptr<GifCollectionViewController> results() { return panel->searchViewController()->contentCollectionView; }
  bool resultsShown() {
    return runUntil([&] { return !results()->mainSection().empty() && !results()->fetchLock(); });
  }
  std::shared_ptr<GifCell> tileOf(const std::shared_ptr<NSCollectionView>& collection, std::size_t index) {
    collection->layoutSubtreeIfNeeded();
    return asA<GifCell>(collection->itemAtIndexPath(NSIndexPath::indexPathForItem(index, 0)));
  }
  static std::string confirmation(const std::shared_ptr<GifCell>& cell) {
    return cell->copyConfirmContainer.lock()->alphaValue() == 1.0 ? cell->copyConfirmLabel.lock()->stringValue()
                                                                   : "(none)";
  }
};

TEST_F(RootPanelScreensTest, ASearchShowsTheToolbarHomeSlidAwayAndItsResultsSlideItAsHomeDoes) {
  show();
  auto tag = asA<VNTag>(panel->contentCollectionView->mainSection().front());
  ASSERT_TRUE(tag);
  const std::pair<const char*, std::function<void()>> searches[] = {
      {"typed term", [&] { panel->performSearchWithTerm("cats", true); }},
      {"tag", [&] { panel->performSearchWithTag(tag, true); }},
  };
  for (const auto& [name, search] : searches) {
    ui.click(panel->logoButton.lock());
    panel->gifCollectionScrollViewDidScroll(nullptr, 0, 300);  // home scrolled down a long way
    ASSERT_EQ(collapse(), "toolbar -50 strip -85") << name;

    search();
    ASSERT_TRUE(resultsShown()) << name;
    EXPECT_EQ(collapse(), "toolbar 0 strip 5") << name;
    // The settings menu's button takes the click where it shows.
    EXPECT_TRUE(ui.openMenuWith(panel->moreButton.lock())) << name;
    ui.dismissMenu();

    auto collection = results()->mainCollectionView.lock();
    ui.scrollWheel(collection, 0, -60, NSMakePoint(100, collection->visibleRect().origin.y + 100));
    EXPECT_EQ(collapse(), "toolbar -50 strip -55") << name << ": scrolled down";
    ui.scrollWheel(collection, 0, 10, NSMakePoint(100, collection->visibleRect().origin.y + 100));
    EXPECT_EQ(collapse(), "toolbar -40 strip -55") << name << ": and back up a little";
  }
  // Left with Escape while the results had slid it away, home shows the whole toolbar too.
  ui.click(panel->searchTextField.lock());
  ui.pressEscape();
  ASSERT_EQ(panel->state, RootViewController::DisplayState::home);
  EXPECT_EQ(collapse().substr(0, 9), "toolbar 0");
  EXPECT_TRUE(ui.openMenuWith(panel->moreButton.lock()));
  ui.dismissMenu();
}

TEST_F(RootPanelScreensTest, AClickThatCopiesAGifSaysSoWhateverItsTileSaidBefore) {
  show();
  panel->performSearchWithTerm("cats", true);
  ASSERT_TRUE(resultsShown());
  auto cell = tileOf(results()->mainCollectionView.lock(), 0);
  ASSERT_TRUE(cell);
  ui.moveMouseTo(cell->view());
  ASSERT_TRUE(ui.openMenuWith(cell->moreOptionButton.lock()));
  ASSERT_TRUE(ui.chooseMenuItem({"Copy Link"}));
  ASSERT_EQ(confirmation(cell), "Copied link to clipboard!");
  const auto linked = NSPasteboard::generalPasteboard()->changeCount();
  ui.click(cell->view());
  EXPECT_EQ(confirmation(cell), "Copied to clipboard!");
  EXPECT_GT(NSPasteboard::generalPasteboard()->changeCount(), linked) << "the click copied the GIF";

  // The strip's tiles say it their own way.
  auto strip = panel->focusedSearchController();
  ui.click(panel->logoButton.lock());
  ASSERT_TRUE(runUntil([&] { return !strip->contentList[0].empty() && !strip->trendingRequesterFetchLock; }));
  auto stripTile = tileOf(strip->mainCollectionView.lock(), 0);
  ASSERT_TRUE(stripTile);
  ui.click(stripTile->view());
  EXPECT_EQ(confirmation(stripTile), "Copied!");
}

}  // namespace
