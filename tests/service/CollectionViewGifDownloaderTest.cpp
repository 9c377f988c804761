#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "service/AssetCache.h"
#include "service/CollectionViewGifDownloader.h"
#include "tests/service/ServiceTestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Completion {
  std::shared_ptr<NSURL> url;
  std::optional<std::string> cacheKey;
  std::optional<DownloadFileType> fileType;
  DownloadCompleteStatus status;
};

class RecordingDelegate : public CollectionViewGifDownloaderDelegate {
 public:
  void didProgress(const std::shared_ptr<NSURL>& url, double percentage) override {
    progress.put({url ? url->absoluteString() : "", percentage});
  }
  void downloadCompletedWithUrl(const std::shared_ptr<NSURL>& url, const std::optional<std::string>& cacheKey,
                                std::optional<DownloadFileType> fileType, DownloadCompleteStatus status) override {
    completions.put({url, cacheKey, fileType, status});
  }
  CallbackBox<std::pair<std::string, double>> progress;
  CallbackBox<Completion> completions;
};

class CollectionViewGifDownloaderTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    AssetCache::shared()->setMapping({});
    AssetCache::shared()->setOrder({});
    downloader = CollectionViewGifDownloader::make();
    delegate = std::make_shared<RecordingDelegate>();
    downloader->setDelegate(delegate);
  }
  void TearDown() override {
    downloader->cancelAll();
    standin().releaseStalls();
    ServiceTest::TearDown();
  }
  std::shared_ptr<NSURL> media(const std::string& path) { return NSURL::URLWithString(standinURL(path)); }
  bool waitForCompletions(std::size_t count) {
    return runUntil([&] { return delegate->completions.count() >= count; });
  }
  // Every task of the session has ended and been delivered.
  bool waitUntilIdle() {
    return runUntil([&] {
      auto session = downloader->downloadSession();
      return !session || session->allTasks().empty();
    });
  }

  std::shared_ptr<CollectionViewGifDownloader> downloader;
  std::shared_ptr<RecordingDelegate> delegate;
};

TEST_F(CollectionViewGifDownloaderTest, FinishedDownloadsAreCachedWithTheSuffixOfTheirType) {
  struct Case {
    const char* path;
    DownloadFileType type;
    const char* extension;
  };
  const Case cases[] = {
      {"/media/sized/2000.mp4", DownloadFileType::mp4, "mp4"},
      {"/media/sized/3000.gif", DownloadFileType::gif, "gif"},
      {"/media/sized/1500.gif?chunked=1", DownloadFileType::png, "png"},
  };
  for (const auto& c : cases) downloader->downloadMedia(media(c.path), c.type);
  EXPECT_EQ(downloader->activeDownloadTasks().size(), 3u);
  ASSERT_TRUE(waitForCompletions(3));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto key = standinURL(c.path);
    bool found = false;
    for (const auto& completion : delegate->completions.all()) {
      if (!completion.url || completion.url->absoluteString() != key) continue;
      found = true;
      EXPECT_EQ(completion.status, DownloadCompleteStatus::completed);
      EXPECT_EQ(completion.cacheKey, key);
      EXPECT_EQ(completion.fileType, c.type);
    }
    EXPECT_TRUE(found);
    auto stored = AssetCache::shared()->storagePathForKey(key);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->pathExtension(), c.extension);
  }
  EXPECT_EQ(AssetCache::shared()->cachedAssetWithKey(standinURL("/media/sized/2000.mp4"))->length(), 2000u);
  EXPECT_TRUE(runUntil([&] { return downloader->activeDownloadTasks().empty(); }));

  // Progress: a known length ends at 1.0; chunked replies have no length and report -1.
  bool sawWhole = false;
  bool sawUnknown = false;
  for (const auto& [url, fraction] : delegate->progress.all()) {
    if (url == standinURL("/media/sized/2000.mp4") && fraction == 1.0) sawWhole = true;
    if (url == standinURL("/media/sized/1500.gif?chunked=1")) {
      EXPECT_EQ(fraction, -1.0);
      sawUnknown = true;
    }
    EXPECT_TRUE(fraction == -1.0 || (fraction >= 0.0 && fraction <= 1.0)) << fraction;
  }
  EXPECT_TRUE(sawWhole);
  EXPECT_TRUE(sawUnknown);
}

TEST_F(CollectionViewGifDownloaderTest, CachedAndLocalMediaAreAnsweredBeforeTheCallReturns) {
  auto cache = AssetCache::shared();
  auto small = media("/media/cached/small.gif");
  auto limit = media("/media/cached/limit.gif");
  auto over = media("/media/cached/over.gif");
  cache->cacheAssetWithData(NSData::fromString("GIF89a"), small->absoluteString(), "gif");
  cache->cacheAssetWithData(NSData::make(std::vector<std::uint8_t>(10'000'000, 1)), limit->absoluteString(), "gif");
  cache->cacheAssetWithData(NSData::make(std::vector<std::uint8_t>(10'000'001, 1)), over->absoluteString(), "gif");
  auto local = NSURL::fileURLWithPath((home() / "local.gif").string(), false);

  struct Case {
    std::shared_ptr<NSURL> url;
    DownloadCompleteStatus status;
    bool hasKey;
  };
  const Case cases[] = {
      {small, DownloadCompleteStatus::completed, true},
      {limit, DownloadCompleteStatus::completed, true},
      {over, DownloadCompleteStatus::fileTooLarge, true},
      {local, DownloadCompleteStatus::localFileDetected, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url->absoluteString());
    auto before = delegate->completions.count();
    downloader->downloadMedia(c.url, DownloadFileType::gif);
    ASSERT_EQ(delegate->completions.count(), before + 1);
    auto completion = delegate->completions.all().back();
    EXPECT_EQ(completion.status, c.status);
    EXPECT_EQ(completion.cacheKey.has_value(), c.hasKey);
    EXPECT_EQ(completion.fileType, DownloadFileType::gif);
  }
  EXPECT_TRUE(downloader->activeDownloadTasks().empty());
  EXPECT_FALSE(downloader->downloadSession());
  EXPECT_FALSE(cache->containsValueForKey(local->absoluteString()));
  EXPECT_TRUE(standin().requests().empty());
}

TEST_F(CollectionViewGifDownloaderTest, FailuresAreReportedAndNeverCached) {
  standin().injectFault("/media/sized/4444.gif", Fault::drop());
  struct Case {
    const char* path;
    DownloadCompleteStatus status;
  };
  const Case cases[] = {
      {"/media/sized/10000001.gif", DownloadCompleteStatus::fileTooLarge},
      {"/media/sized/50000000.mp4?chunked=1", DownloadCompleteStatus::fileTooLarge},
      {"/media/no/such.gif", DownloadCompleteStatus::failedToDownload},  // an error page
      {"/media/sized/4444.gif", DownloadCompleteStatus::failedToDownload},  // connection dropped
  };
  for (const auto& c : cases) downloader->downloadMedia(media(c.path), DownloadFileType::gif);
  ASSERT_TRUE(waitForCompletions(std::size(cases)));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto key = standinURL(c.path);
    auto completions = delegate->completions.all();
    auto completion = std::find_if(completions.begin(), completions.end(),
                                   [&](const Completion& done) { return done.url && done.url->absoluteString() == key; });
    ASSERT_NE(completion, completions.end());
    EXPECT_EQ(completion->status, c.status);
    EXPECT_FALSE(completion->cacheKey);
    EXPECT_FALSE(AssetCache::shared()->containsValueForKey(key));
  }
  EXPECT_TRUE(downloader->activeDownloadTasks().empty());
  EXPECT_TRUE(waitUntilIdle());
  EXPECT_EQ(delegate->completions.count(), std::size(cases));
}

TEST_F(CollectionViewGifDownloaderTest, CancelAllCancelsEveryRunningDownloadSilently) {
  downloader->cancelAll();  // nothing running: nothing happens
  standin().injectFault("/media/sized/", Fault::stall());
  for (int size : {1000, 2000, 3000}) {
    downloader->downloadMedia(media("/media/sized/" + std::to_string(size) + ".gif"), DownloadFileType::gif);
  }
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 3; }));
  EXPECT_EQ(downloader->activeDownloadTasks().size(), 3u);

  downloader->cancelAll();
  EXPECT_TRUE(downloader->activeDownloadTasks().empty());
  standin().releaseStalls();
  EXPECT_TRUE(waitUntilIdle());
  EXPECT_EQ(delegate->completions.count(), 0u);
  EXPECT_TRUE(AssetCache::shared()->mapping().empty());

  // A single cancel reaches only its own URL.
  standin().clearFaults();
  auto kept = media("/media/sized/1200.gif");
  downloader->downloadMedia(kept, DownloadFileType::gif);
  downloader->cancel(media("/media/sized/9999.gif"));
  ASSERT_TRUE(waitForCompletions(1));
  EXPECT_EQ(delegate->completions.first().status, DownloadCompleteStatus::completed);
}

TEST_F(CollectionViewGifDownloaderTest, DownloadsRunAndAreCachedWithoutADelegate) {
  downloader->setDelegate(nullptr);
  auto url = media("/media/sized/900.gif");
  downloader->downloadMedia(url, DownloadFileType::gif);
  EXPECT_TRUE(runUntil([&] { return AssetCache::shared()->containsValueForKey(url->absoluteString()); }));
  downloader->downloadMedia(url, DownloadFileType::gif);  // cached: answered to nobody
  EXPECT_EQ(standin().requests().size(), 1u);
}

TEST(DownloadFileTypeTest, RawValuesRoundTripAndNothingElseIsAType) {
  for (auto type : {DownloadFileType::gif, DownloadFileType::png, DownloadFileType::mp4}) {
    EXPECT_EQ(downloadFileTypeFromRawValue(rawValue(type)), type);
  }
  for (const char* other : {"", "GIF", "jpeg", "gif ", "mp4\n"}) EXPECT_FALSE(downloadFileTypeFromRawValue(other)) << other;
}

}  // namespace
