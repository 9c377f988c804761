#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/foundation/NSRunLoop.h"
#include "service/AssetCache.h"
#include "service/CollectionViewGifDownloader.h"
#include "tests/service/ServiceTestSupport.h"

namespace fs = std::filesystem;

namespace {

// The session's download files anywhere under the folder, whatever their name's prefix.
std::size_t downloadFilesIn(const fs::path& folder) {
  std::size_t count = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file() && it->path().filename().string().find("-download-") != std::string::npos) ++count;
  }
  return count;
}

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
  // Held at the server until all three are known to be running.
  standin().injectFault("/media/sized/", Fault::stall());
  for (const auto& c : cases) downloader->downloadMedia(media(c.path), c.type);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 3; }));
  EXPECT_EQ(downloader->activeDownloadTasks().size(), 3u);
  standin().clearFaults();
  standin().releaseStalls();
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

TEST_F(CollectionViewGifDownloaderTest, DownloadsAreWrittenInTheCacheFolderAndRenamedIntoPlace) {
  // The session's file is observed in the cache's folder while the server holds the reply.
  const fs::path cacheFolder = AssetCache::shared()->systemCachePath()->path();
  standin().injectFault("/media/sized/", Fault::stall());
  downloader->downloadMedia(media("/media/sized/600000.gif"), DownloadFileType::gif);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  EXPECT_TRUE(runUntil([&] { return downloadFilesIn(cacheFolder) == 1; }));
  standin().clearFaults();
  standin().releaseStalls();
  ASSERT_TRUE(waitForCompletions(1));
  auto key = standinURL("/media/sized/600000.gif");
  auto stored = AssetCache::shared()->storagePathForKey(key);
  ASSERT_TRUE(stored);
  EXPECT_EQ(fs::path(stored->path()).parent_path(), cacheFolder);
  EXPECT_EQ(fs::file_size(stored->path()), 600000u);
  EXPECT_TRUE(waitUntilIdle());
  EXPECT_EQ(downloadFilesIn(cacheFolder), 0u);
  // Progress is throttled: at most once per 50 ms of the transfer, and once at its end.
  EXPECT_GE(delegate->progress.count(), 1u);
  EXPECT_LE(delegate->progress.count(), 101u);
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
  EXPECT_EQ(downloadFilesIn(home()), 3u);

  downloader->cancelAll();
  EXPECT_TRUE(downloader->activeDownloadTasks().empty());
  standin().releaseStalls();
  EXPECT_TRUE(waitUntilIdle());
  EXPECT_EQ(delegate->completions.count(), 0u);
  EXPECT_TRUE(runUntil([&] { return downloadFilesIn(home()) == 0; }));
  EXPECT_TRUE(AssetCache::shared()->mapping().empty());

  // A reply that had already arrived when its task was cancelled neither caches nor reports.
  auto session = downloader->downloadSession();
  auto late = session->downloadTaskWithURL(media("/media/sized/1300.gif"));
  const auto file = home() / "arrived.gif";
  std::ofstream(file, std::ios::binary) << "GIF89a";
  downloader->URLSession(session, late, NSURL::fileURLWithPath(file.string(), false));
  downloader->URLSession(session, late, std::shared_ptr<NSError>());
  EXPECT_EQ(delegate->completions.count(), 0u);
  EXPECT_TRUE(AssetCache::shared()->mapping().empty());
  late->cancel();

  // A single cancel reaches only its own URL.
  standin().clearFaults();
  auto kept = media("/media/sized/1200.gif");
  downloader->downloadMedia(kept, DownloadFileType::gif);
  downloader->cancel(media("/media/sized/9999.gif"));
  ASSERT_TRUE(waitForCompletions(1));
  EXPECT_EQ(delegate->completions.first().status, DownloadCompleteStatus::completed);
}

TEST_F(CollectionViewGifDownloaderTest, TheLimitIsInclusiveAndARefusedURLIsNotFetchedAgain) {
  auto limit = media("/media/sized/10000000.gif?chunked=1");
  auto over = media("/media/sized/10000002.gif?chunked=1");
  downloader->downloadMedia(limit, DownloadFileType::gif);
  downloader->downloadMedia(over, DownloadFileType::gif);
  ASSERT_TRUE(waitForCompletions(2));
  for (const auto& completion : delegate->completions.all()) {
    bool atLimit = completion.url->absoluteString() == limit->absoluteString();
    EXPECT_EQ(completion.status, atLimit ? DownloadCompleteStatus::completed : DownloadCompleteStatus::fileTooLarge);
  }
  auto cached = AssetCache::shared()->cachedAssetWithKey(limit->absoluteString());
  ASSERT_TRUE(cached);
  EXPECT_EQ(cached->length(), 10'000'000u);

  // Asked again (a tile configured anew, even by another grid), the refusal comes at once.
  auto again = CollectionViewGifDownloader::make();
  again->setDelegate(delegate);
  again->downloadMedia(over, DownloadFileType::mp4);
  ASSERT_EQ(delegate->completions.count(), 3u);
  EXPECT_EQ(delegate->completions.all().back().status, DownloadCompleteStatus::fileTooLarge);
  EXPECT_EQ(delegate->completions.all().back().fileType, DownloadFileType::mp4);
  EXPECT_FALSE(again->downloadSession());
  EXPECT_EQ(requestsFor("/media/sized/10000002.gif").size(), 1u);
}

TEST_F(CollectionViewGifDownloaderTest, DownloadsRunAndAreCachedWithoutADelegate) {
  downloader->setDelegate(nullptr);
  auto url = media("/media/sized/900.gif");
  downloader->downloadMedia(url, DownloadFileType::gif);
  EXPECT_TRUE(runUntil([&] { return AssetCache::shared()->containsValueForKey(url->absoluteString()); }));
  downloader->downloadMedia(url, DownloadFileType::gif);  // cached: answered to nobody
  EXPECT_EQ(standin().requests().size(), 1u);
}

// Downloads still running when the process exits leave no temporary files behind. The test
// runs its own program again as the child that exits mid-download: started with the
// stand-in's address in the environment, it starts downloads the stand-in holds, waits for
// the word on its standard input, and exits.
class DownloadExitTest : public GlimdeckTest {};

TEST_F(DownloadExitTest, DownloadsInFlightAtExitLeaveNoTemporaryFiles) {
  constexpr int downloads = 4;
  if (const char* base = std::getenv("GLIMDECK_EXIT_CHILD_MEDIA")) {
    auto child = CollectionViewGifDownloader::make();
    for (int i = 0; i < downloads; ++i) {
      child->downloadMedia(NSURL::URLWithString(std::string(base) + "/media/sized/" + std::to_string(1000 + i) + ".gif"),
                           DownloadFileType::gif);
    }
    char word = 0;
    while (::read(STDIN_FILENO, &word, 1) < 0 && errno == EINTR) {
    }
    std::exit(0);
  }

  auto server = StandinServer::make();
  ASSERT_TRUE(server->start(0).has_value());
  server->injectFault("/media/sized/", Fault::stall());
  const fs::path folder = home() / "child";
  fs::create_directories(folder / ".cache");

  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    std::string_view text(*entry);
    bool replaced = false;
    for (std::string_view name : {"HOME=", "XDG_CACHE_HOME=", "TMPDIR=", "ASAN_OPTIONS="}) replaced |= text.starts_with(name);
    if (!replaced) environment.emplace_back(text);
  }
  environment.push_back("HOME=" + folder.string());
  environment.push_back("XDG_CACHE_HOME=" + (folder / ".cache").string());
  environment.push_back("TMPDIR=" + folder.string());
  environment.push_back("ASAN_OPTIONS=detect_leaks=0");  // the child leaves mid-test, on purpose
  environment.push_back("GLIMDECK_EXIT_CHILD_MEDIA=" + server->baseURL());
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = "/proc/self/exe", filter = "--gtest_filter=DownloadExitTest.*";
  char* argv[] = {program.data(), filter.data(), nullptr};

  int word[2];
  ASSERT_EQ(::pipe(word), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, word[0], STDIN_FILENO);
  posix_spawn_file_actions_addclose(&actions, word[1]);
  pid_t pid = 0;
  int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(word[0]);
  ASSERT_EQ(spawned, 0);

  bool held = NSRunLoop::main()->runUntil([&] { return server->stalledCount() == downloads; }, 30.0);
  const std::size_t during = downloadFilesIn(folder);
  ASSERT_EQ(::write(word[1], "x", 1), 1);
  ::close(word[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  server->releaseStalls();
  server->stop();

  EXPECT_TRUE(held);
  EXPECT_EQ(during, static_cast<std::size_t>(downloads));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(downloadFilesIn(folder), 0u);
}

TEST(DownloadFileTypeTest, RawValuesRoundTripAndNothingElseIsAType) {
  for (auto type : {DownloadFileType::gif, DownloadFileType::png, DownloadFileType::mp4}) {
    EXPECT_EQ(downloadFileTypeFromRawValue(rawValue(type)), type);
  }
  for (const char* other : {"", "GIF", "jpeg", "gif ", "mp4\n"}) EXPECT_FALSE(downloadFileTypeFromRawValue(other)) << other;
}

}  // namespace
