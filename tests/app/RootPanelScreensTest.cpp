// The panel's screens over one another, through the simulator against the stand-in: a
// search shows the whole toolbar however far home had slid it away, and its results slide
// it as home does; every way home shows the toolbar and the strip whole; the suggestion list
// hangs below the search field wherever the toolbar has slid it; a click that copies a GIF
// says so, whatever its tile said before.

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
  // Wheel notches (20 points each, down when negative) over a grid, each followed by the
  // layout a display pass makes before the next event.
  void wheel(const std::shared_ptr<GifCollectionViewController>& grid, int notches) {
    auto collection = grid->mainCollectionView.lock();
    for (int i = 0; i < std::abs(notches); ++i) {
      const NSPoint inside = NSMakePoint(100, collection->visibleRect().origin.y + 100);
      ui.scrollWheel(collection, 0, notches < 0 ? -20 : 20, inside);
      window->layoutIfNeeded();
    }
  }
  // How far the suggestion list's top edge lies below the search field's bottom edge (points;
  // negative when it reaches up over the field).
  double listBelowField() {
    window->layoutIfNeeded();
    auto root = panel->view();
    auto field = panel->searchTextField.lock();
    const NSRect fieldFrame = root->convertRect(field->bounds(), field);
    const NSRect list = panel->autosuggestCollectionViewController->view()->frame();
    return fieldFrame.minY() - list.maxY();
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

// Escape and the back button also end the search session.
TEST_F(RootPanelScreensTest, EveryWayHomeFromResultsThatSlidTheToolbarAndTheStripAwayShowsThemWhole) {
  show();
  struct Way {
    const char* name;
    std::function<void()> goHome;
    bool endsSession;
  };
  const Way ways[] = {
      {"Escape", [&] {
         ui.click(panel->searchTextField.lock());
         ui.pressEscape();
       }, true},
      {"back", [&] { ui.click(panel->backButton.lock()); }, true},
      {"logo", [&] { ui.click(panel->logoButton.lock()); }, false},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    panel->searchCategory = "search";
    panel->searchAction = "qwerty";
    panel->performSearchWithTerm("cats", true);
    ASSERT_TRUE(resultsShown());
    drainMainQueue();
    wheel(results(), -40);
    ASSERT_EQ(collapse(), "toolbar -50 strip -85") << "the results slid both away";
    // A little way back up brings the toolbar, and its logo, before the strip.
    wheel(results(), 2);
    ASSERT_EQ(collapse().substr(0, 9), "toolbar 0");
    ASSERT_NE(collapse(), "toolbar 0 strip 5");

    way.goHome();
    ASSERT_EQ(panel->state, RootViewController::DisplayState::home);
    EXPECT_EQ(collapse(), "toolbar 0 strip 5");
    EXPECT_EQ(panel->searchTextField.lock()->stringValue(), "");
    EXPECT_EQ(panel->touchBarState(), RootViewController::TouchBarState::home);
    EXPECT_EQ(panel->backButtonWidthConstraint.lock()->constant(), 0);
    if (way.endsSession) {
      EXPECT_EQ(panel->constructSearchAnalyticsParameters().size(), 0u) << "a GIF copied at home is shared as trending";
    }
  }
}

TEST_F(RootPanelScreensTest, TheSuggestionListHangsBelowTheFieldWhereverTheToolbarSlid) {
  show();
  auto list = panel->autosuggestCollectionViewController;
  auto home = panel->contentCollectionView;
  // Wheel notches down, then up, before the field is clicked.
  const std::pair<int, int> cases[] = {{0, 0}, {5, 10}, {2, 0}, {5, 0}, {5, 1}};
  for (const auto& [down, up] : cases) {
    SCOPED_TRACE(std::to_string(down) + " down, " + std::to_string(up) + " up");
    wheel(home, -down);
    wheel(home, up);
    ui.click(panel->searchTextField.lock());
    ui.typeText("ca");
    ASSERT_TRUE(runUntil([&] { return list->view()->frame().size.height > 0; })) << "the list shows";
    EXPECT_NEAR(listBelowField(), 0, 1);
    reopen();
    drainMainQueue();
    EXPECT_NEAR(listBelowField(), 0, 1) << "shown again";
    // Scrolled while it shows, the list goes with the field.
    wheel(home, up > 0 || down == 0 ? -1 : 1);
    EXPECT_NEAR(listBelowField(), 0, 1) << "scrolled with the list up";

    // Home at its top again, the toolbar and the strip whole.
    ui.pressEscape();
    panel->searchTextField.lock()->setStringValue("");
    wheel(home, 20);
    panel->topToolbarConstraint.lock()->setConstant(0);
    panel->trendingSearchesContainerTopConstraint.lock()->setConstant(5);
  }
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
