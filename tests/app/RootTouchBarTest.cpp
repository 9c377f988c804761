// The root panel's Touch Bar against the stand-in: the emoji scrubber at home and the GIF
// scrubber in a stream (as bar dumps), an emoji that searches its tag, GIFs that copy and
// confirm for two seconds (and neither when nothing could be copied), pages that add to the
// strip, and the favourites heart, whose late reply stays out of a newer search's strip.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/ScrubberGifItem.h"
#include "collections/Collection.h"
#include "collections/CollectionManager.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSScrubber.h"
#include "platform/appkit/NSTextField.h"
#include "model/VNMockTag.h"
#include "service/GlobalKeys.h"
#include "service/Webapp.h"
#include "tests/app/RootPanelFixture.h"
#include "tests/support/TouchBarDump.h"

namespace {

class RootTouchBarTest : public RootPanelTest {
 protected:
  // The panel at home with the service's emoji on its bar.
  void showWithEmoji() {
    show();
    ASSERT_TRUE(runUntil([&] { return panel->emojiList.size() > 1; }));
  }
  std::string shownItem() {
    auto identifiers = panel->touchBar()->itemIdentifiers();
    return identifiers.size() == 1 ? identifiers.front() : "several";
  }
  std::shared_ptr<NSScrubber> gifs() { return panel->getScrubberWithIdentifier(GlobalKeys::touchBarGifScrubberIdentifier()); }
  std::shared_ptr<NSScrubber> emoji() {
    return panel->getScrubberWithIdentifier(GlobalKeys::touchBarEmojiScrubberIdentifier());
  }
  // A search whose first page reached the Touch Bar through the search screen.
  void searchFor(const std::string& term) {
    panel->performSearchWithTerm(term, true);
    ASSERT_TRUE(runUntil([&] { return !panel->searchContentProxy.empty(); }));
  }
  VNRequester::Content page(std::size_t from, std::size_t count) {
    VNRequester::Content content;
    for (std::size_t i = from; i < from + count; ++i) content.push_back(item(i));
    return content;
  }
};

TEST_F(RootTouchBarTest, HomeShowsTheHeartAndTheEmojiAndAnEmojiSearchesItsTag) {
  showWithEmoji();
  EXPECT_DUMP(dumpTouchBar(panel->touchBar()), "app/expected/touch-bar-home.txt");
  EXPECT_TRUE(asA<VNMockTag>(panel->emojiList.front()));

  auto tag = panel->emojiList.at(2);
  emoji()->touchItemAtIndex(2);
  EXPECT_EQ(event("touchbar_emoji_tap"), "tag=" + tag->categoryTitle);
  EXPECT_EQ(event("textsearch"), "tag=" + tag->additionalResultTag);
  EXPECT_EQ(panel->state, RootViewController::DisplayState::search);
  EXPECT_EQ(shownItem(), GlobalKeys::touchBarGifScrubberIdentifier());
  // The search screen's first page reaches the strip.
  ASSERT_TRUE(runUntil([&] { return !panel->searchContentProxy.empty(); }));
  EXPECT_EQ(gifs()->numberOfItems(), panel->searchContentProxy.size());
}

TEST_F(RootTouchBarTest, AStreamsPagesFillTheGifScrubberAtTheirOwnAspectRatio) {
  show();
  ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
  EXPECT_DUMP(dumpTouchBar(panel->touchBar()), "app/expected/touch-bar-stream.txt");
  auto first = gifs()->itemViewForItemAtIndex(0);
  ASSERT_TRUE(first);

  // The stream screen's next page, as it hands it over.
  const std::size_t firstPage = panel->searchContentProxy.size();
  panel->fetchedContent(page(0, 20));
  EXPECT_EQ(gifs()->numberOfItems(), firstPage + 20);
  EXPECT_EQ(gifs()->itemViewForItemAtIndex(0), first) << "a later page is inserted, not reloaded";
  panel->fetchedContent({NSString::make("not a GIF")});
  EXPECT_EQ(panel->searchContentProxy.size(), firstPage + 20);

  // Sizes: by the GIF's ratio on the strip's height, 50 without dimensions, 0 without height.
  auto sized = [&](std::optional<NSSize> dims) {
    auto vorn = item(0);
    vorn->dims = dims;
    panel->searchContentProxy = {vorn};
    return panel->scrubberLayoutSizeForItemAtIndex(gifs(), gifs()->scrubberLayout(), 0);
  };
  EXPECT_EQ(sized(NSSize{200, 100}), (NSSize{60, 30}));
  EXPECT_EQ(sized(std::nullopt), (NSSize{50, 30}));
  EXPECT_EQ(sized(NSSize{200, 0}), (NSSize{0, 30}));

  panel->clearScrubber();
  EXPECT_EQ(gifs()->numberOfItems(), 0u);
}

TEST_F(RootTouchBarTest, AGifTapCopiesSharesAndConfirmsForTwoSeconds) {
  show();
  ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
  auto vorn = panel->searchContentProxy.at(1);
  gifs()->touchItemAtIndex(1);
  EXPECT_FALSE(NSPasteboard::generalPasteboard()->types().empty());
  EXPECT_EQ(event("share"), "tag=cats vornIDKey=" + vorn->vid);
  EXPECT_EQ(event("touchbar_gif_tap"), "vornIDKey=" + vorn->vid);
  EXPECT_EQ(shownItem(), GlobalKeys::touchBarConfirmationIdentifier());
  EXPECT_FALSE(gifs()) << "the scrubber is off the bar meanwhile";
  auto confirmation = asA<NSCustomTouchBarItem>(
      panel->touchBar()->itemForIdentifier(GlobalKeys::touchBarConfirmationIdentifier()));
  ASSERT_TRUE(confirmation);
  EXPECT_EQ(asA<NSTextField>(confirmation->view)->stringValue(), "Copied! Press \u2318+V to paste!");
  advance(1.9);
  EXPECT_EQ(shownItem(), GlobalKeys::touchBarConfirmationIdentifier());
  advance(0.2);
  EXPECT_EQ(shownItem(), GlobalKeys::touchBarGifScrubberIdentifier());
  EXPECT_EQ(gifs()->numberOfItems(), panel->searchContentProxy.size()) << "the strip comes back with its GIFs";

  // A load within the two seconds cancels the return: the bar keeps what it loaded.
  gifs()->touchItemAtIndex(0);
  advance(1.0);
  panel->loadScrubberWithIdentifier(GlobalKeys::touchBarEmojiScrubberIdentifier());
  advance(2.0);
  EXPECT_EQ(shownItem(), GlobalKeys::touchBarEmojiScrubberIdentifier());
}

TEST_F(RootTouchBarTest, AGifWithNothingToCopyIsNeitherSharedNorConfirmed) {
  show();
  ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
  // An item of this computer whose file has gone: no address, no file, nothing to paste.
  auto gone = localGif();
  std::filesystem::remove(NSURL::URLWithString(gone->gifUrl)->path());
  panel->fetchedContent({gone});
  const auto index = panel->searchContentProxy.size() - 1;
  NSPasteboard::generalPasteboard()->setString("earlier", NSPasteboardTypeString);
  standin().clearLog();
  gifs()->touchItemAtIndex(index);
  EXPECT_EQ(event("touchbar_gif_tap"), "vornIDKey=" + gone->vid);
  ASSERT_TRUE(runUntil([] { return Webapp::session()->allTasks().empty(); }));
  EXPECT_EQ(eventCount("share"), 0u);
  EXPECT_EQ(shownItem(), GlobalKeys::touchBarGifScrubberIdentifier()) << "no confirmation";
  EXPECT_EQ(NSPasteboard::generalPasteboard()->stringForType(NSPasteboardTypeString), "earlier");
}

TEST_F(RootTouchBarTest, FavouritesThatArriveAfterANewSearchBeganStayOutOfItsStrip) {
  showWithEmoji();
  auto amy = signIn("amy", "tok-amy");
  ASSERT_TRUE(manager()->favoriteVornWithVorn(item(3)));
  ASSERT_TRUE(manager()->favoriteVornWithVorn(item(4)));
  ASSERT_TRUE(eventually([&] { return standin().state().liked(amy.userid).size() == 2; }));
  const auto favorites = NSURL::URLWithString(manager()->getFavoritesCollection()->constructStreamRequester()->streamID);
  standin().injectFault(favorites->path(), Fault::stall(), 1);
  emoji()->touchItemAtIndex(0);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
  const auto results = panel->searchViewController()->contentCollectionView;
  ASSERT_TRUE(runUntil([&] { return !results->fetchLock(); }));
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([] { return Webapp::session()->allTasks().empty(); }));
  drainMainQueue();
  std::vector<std::string> strip, shown;
  for (const auto& vorn : panel->searchContentProxy) strip.push_back(vorn->vid);
  for (const auto& object : results->mainSection()) shown.push_back(asA<VornObject>(object)->vid);
  EXPECT_EQ(strip, shown) << "only the search's GIFs";
  EXPECT_EQ(gifs()->numberOfItems(), shown.size());
}

TEST_F(RootTouchBarTest, TheHeartLoadsTheFavouritesOfASignedInUserOnly) {
  showWithEmoji();
  emoji()->touchItemAtIndex(0);
  EXPECT_EQ(event("touchbar_favorite_tap"), "");
  EXPECT_EQ(shownItem(), GlobalKeys::touchBarEmojiScrubberIdentifier()) << "signed out: nothing loads";
  EXPECT_TRUE(panel->isPresentingLoginInterface()) << "but the log-in form opens";

  auto amy = signIn("amy", "tok-amy");
  ASSERT_TRUE(manager()->favoriteVornWithVorn(item(3)));
  ASSERT_TRUE(manager()->favoriteVornWithVorn(item(4)));
  ASSERT_TRUE(eventually([&] { return standin().state().liked(amy.userid).size() == 2; }));
  emoji()->touchItemAtIndex(0);
  EXPECT_EQ(shownItem(), GlobalKeys::touchBarGifScrubberIdentifier());
  ASSERT_TRUE(runUntil([&] { return gifs()->numberOfItems() == 2; }));
  EXPECT_EQ(panel->state, RootViewController::DisplayState::home);

  // The confirmation of a GIF tapped there returns to the emoji of home.
  gifs()->touchItemAtIndex(0);
  EXPECT_EQ(event("share"), "vornIDKey=" + panel->searchContentProxy.at(0)->vid);
  advance(2.0);
  EXPECT_EQ(shownItem(), GlobalKeys::touchBarEmojiScrubberIdentifier());
}

}  // namespace
