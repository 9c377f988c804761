// The root panel's answers to the trending strip against the stand-in: suggestions narrow
// the current search, corrections refine it, tags open a new one, GIFs of the strip are
// copied and shared, sponsored ones with the advertising share too, and the strip stays in
// place while the same term is searched again.

#include <gtest/gtest.h>

#include "model/FeatureInfo.h"
#include "model/TelescopeUnit.h"
#include "service/Webapp.h"
#include "tests/app/RootPanelFixture.h"

namespace {

std::shared_ptr<TelescopeUnit> unit(const std::string& term, const std::string& type) {
  return TelescopeUnit::initWithApiResponse({{"tag", term}, {"image", "https://media.example/" + term}, {"type", type}})
      .value();
}

}  // namespace

class RootPanelStripTest : public RootPanelTest {
 protected:
  std::size_t advertisingShares() {
    return static_cast<std::size_t>(std::ranges::count_if(standin().requests(), [](const auto& r) {
      return r.path == "/v1/registeraction" && r.queryValue("action") == "share";
    }));
  }
  // Whether the results screen asked the service for the term (requests may overtake
  // one another, so no order is assumed).
  bool searchedFor(const std::string& term) {
    return runUntil([&] {
      return std::ranges::any_of(standin().requests(),
                                 [&](const auto& r) { return r.path == "/v1/search" && r.queryValue("tag") == term; });
    });
  }
};

TEST_F(RootPanelStripTest, ASuggestionNarrowsTheSearchAndACorrectionRefinesItWithinTheSession) {
  show();
  panel->focusCellTapped(unit("hats", "telescope"), nullptr);  // no search yet: nothing at all
  EXPECT_EQ(eventCount("textsearch"), 0u);

  panel->searchCategory = "search";
  panel->searchAction = "qwerty";
  panel->performSearchWithTerm("cats", true);
  EXPECT_EQ(event("textsearch"), "actions=qwerty category=search tag=cats");
  standin().clearLog();
  panel->focusCellTapped(unit("hats", "telescope"), nullptr);
  EXPECT_EQ(event("textsearch"), "actions=telescoping category=search tag=cats tag1=cats tag2=hats");
  EXPECT_EQ(panel->searchTextField.lock()->stringValue(), "cats hats");
  EXPECT_TRUE(searchedFor("cats hats"));
  standin().clearLog();
  EXPECT_EQ(panel->focusedSearchController()->currentSearchTerm(), "cats") << "the strip keeps its term";

  panel->focusCellTapped(unit("cat", "didyoumean"), nullptr);
  EXPECT_EQ(event("textsearch"), "actions=didyoumean_stream category=search tag=cats tag1=cat");
  EXPECT_EQ(panel->focusedSearchController()->currentSearchTerm(), "cat");
}

TEST_F(RootPanelStripTest, TagsOfTheStripOpenANewSessionUnderTheirCategory) {
  show();
  auto tag = asA<VNTag>(panel->contentCollectionView->mainSection().front());
  ASSERT_TRUE(tag);
  for (auto [type, category] : {std::pair{TagType::reactions, "reactions"}, std::pair{TagType::trending, "trendingsearches"}}) {
    standin().clearLog();
    tag->tagType = type;
    panel->focusCellTapped(tag, nullptr);
    EXPECT_EQ(event("textsearch"), "category=" + std::string(category) + " tag=" + tag->additionalResultTag);
  }
  EXPECT_EQ(panel->state, RootViewController::DisplayState::search);
}

TEST_F(RootPanelStripTest, AStripGifIsCopiedAndSharedAndOnlyAFeaturedSponsoredOneAlsoAsAnAdvertisingShare) {
  show();
  struct Case {
    bool featured;
    const char* source;
    std::size_t adShares;
  };
  auto gifWith = [&](bool featured, const char* source) {
    auto gif = item(4);
    if (source) gif->advertisingSourceID = source;
    if (featured) gif->featureData = FeatureInfo::initWithApiData(NSDictionary::make({}));
    return gif;
  };
  for (const auto& c : {Case{false, nullptr, 0}, Case{false, "ad-1", 0}, Case{true, "ad-2", 1}}) {
    standin().clearLog();
    auto gif = gifWith(c.featured, c.source);
    panel->focusCellDragged(gif);
    EXPECT_EQ(event("share"), "category=trending vornIDKey=" + gif->vid);
    EXPECT_TRUE(runUntil([&] { return advertisingShares() >= c.adShares; }));
    EXPECT_EQ(advertisingShares(), c.adShares) << (c.source ? c.source : "plain");
  }

  // A click copies it as well.
  standin().clearLog();
  NSPasteboard::generalPasteboard()->clearContents();
  panel->focusCellTapped(gifWith(true, "ad-3"), nullptr);
  EXPECT_EQ(event("share"), "category=trending vornIDKey=" + item(4)->vid);
  EXPECT_TRUE(runUntil([&] { return advertisingShares() == 1; }));
  EXPECT_TRUE(NSPasteboard::generalPasteboard()->stringForType(NSPasteboardTypeString));
}

TEST_F(RootPanelStripTest, TheStripsHeightFollowsItsResultsAndSponsoredViewsWaitForAFullyShownStrip) {
  show();
  panel->didLoadResultsWithResultsEmpty(true);
  window->layoutIfNeeded();
  EXPECT_EQ(panel->trendingSearchesContainer.lock()->frame().size.height, 0);
  panel->didLoadResultsWithResultsEmpty(false);
  window->layoutIfNeeded();
  EXPECT_EQ(panel->trendingSearchesContainer.lock()->frame().size.height, 80);

  EXPECT_TRUE(panel->shouldTrackPromotedTrendingContent());
  panel->trendingSearchesContainerTopConstraint.lock()->setConstant(0);
  EXPECT_FALSE(panel->shouldTrackPromotedTrendingContent());
  panel->trendingSearchesContainerTopConstraint.lock()->setConstant(5);
  panel->showLogin();
  EXPECT_FALSE(panel->shouldTrackPromotedTrendingContent());
  panel->dismissLoginInterface();
  advance(0.3);
  EXPECT_TRUE(panel->shouldTrackPromotedTrendingContent());
  panel->performSearchWithTerm("cats", true);
  EXPECT_FALSE(panel->shouldTrackPromotedTrendingContent());
}

// Return pressed again on the term it left selected searches the same term while its related
// terms may still be on the way: the strip waits in place for the new ones rather than
// folding away on the cancelled request's empty answer (and the results with it).
TEST_F(RootPanelStripTest, TheSameTermSearchedAgainKeepsTheStripInPlaceUntilItsTermsCome) {
  show();
  auto focused = panel->focusedSearchController();
  auto strip = panel->trendingSearchesContainer.lock();
  standin().injectFault("/v1/similar", Fault::stall(), 2);
  panel->performSearchWithTerm("cats", true);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  auto cancelled = focused->currentTelescopeTask;
  panel->performSearchWithTerm("cats", true);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 2; }));
  ASSERT_TRUE(runUntil([&] { return cancelled->state() == NSURLSessionTask::State::completed; }));
  Webapp::session()->delegateQueue()->sync([] {});
  drainMainQueue();
  advance(0.5);
  // The strip and the results under it.
  auto shown = [&] {
    return dumpViewTree(strip, {.maxDepth = 5}) + describeView(*panel->contentContainer.lock()) + "\n";
  };
  const std::string waiting = shown();
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return !focused->contentList[1].empty(); }));
  advance(0.5);
  EXPECT_DUMP("waiting:\n" + waiting + "terms:\n" + shown(),
              "app/expected/strip-same-term-again.txt");
}
