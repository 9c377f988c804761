// The Touch Bar's GIF item against the stand-in: a cached GIF plays without a request, an
// uncached one is downloaded into the cache and played, an error page is neither, and an
// item handed to another GIF before its download ends shows only the later GIF.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/ScrubberGifItem.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSNib.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/quartz/CALayer.h"
#include "service/AssetCache.h"
#include "tests/collections/CollectionsFixture.h"

namespace {

class ScrubberGifItemTest : public CollectionsTest {
 protected:
  void SetUp() override {
    CollectionsTest::SetUp();
    AssetCache::shared()->setMapping({});
    AssetCache::shared()->setOrder({});
  }

  // An item as a scrubber gets it from the registered interface.
  static std::shared_ptr<ScrubberGifItem> makeItem() {
    std::vector<std::shared_ptr<NSObject>> objects;
    auto nib = NSNib::initWithNibNamed(ScrubberGifItem::Constants::interfaceName);
    EXPECT_TRUE(nib && nib->instantiateWithOwner(nullptr, &objects));
    return objects.empty() ? nullptr : asA<ScrubberGifItem>(objects.front());
  }

  std::size_t requestsFor(const std::string& url) {
    std::size_t count = 0;
    for (const auto& request : standin().requests()) {
      if (standinURL(request.path) == url) ++count;
    }
    return count;
  }

  // Waits until the download's completion ran and what it queued on the main queue too.
  void settleDownload(const std::shared_ptr<NSURLSessionDataTask>& task) {
    ASSERT_TRUE(runUntil([&] { return task->state() == NSURLSessionTask::State::completed; }));
    NSURLSession::sharedSession()->delegateQueue()->sync([] {});
    drainMainQueue();
  }

  static std::shared_ptr<NSImage> shown(const std::shared_ptr<ScrubberGifItem>& item) { return item->gif.lock()->image(); }
  static double heartAlpha(const std::shared_ptr<ScrubberGifItem>& item) { return item->heartImage.lock()->alphaValue(); }
};

TEST_F(ScrubberGifItemTest, ACachedGifPlaysWithoutARequest) {
  auto vorn = item(0);
  auto bytes = AssetCache::shared()->requestWithUrl(vorn->tinyGifUrl, "gif", nullptr);
  ASSERT_TRUE(runUntil([&] { return AssetCache::shared()->containsValueForKey(vorn->tinyGifUrl); }));
  standin().clearLog();

  auto gifItem = makeItem();
  ASSERT_TRUE(gifItem);
  gifItem->configureAsFavorite();
  EXPECT_EQ(heartAlpha(gifItem), 1.0);
  gifItem->configureWithVorn(vorn);
  EXPECT_EQ(heartAlpha(gifItem), 0.0) << "a GIF hides the heart again";
  // Read and decoded off the main thread.
  ASSERT_TRUE(runUntil([&] { return shown(gifItem) != nullptr; }));
  EXPECT_GT(shown(gifItem)->frameCount(), 1u);
  EXPECT_TRUE(gifItem->gif.lock()->animates());
  EXPECT_EQ(gifItem->gif.lock()->layer()->contentsGravity(), kCAGravityResizeAspectFill);
  EXPECT_FALSE(gifItem->task);
  drainMainQueue();
  EXPECT_EQ(requestsFor(vorn->tinyGifUrl), 0u);
}

TEST_F(ScrubberGifItemTest, AnUncachedGifIsDownloadedIntoTheCacheAndPlayed) {
  auto vorn = item(1);
  auto gifItem = makeItem();
  gifItem->configureWithVorn(vorn);
  ASSERT_TRUE(gifItem->task);
  ASSERT_TRUE(runUntil([&] { return shown(gifItem) != nullptr; }));
  EXPECT_EQ(requestsFor(vorn->tinyGifUrl), 1u);
  EXPECT_TRUE(AssetCache::shared()->containsValueForKey(vorn->tinyGifUrl));
  EXPECT_EQ(AssetCache::shared()->storagePathForKey(vorn->tinyGifUrl)->pathExtension(), "gif");

  // The next item for the same GIF finds it in the cache.
  auto again = makeItem();
  again->configureWithVorn(vorn);
  EXPECT_TRUE(runUntil([&] { return shown(again) != nullptr; }));
  EXPECT_EQ(requestsFor(vorn->tinyGifUrl), 1u);
}

TEST_F(ScrubberGifItemTest, AnErrorPageOrABrokenAddressLeavesTheItemAndTheCacheAlone) {
  auto vorn = item(2);
  standin().injectFault("/media/", Fault::status500());
  auto gifItem = makeItem();
  gifItem->configureWithVorn(vorn);
  ASSERT_TRUE(standin().waitForRequest([](const StandinRequest& r) { return r.path.starts_with("/media/"); }, 10.0));
  settleDownload(gifItem->task);
  EXPECT_FALSE(shown(gifItem));
  EXPECT_FALSE(AssetCache::shared()->containsValueForKey(vorn->tinyGifUrl));

  vorn->tinyGifUrl = "not a url";
  gifItem->task.reset();
  gifItem->configureWithVorn(vorn);
  EXPECT_FALSE(gifItem->task);
  EXPECT_FALSE(shown(gifItem));
}

TEST_F(ScrubberGifItemTest, AReusedItemShowsOnlyItsLaterGifWhileBothAreCached) {
  auto first = item(3), second = item(4);
  standin().injectFault("/media/", Fault::stall(), 1);
  auto gifItem = makeItem();
  gifItem->configureWithVorn(first);
  ASSERT_TRUE(standin().waitForRequest([](const StandinRequest& r) { return r.path.starts_with("/media/"); }, 10.0));
  gifItem->configureWithVorn(second);
  ASSERT_TRUE(runUntil([&] { return shown(gifItem) != nullptr; }));
  auto secondImage = shown(gifItem);
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return AssetCache::shared()->containsValueForKey(first->tinyGifUrl); }));
  drainMainQueue();
  EXPECT_EQ(shown(gifItem), secondImage);
  EXPECT_EQ(gifItem->shownKey(), second->tinyGifUrl);
}

}  // namespace
