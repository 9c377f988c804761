// The GIF grid against the stand-in, through the simulator: the first page, paging on
// scroll, a page that fails and is asked for again, and a search superseded by a newer one.

#include <gtest/gtest.h>

#include <atomic>

#include "browse/GifCollectionViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/AdvertisingLogger.h"
#include "service/PlovexAnalytics.h"
#include "service/VNStreamRequester.h"
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
    inner->fetchWithCallback([count = replies, callback](bool success, std::optional<Content> content) {
      callback(success, std::move(content));
      ++*count;
    });
  }
  std::shared_ptr<VNStreamRequester> inner;
  std::shared_ptr<std::atomic<int>> replies = std::make_shared<std::atomic<int>>(0);
};

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

TEST_F(GifGridTest, AFailedPageUnlocksTheGridAndTheNextScrollAsksAgain) {
  load(VNStreamRequester::getForTrendingContent());
  const auto first = shown();
  standin().injectFault("/v1/trending", Fault::notJson(), 1);
  scrollToEnd();
  EXPECT_EQ(shown(), first);
  EXPECT_FALSE(grid->loadingIndicator.lock()->isAnimating());

  scrollToEnd();
  EXPECT_EQ(requests("/v1/trending"), 3u);
  EXPECT_EQ(shown(), 2 * first);
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

TEST_F(SponsoredGridTest, ASponsoredViewIsLoggedOnlyOnceFullyVisibleAndItsPixelsOnce) {
  // Trending carries no sponsor: one is pinned before the stream.
  const auto& items = standin().catalogue().items();
  auto sponsor = std::ranges::find_if(items, [](const auto& item) { return item.sponsored() && item.featureText; });
  ASSERT_NE(sponsor, items.end());
  auto made = VornObject::initWithNewApiData(standin().catalogue().itemObject(*sponsor));
  ASSERT_TRUE(made.has_value());
  grid->preContent = {*made};
  load(VNStreamRequester::getForTrendingContent());
  auto collection = grid->mainCollectionView.lock();
  scrollToEnd();
  const NSIndexPath p{0, 0};
  auto vorn = *made;
  ASSERT_TRUE(vorn->featureData && vorn->advertisingSourceID && vorn->pixels);


  ASSERT_FALSE(isCellFullyVisibleAt(collection, p));
  grid->attemptAdvertisementLoggingAt(p, *vorn->advertisingSourceID, vorn->pixels);
  settle();
  EXPECT_EQ(startingWith("/v1/registerview"), 0u);
  EXPECT_TRUE(grid->indexPathsForPendingPromotedContent.contains(p));

  for (int step = 0; step < 200 && !isCellFullyVisibleAt(collection, p); ++step) {
    ui.scrollWheel(collection, 0, 40, NSMakePoint(20, grid->enclosingScrollView()->documentVisibleRect().origin.y + 20));
  }
  ASSERT_TRUE(isCellFullyVisibleAt(collection, p));
  settle();
  EXPECT_GE(startingWith("/v1/registerview"), 1u);
  EXPECT_FALSE(grid->indexPathsForPendingPromotedContent.contains(p));
  EXPECT_EQ(startingWith("/media/pixel/"), vorn->pixels->size());

  grid->attemptAdvertisementLoggingAt(p, *vorn->advertisingSourceID, vorn->pixels);
  settle();
  EXPECT_EQ(startingWith("/media/pixel/"), vorn->pixels->size());
  expectSound();
}

}  // namespace
