// The GIF grid against the stand-in, through the simulator: the first page, paging on
// scroll at the exact edge of its threshold, pinned items, a page that fails and is asked for
// again after a pause, a first page that fails, a search superseded by a newer one, and
// sponsored views logged once their media shows and the tile is fully visible.

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "browse/GifCollectionViewController.h"
#include "browse/PageRetry.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/AdvertisingLogger.h"
#include "service/PlovexAnalytics.h"
#include "service/VNStreamRequester.h"
#include "service/VNTagRequester.h"
#include "service/Webapp.h"
#include "ui/NSCollectionViewExtensions.h"
#include "tests/browse/WaterfallGrid.h"
#include "tests/support/StandinFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class ContentLog : public GifCollectionViewControllerDelegate {
 public:
  std::vector<VNRequester::Content> pages;
  void didRetrieveContentWithContent(const VNRequester::Content& content) override { pages.push_back(content); }
};

// A stream that counts its replies once their callback ran, so a test can wait for a reply
// it expects the grid to drop.
class CountingRequester : public VNRequester {
 public:
  static std::shared_ptr<CountingRequester> make(std::shared_ptr<VNStreamRequester> inner) {
    auto requester = std::shared_ptr<CountingRequester>(new CountingRequester());
    requester->inner = std::move(inner);
    return requester;
  }
  bool canFetchMore() const override { return inner->canFetchMore(); }
  void fetchWithCallback(Callback callback) override {
    ++fetches;
    inner->fetchWithCallback([count = replies, callback](bool success, std::optional<Content> content) {
      callback(success, std::move(content));
      ++*count;
    });
  }
  void cancelRequest() override { inner->cancelRequest(); }
  std::shared_ptr<VNStreamRequester> inner;
  // The grid's asks (on the main thread), whether or not the stream sent them on.
  int fetches = 0;
  std::shared_ptr<std::atomic<int>> replies = std::make_shared<std::atomic<int>>(0);
};

std::vector<std::string> vidsOf(const VNRequester::Content& content) {
  std::vector<std::string> vids;
  for (const auto& object : content) vids.push_back(asA<VornObject>(object)->vid);
  return vids;
}

class GifGridTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    // Paging is under test here, not media: refused at once, tiles stay without it.
    standin().injectFault("/media", Fault::status500());
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 400), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    window->contentView()->addSubview(grid->view());
    grid->delegate = log;
  }
  void TearDown() override {
    grid->reset();
    StandinTest::TearDown();
  }
  void load(std::shared_ptr<VNRequester> requester) {
    grid->requester = std::move(requester);
    grid->reload();
    ASSERT_TRUE(runUntil([&] { return !grid->fetchLock(); }));
    expectSound();
  }
  // Scrolls back a little (a wheel at the end moves nothing), then to the end, and waits for the page it asks for, when it asks.
  void scrollToEnd() {
    auto collection = grid->mainCollectionView.lock();
    auto at = [&] { return NSMakePoint(20, grid->enclosingScrollView()->documentVisibleRect().origin.y + 20); };
    ui.scrollWheel(collection, 0, 300, at());
    ui.scrollWheel(collection, 0, -100000, at());
    ASSERT_TRUE(runUntil([&] { return !grid->fetchLock(); }));
    expectSound();
  }
  void expectSound() {
    EXPECT_EQ(gridViolations(*grid->mainCollectionView.lock(), *grid->layout.lock()), std::vector<std::string>{});
  }
  // Scrolls by the wheel so that the visible rect starts exactly at y.
  void scrollTo(double y) {
    auto scroll = grid->enclosingScrollView();
    const double step = y >= 1 ? -1 : 1;  // one point short of y, from where the wheel can reach it
    scroll->scrollToPoint(NSMakePoint(0, y + step));
    ui.scrollWheel(grid->mainCollectionView.lock(), 0, step, NSMakePoint(20, y + 20));
    ASSERT_EQ(scroll->documentVisibleRect().origin.y, y);
  }
  // Where the visible rect is exactly at the paging threshold.
  double threshold() {
    auto r = grid->enclosingScrollView()->documentVisibleRect();
    return grid->layout.lock()->collectionViewContentSize().height - r.size.height -
           GifCollectionViewController::Constants::pagingThreshold;
  }
  std::size_t shown() const { return grid->mainSection().size(); }
  std::size_t requests(std::string_view path) {
    return static_cast<std::size_t>(
        std::ranges::count_if(standin().requests(), [&](const auto& request) { return request.path == path; }));
  }

  std::shared_ptr<GifCollectionViewController> grid = GifCollectionViewController::init();
  std::shared_ptr<ContentLog> log = std::make_shared<ContentLog>();
  std::shared_ptr<NSWindow> window;
  UISimulator ui;
};

TEST_F(GifGridTest, TrendingLoadsAndScrollingPastTheThresholdAppendsTheNextPage) {
  load(VNStreamRequester::getForTrendingContent());
  ASSERT_GT(shown(), 0u);
  EXPECT_FALSE(grid->loadingIndicator.lock()->isAnimating());
  EXPECT_DUMP(dumpCollectionLayout(*grid->mainCollectionView.lock()), "browse/expected/gif-grid-trending.txt");

  const auto first = shown();
  scrollToEnd();
  EXPECT_EQ(requests("/v1/trending"), 2u);
  EXPECT_EQ(shown(), 2 * first);
  EXPECT_EQ(log->pages.size(), 2u);
}

TEST_F(GifGridTest, OnePagePastTheThresholdIsAskedForOnceHoweverOftenTheUserScrolls) {
  auto counting = CountingRequester::make(VNStreamRequester::getForTrendingContent());
  load(counting);
  const auto first = shown();
  ASSERT_GT(threshold(), 0);
  standin().injectFault("/v1/trending", Fault::stall(), 1);

  scrollTo(threshold());  // exactly at the threshold: not yet
  EXPECT_EQ(counting->fetches, 1);
  scrollTo(threshold() - 30);
  EXPECT_EQ(counting->fetches, 1);
  const double edge = threshold();
  scrollTo(edge + 1);  // one point past it: the next page
  EXPECT_EQ(counting->fetches, 2);
  // While that page is on its way, no scroll asks again, near the edge or at the very end.
  for (double y : {edge + 1, edge + 2, edge + 50, edge + 99, edge + 100, edge + 2}) scrollTo(y);
  EXPECT_EQ(counting->fetches, 2);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return !grid->fetchLock(); }));
  EXPECT_EQ(requests("/v1/trending"), 2u);
  EXPECT_EQ(shown(), 2 * first);
  auto vids = vidsOf(grid->mainSection());
  EXPECT_EQ(std::set<std::string>(vids.begin(), vids.end()).size(), vids.size()) << "no tile twice";
  expectSound();
}

TEST_F(GifGridTest, PinnedItemsAreShownOnceWhateverPageBringsThemAgain) {
  load(VNStreamRequester::getForTrendingContent());
  scrollToEnd();
  const auto stream = vidsOf(grid->mainSection());
  const auto page = stream.size() / 2;
  ASSERT_GT(page, 3u);
  // One item of each page pinned before the stream, in an order of their own.
  const std::vector<std::shared_ptr<NSObject>> pinned = {grid->mainSection()[page + 2], grid->mainSection()[3]};
  grid->reset();
  grid->preContent = pinned;
  load(VNStreamRequester::getForTrendingContent());
  scrollToEnd();
  auto expected = std::vector<std::string>{stream[page + 2], stream[3]};
  for (const auto& vid : stream) {
    if (vid != stream[3] && vid != stream[page + 2]) expected.push_back(vid);
  }
  EXPECT_EQ(vidsOf(grid->mainSection()), expected);
  // The screen hears each page as the stream sent it.
  ASSERT_EQ(log->pages.size(), 4u);
  EXPECT_EQ(vidsOf(log->pages[2]), std::vector<std::string>(stream.begin(), stream.begin() + page));
}

TEST_F(GifGridTest, AFailedPageIsAskedForAgainOnlyAfterAPauseThatGrowsWithEachFailure) {
  auto counting = CountingRequester::make(VNStreamRequester::getForTrendingContent());
  load(counting);
  const auto first = shown();
  const double pause = PageRetry::Constants::firstPause;
  standin().injectFault("/v1/trending", Fault::notJson(), 2);
  scrollToEnd();
  EXPECT_EQ(shown(), first);
  EXPECT_FALSE(grid->loadingIndicator.lock()->isAnimating());
  EXPECT_FALSE(grid->failureLabel()) << "the tiles shown stay; only an empty grid has words";

  // During the pause the wheel at the end asks nothing; after it the grid asks by itself.
  for (int i = 0; i < 3; ++i) scrollToEnd();
  advance(pause - 0.01);
  drainMainQueue();
  EXPECT_EQ(counting->fetches, 2);
  advance(0.01);
  ASSERT_TRUE(runUntil([&] { return *counting->replies == 3; }));
  drainMainQueue();
  EXPECT_EQ(counting->fetches, 3);

  // That one failed too: twice the pause, then a page.
  advance(2 * pause - 0.01);
  scrollToEnd();
  EXPECT_EQ(counting->fetches, 3);
  advance(0.01);
  ASSERT_TRUE(runUntil([&] { return shown() == 2 * first && !grid->fetchLock(); }));
  EXPECT_EQ(requests("/v1/trending"), 4u);

  // A page that arrived forgets the failures: the next page goes at once.
  standin().injectFault("/v1/trending", Fault::notJson(), 1);
  scrollToEnd();
  advance(pause);
  ASSERT_TRUE(runUntil([&] { return *counting->replies == 6; }));
  drainMainQueue();
  EXPECT_EQ(shown(), 3 * first);
}

TEST_F(GifGridTest, AFirstPageThatFailsSaysSoUntilAPageArrives) {
  standin().injectFault("/v1/search", Fault::notJson(), 2);
  grid->requester = VNStreamRequester::getForTermWithTerm("cat");
  grid->reload();
  ASSERT_TRUE(runUntil([&] { return grid->failureLabel() != nullptr; }));
  EXPECT_FALSE(grid->loadingIndicator.lock()->isAnimating());
  EXPECT_EQ(grid->failureLabel()->superview(), grid->view());
  EXPECT_FALSE(grid->failureLabel()->isHidden());
  EXPECT_EQ(grid->failureLabel()->stringValue(), GifCollectionViewController::Constants::failedText);
  EXPECT_EQ(requests("/v1/search"), 1u);

  advance(PageRetry::Constants::firstPause);
  ASSERT_TRUE(runUntil([&] { return requests("/v1/search") == 2 && !grid->fetchLock(); }));
  EXPECT_TRUE(grid->failureLabel()) << "still nothing to show";
  advance(2 * PageRetry::Constants::firstPause);
  ASSERT_TRUE(runUntil([&] { return !grid->mainSection().empty(); }));
  EXPECT_FALSE(grid->failureLabel());
  EXPECT_EQ(log->pages.size(), 1u);
  expectSound();
}

TEST_F(GifGridTest, AListOfTagsThatFailsIsAskedForAgainThoughItHasNoFurtherPages) {
  standin().injectFault("/v1/tags", Fault::notJson(), 1);
  grid->requester = VNTagRequester::reactionsRequester();
  grid->reload();
  ASSERT_TRUE(runUntil([&] { return grid->failureLabel() != nullptr; }));
  advance(PageRetry::Constants::firstPause);
  ASSERT_TRUE(runUntil([&] { return !grid->mainSection().empty(); }));
  EXPECT_FALSE(grid->failureLabel());
  EXPECT_EQ(requests("/v1/tags"), 2u);
}

TEST_F(GifGridTest, ANewStreamBeforeTheFirstPageStopsTheSpinner) {
  standin().injectFault("/v1/search", Fault::stall(), 1);
  grid->requester = VNStreamRequester::getForTermWithTerm("cat");
  grid->reload();
  ASSERT_TRUE(grid->loadingIndicator.lock()->isAnimating());
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  // A local list (Recents, say) takes the grid's place before the page came.
  grid->reset();
  grid->preContent = {VornObject::initWithNewApiData(standin().catalogue().itemObject(standin().catalogue().items()[0])).value()};
  grid->reload();
  EXPECT_FALSE(grid->loadingIndicator.lock()->isAnimating());
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return Webapp::session()->allTasks().empty(); }));
  drainMainQueue();
  EXPECT_FALSE(grid->loadingIndicator.lock()->isAnimating());
  EXPECT_EQ(grid->mainSection().size(), 1u);
}

TEST_F(GifGridTest, AnsweredDownloadsLeaveNoEntryBehind) {
  standin().clearFaults();  // media arrives here
  load(VNStreamRequester::getForTrendingContent());
  ASSERT_FALSE(grid->activeDownloadPaths.empty());
  EXPECT_TRUE(runUntil([&] { return grid->activeDownloadPaths.empty(); }));
  scrollToEnd();
  EXPECT_TRUE(runUntil([&] { return grid->activeDownloadPaths.empty(); }));
  standin().injectFault("/media", Fault::status500());
  scrollTo(0);
  EXPECT_TRUE(runUntil([&] { return grid->activeDownloadPaths.empty(); })) << "failed ones neither";
}

TEST_F(GifGridTest, TheReplyOfASupersededSearchNeverReachesTheNewerGrid) {
  standin().injectFault("/v1/search", Fault::stall(), 1);
  auto cats = CountingRequester::make(VNStreamRequester::getForTermWithTerm("cats"));
  grid->requester = cats;
  grid->reload();
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));

  grid->requester = nullptr;  // as a screen that forgot to reset: the generation alone guards
  load(VNStreamRequester::getForTermWithTerm("dogs"));
  ASSERT_EQ(log->pages.size(), 1u);
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return *cats->replies == 1; }));
  drainMainQueue();

  EXPECT_EQ(log->pages.size(), 1u);
  EXPECT_EQ(grid->mainSection(), log->pages[0]);
  expectSound();
}

// Sponsored views go through the advertising logger, whose install id request is held so
// that nothing else reaches the stand-in's log.
class SponsoredGridTest : public GifGridTest {
 protected:
  void SetUp() override {
    GifGridTest::SetUp();
    // A fresh install: earlier suites may have left an install id and a session.
    Webapp::setSession(nullptr);
    NSUserDefaults::resetStandardUserDefaults();
    standin().injectFault("/quorb.quorbid", Fault::stall());
    analytics = PlovexAnalytics::init();
    PlovexAnalytics::setSharedPlovexAnalytics(analytics);
    ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
    AdvertisingLogger::setQueue(AdvertisingLogger::makeQueue());
  }
  void TearDown() override {
    standin().clearFaults();
    standin().releaseStalls();
    settle(0);
    if (auto session = Webapp::session()) session->delegateQueue()->sync([] {});
    PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
    Webapp::setSession(nullptr);
    NSUserDefaults::resetStandardUserDefaults();
    GifGridTest::TearDown();
  }
  // Waits for the logger and every request it started, but for `held` stalled ones.
  void settle(std::size_t held = 1) {
    AdvertisingLogger::queue()->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(runUntil([held] {
      auto session = Webapp::session();
      return !session || session->allTasks().size() <= held;
    }));
  }
  std::size_t startingWith(std::string_view prefix) {
    return static_cast<std::size_t>(std::ranges::count_if(
        standin().requests(), [&](const auto& request) { return request.path.starts_with(prefix); }));
  }
  std::shared_ptr<PlovexAnalytics> analytics;
};

TEST_F(SponsoredGridTest, ASponsoredTileIsLoggedOnceItsMediaShowsAndItIsFullyVisibleAndItsPixelsOnce) {
  // Trending carries no sponsor: one is pinned before the stream.
  const auto& items = standin().catalogue().items();
  auto sponsor = std::ranges::find_if(items, [](const auto& item) { return item.sponsored() && item.featureText; });
  ASSERT_NE(sponsor, items.end());
  auto made = VornObject::initWithNewApiData(standin().catalogue().itemObject(*sponsor));
  ASSERT_TRUE(made.has_value());
  auto vorn = *made;
  ASSERT_TRUE(vorn->featureData && vorn->advertisingSourceID && vorn->pixels && vorn->tinyMp4Url);
  // Media flows here; the sponsor's movie is held until its tile is half scrolled away.
  standin().clearFaults();
  standin().injectFault(NSURL::URLWithString(*vorn->tinyMp4Url)->path(), Fault::stall(), 1);
  grid->preContent = {vorn};
  load(VNStreamRequester::getForTrendingContent());
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 2; }));  // the install id and the movie
  auto collection = grid->mainCollectionView.lock();
  auto scroll = grid->enclosingScrollView();
  const NSIndexPath p{0, 0};
  auto cell = std::dynamic_pointer_cast<GifCell>(collection->itemAtIndexPath(p));
  ASSERT_TRUE(cell);
  ASSERT_TRUE(isCellFullyVisibleAt(collection, p));
  const double cut = cell->view()->frame().maxY() - scroll->documentVisibleRect().origin.y - 10;
  ui.scrollWheel(collection, 0, -cut, NSMakePoint(20, scroll->documentVisibleRect().origin.y + 20));
  ASSERT_TRUE(collection->indexPathsForVisibleItems().contains(p));
  ASSERT_FALSE(isCellFullyVisibleAt(collection, p));

  // The movie plays in a tile the user sees only in part: the view waits.
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return cell->movieLayer->player() != nullptr; }));
  settle(0);
  EXPECT_TRUE(grid->indexPathsForPendingPromotedContent.contains(p));
  EXPECT_EQ(startingWith("/v1/registerview"), 0u);
  EXPECT_EQ(startingWith("/media/pixel/"), 0u);

  // Scrolled back into full view: one view, and the pixels of the search session once.
  ui.scrollWheel(collection, 0, cut, NSMakePoint(20, scroll->documentVisibleRect().origin.y + 20));
  ASSERT_TRUE(isCellFullyVisibleAt(collection, p));
  settle(0);
  EXPECT_EQ(startingWith("/v1/registerview"), 1u);
  EXPECT_FALSE(grid->indexPathsForPendingPromotedContent.contains(p));
  EXPECT_EQ(startingWith("/media/pixel/"), vorn->pixels->size());

  // Shown again later (its media arrives anew from the cache): a view, but no pixels again.
  scrollToEnd();
  ui.scrollWheel(collection, 0, 1e6, NSMakePoint(20, scroll->documentVisibleRect().origin.y + 20));
  ASSERT_TRUE(runUntil([&] { return startingWith("/v1/registerview") >= 2; }));
  settle(0);
  EXPECT_EQ(startingWith("/media/pixel/"), vorn->pixels->size());
  expectSound();
}

}  // namespace
