// The focused-search strip against the stand-in, through the simulator: trending pages, a
// failed page asked for again, each load a new stream, the switch to a term's suggestions and
// back, replies for outdated terms and loads, and the sizes of its tiles.

#include <gtest/gtest.h>

#include "browse/FocusedSearchCollectionViewHeader.h"
#include "browse/FocusedSearchViewController.h"
#include "browse/PageRetry.h"
#include "model/TelescopeUnit.h"
#include "platform/appkit/NSScrollView.h"
#include "service/Webapp.h"
#include "tests/browse/ScreenFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class StripOwner : public FocusedSearchViewControllerDelegate {
 public:
  void focusCellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>&) override {
    auto unit = asA<TelescopeUnit>(object);
    heard.push_back("tapped " + (unit ? unit->term : asA<VornObject>(object)->vid));
  }
  void focusCellDragged(const std::shared_ptr<VornObject>& vorn) override { heard.push_back("dragged " + vorn->vid); }
  void didLoadResultsWithResultsEmpty(bool empty) override { heard.push_back(empty ? "empty" : "loaded"); }
  bool shouldTrackPromotedTrendingContent() override { return true; }
  std::vector<std::string> heard;
};

class FocusedSearchTest : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    strip->delegate = owner;
  }
  void TearDown() override {
    strip->reset();
    ScreenFixture::TearDown();
  }
  void show() {
    strip->view()->setFrame(NSMakeRect(0, 0, 360, 120));
    window->contentView()->addSubview(strip->view());
  }
  bool trendingShown() { return runUntil([&] { return !strip->trendingRequesterFetchLock && !section(0).empty(); }); }
  const std::vector<std::shared_ptr<NSObject>>& section(std::size_t n) { return strip->contentList.at(n); }
  std::vector<std::string> terms(std::size_t n) {
    std::vector<std::string> out;
    for (const auto& object : section(n)) out.push_back(asA<TelescopeUnit>(object)->term);
    return out;
  }
  void scrollToEnd() {
    auto collection = strip->mainCollectionView.lock();
    ui.scrollWheel(collection, -100000, 0, NSMakePoint(20 + strip->enclosingScrollView()->documentVisibleRect().origin.x, 20));
  }
  // Every request answered (but `held` stalled ones) and its reply handled.
  void settle(std::size_t held = 0) {
    ASSERT_TRUE(runUntil([held] { return Webapp::session()->allTasks().size() <= held; }));
    Webapp::session()->delegateQueue()->sync([] {});
    drainMainQueue();
    drainMainQueue();
  }

  std::shared_ptr<FocusedSearchViewController> strip = FocusedSearchViewController::make();
  std::shared_ptr<StripOwner> owner = std::make_shared<StripOwner>();
  UISimulator ui;
};

TEST_F(FocusedSearchTest, TrendingPagesSidewaysOnceAtTheEndAndNotWhileAPageLoads) {
  show();
  ASSERT_TRUE(trendingShown());
  EXPECT_EQ(owner->heard, std::vector<std::string>{"loaded"});
  EXPECT_DUMP(dumpViewTree(strip->view(), {.maxDepth = 4}), "browse/expected/focused-search-trending.txt");

  const auto first = section(0).size();
  standin().injectFault("/v1/trending", Fault::stall(), 1);
  scrollToEnd();
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  scrollToEnd();
  EXPECT_EQ(requests("/v1/trending"), 2u);
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return section(0).size() > first; }));
  EXPECT_EQ(owner->heard, (std::vector<std::string>{"loaded", "loaded"}));

  strip->trendingContentRequester()->setEndOfStream(true);
  scrollToEnd();
  settle();
  EXPECT_EQ(requests("/v1/trending"), 2u);
}

TEST_F(FocusedSearchTest, ThePlainWheelMovesTheStripAndAPageIsAskedForOnlyAsItsEndComesIntoView) {
  show();
  ASSERT_TRUE(trendingShown());
  auto scroll = strip->enclosingScrollView();
  auto end = [&] { return strip->collectionViewLayout.lock()->collectionViewContentSize().width - 360; };
  // Wheel steps down, as over the strip with a plain mouse: each moves it 100 to the right.
  auto stepDown = [&] {
    ui.scrollWheel(strip->mainCollectionView.lock(), 0, -100, NSMakePoint(scroll->contentOffset().x + 20, 20));
    settle();
  };
  const double firstEnd = end();
  ASSERT_GT(firstEnd, 300) << "the first page reaches well past the strip's width";
  double expected = 0;
  while (expected + 100 <= firstEnd - FocusedSearchViewController::Constants::pagingThreshold) {
    stepDown();
    expected += 100;
    ASSERT_EQ(scroll->contentOffset().x, expected);
    ASSERT_EQ(requests("/v1/trending"), 1u) << "the end is not in view yet at " << expected;
  }
  stepDown();  // the end comes into view
  EXPECT_GT(scroll->contentOffset().x, firstEnd - FocusedSearchViewController::Constants::pagingThreshold);
  EXPECT_EQ(requests("/v1/trending"), 2u);
  EXPECT_GT(end(), firstEnd) << "the next page follows on";
  for (int i = 0; i < 3; ++i) stepDown();  // further on, well before the new end
  EXPECT_EQ(requests("/v1/trending"), 2u);

  // With the stream at its end and the strip at its last tile, steps move nothing and ask nothing.
  strip->trendingContentRequester()->setEndOfStream(true);
  scroll->scrollToPoint(NSMakePoint(end(), 0));
  strip->trendingContentRequester()->setEndOfStream(false);
  const double last = scroll->contentOffset().x;
  for (int i = 0; i < 5; ++i) stepDown();
  EXPECT_EQ(scroll->contentOffset().x, last);
  EXPECT_EQ(requests("/v1/trending"), 2u) << "a step that moves nothing is no reason to page";
}

TEST_F(FocusedSearchTest, AFailedPageIsAskedForAgainAfterAPauseAndANewLoadIsANewStream) {
  show();
  ASSERT_TRUE(trendingShown());
  const auto first = section(0).size();
  standin().injectFault("/v1/trending", Fault::notJson(), 1);
  scrollToEnd();
  // The failed page unlocks the strip once its reply has come back.
  ASSERT_TRUE(runUntil([&] { return requests("/v1/trending") == 2u && !strip->trendingRequesterFetchLock; }));
  scrollToEnd();  // within the pause: nothing
  settle();
  EXPECT_EQ(requests("/v1/trending"), 2u);
  advance(PageRetry::Constants::firstPause);  // the strip looks again by itself
  ASSERT_TRUE(runUntil([&] { return section(0).size() == 2 * first; }));
  EXPECT_EQ(requests("/v1/trending"), 3u);

  // A stream that ended does not hold the next load back.
  strip->trendingContentRequester()->setEndOfStream(true);
  strip->loadData();
  ASSERT_TRUE(trendingShown());
  EXPECT_TRUE(strip->trendingContentRequester()->canFetchMore());
  scrollToEnd();
  ASSERT_TRUE(runUntil([&] { return section(0).size() == 2 * first; }));
  EXPECT_EQ(requests("/v1/trending"), 5u);
  EXPECT_TRUE(runUntil([&] { return strip->activeDownloadPaths.empty(); })) << "answered downloads leave no entry";
}

TEST_F(FocusedSearchTest, AFirstPageThatFailedIsAskedForAgainAfterAPause) {
  standin().injectFault("/v1/trending", Fault::notJson(), 1);
  show();
  settle();
  EXPECT_TRUE(section(0).empty());
  EXPECT_FALSE(strip->trendingRequesterFetchLock);
  advance(PageRetry::Constants::firstPause);
  ASSERT_TRUE(trendingShown());
  EXPECT_EQ(requests("/v1/trending"), 2u);
}

TEST_F(FocusedSearchTest, ATermShowsItsSuggestionsAndAReplyForAnOlderTermIsDropped) {
  show();
  ASSERT_TRUE(trendingShown());
  standin().injectFault("/v1/similar", Fault::stall(), 1);
  strip->setCurrentSearchTerm("cats");
  EXPECT_EQ(strip->currentMode, FocusedSearchViewController::Mode::search);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  strip->setCurrentSearchTerm("cxqz");  // finds nothing: corrections only
  standin().releaseStalls();
  settle();
  EXPECT_FALSE(section(0).empty());
  EXPECT_TRUE(section(1).empty());
  EXPECT_EQ(owner->heard.back(), "loaded");

  strip->setCurrentSearchTerm("dog");
  settle();
  EXPECT_FALSE(section(1).empty());
  EXPECT_DUMP(dumpCollectionLayout(*strip->mainCollectionView.lock()), "browse/expected/focused-search-suggestions.txt");
  auto header = asA<FocusedSearchCollectionViewHeader>(strip->mainCollectionView.lock()->supplementaryViewForElementKind(
      NSCollectionElementKindSectionHeader, {0, 1}));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->titleText(), "Focus your\nsearch");
  auto tile = strip->mainCollectionView.lock()->itemAtIndexPath({0, 1});
  ui.click(tile->view(), NSMakePoint(10, 10));
  EXPECT_EQ(owner->heard.back(), "tapped " + terms(1).front());

  strip->setCurrentSearchTerm(std::nullopt);
  EXPECT_EQ(strip->currentMode, FocusedSearchViewController::Mode::trendingGifs);
  ASSERT_TRUE(trendingShown());
  EXPECT_TRUE(section(1).empty());
}

// The panel sets the term again for the same term searched again: the first request,
// cancelled, answers with an empty reply, which is not the new request's answer.
TEST_F(FocusedSearchTest, TheSameTermSetAgainWaitsForItsNewReplyNotTheCancelledOne) {
  show();
  ASSERT_TRUE(trendingShown());
  owner->heard.clear();
  standin().injectFault("/v1/similar", Fault::stall(), 2);
  strip->setCurrentSearchTerm("dog");
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  strip->setCurrentSearchTerm("dog");
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 2; }));
  settle(1);
  EXPECT_EQ(owner->heard, std::vector<std::string>{}) << "nothing is shown before the new reply";
  standin().releaseStalls();
  settle();
  EXPECT_EQ(owner->heard, std::vector<std::string>{"loaded"});
  EXPECT_FALSE(section(1).empty());
}

TEST_F(FocusedSearchTest, ACancelledTrendingReplyDoesNotUnlockTheLoadThatReplacedIt) {
  standin().injectFault("/v1/trending", Fault::stall(), 2);
  show();
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  strip->loadData();  // cancels the first request and asks again
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 2; }));
  settle(1);
  EXPECT_TRUE(strip->trendingRequesterFetchLock);
  scrollToEnd();
  EXPECT_EQ(requests("/v1/trending"), 2u);  // no page asked for before the first arrived
  standin().releaseStalls();
  ASSERT_TRUE(trendingShown());
}

TEST_F(FocusedSearchTest, GifsFillTheStripsHeightAtTheirRatioAndSuggestionsHaveAFixedSize) {
  show();
  strip->view()->setFrame(NSMakeRect(0, 0, 360, 120));
  auto gif = item(0);
  auto sizeless = item(1);
  gif->dims = NSMakeSize(300, 150);
  sizeless->dims.reset();
  auto unit = *TelescopeUnit::initWithApiResponse({{"tag", "cat"}, {"image", standinURL("/media/x.gif")}, {"type", "t"}});
  strip->contentList = {{gif, sizeless}, {unit}};
  auto collection = strip->mainCollectionView.lock();
  auto layout = collection->collectionViewLayout();
  EXPECT_EQ(strip->sizeForItemAtIndexPath(*collection, *layout, {0, 0}), NSMakeSize(240, 120));
  EXPECT_EQ(strip->sizeForItemAtIndexPath(*collection, *layout, {1, 0}), NSMakeSize(240, 120));
  EXPECT_EQ(strip->sizeForItemAtIndexPath(*collection, *layout, {0, 1}), NSMakeSize(140, 70));
  EXPECT_EQ(strip->referenceSizeForHeaderInSection(*collection, *layout, 1), NSMakeSize(100, 80));
  strip->contentList[1].clear();
  EXPECT_EQ(strip->referenceSizeForHeaderInSection(*collection, *layout, 1), NSMakeSize(0, 0));
}

}  // namespace
