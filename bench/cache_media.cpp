// The media cache and the grid downloader: a cache hit (lookup and read) beside open, fstat
// and one read of the same file; pages of 20 tiny GIFs downloaded into the cache, its archive
// write included, beside libcurl's multi interface with the same connection cap writing files,
// with the stand-in in a process of its own and each side charged all the CPU of a batch of
// pages; and the peak memory of a 50 MB download that the size cap refuses. Ratios of means
// are printed as the counters "ratio" (wall time) and "cpu_ratio" (the process's CPU).

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSURLSession.h"
#include "service/AssetCache.h"
#include "service/CollectionViewGifDownloader.h"
#include "bench/BenchSupport.h"
#include "standin/Catalogue.h"

namespace {

using bench::Countdown;

// The cache lives in a temporary folder of its own, never in the user's.
const bool cacheFolderSet = [] {
  std::string pattern = (std::filesystem::temp_directory_path() / "glimdeck-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  setenv("XDG_CACHE_HOME", pattern.c_str(), 1);
  return true;
}();



class CountingDelegate : public CollectionViewGifDownloaderDelegate {
 public:
  void didProgress(const std::shared_ptr<NSURL>&, double) override {}
  void downloadCompletedWithUrl(const std::shared_ptr<NSURL>&, const std::optional<std::string>&,
                                std::optional<DownloadFileType>, DownloadCompleteStatus status) override {
    lastStatus = status;
    if (countdown) countdown->done();
  }
  Countdown* countdown = nullptr;
  DownloadCompleteStatus lastStatus = DownloadCompleteStatus::completed;
};

// The tiny renditions of twenty catalogue items of the stand-in in its own process, as a grid
// page asks for them; `round` makes the addresses new each time, so that nothing is answered
// from the cache.
std::vector<std::string> tinyGifURLs(std::size_t round) {
  static const auto catalogue = Catalogue::make(Catalogue::defaultSeed, bench::standinProcess());
  std::vector<std::string> urls;
  for (std::size_t i = 0; i < 20; ++i) {
    urls.push_back(catalogue->mediaURL(catalogue->items()[i], "tinygif") + "?round=" + std::to_string(round));
  }
  return urls;
}

// The floor of a read: open, fstat, one read into a buffer nobody zeroed, close.
bool readWhole(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  ::fstat(fd, &info);
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(info.st_size));
  const ssize_t got = ::read(fd, buffer.get(), static_cast<std::size_t>(info.st_size));
  ::close(fd);
  benchmark::DoNotOptimize(buffer.get());
  return got == info.st_size;
}

// A cache hit (lookup, then the bytes) beside the floor on the same file: "ratio" is hit / floor.
void BM_CacheHitLookupAndRead(benchmark::State& state) {
  auto cache = AssetCache::shared();
  const std::string key = "https://media.zolto.test/hit-" + std::to_string(state.range(0)) + ".gif";
  cache->cacheAssetWithData(NSData::make(std::vector<std::uint8_t>(static_cast<std::size_t>(state.range(0)), 7)), key,
                            "gif");
  auto path = cache->storagePathForKey(key)->path();
  bench::compareWithBaseline(
      state,
      [&] {
        auto data = cache->containsValueForKey(key) ? cache->cachedAssetWithKey(key) : nullptr;
        benchmark::DoNotOptimize(data);
        return data && data->length() == static_cast<std::size_t>(state.range(0));
      },
      [&] { return readWhole(path); });
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CacheHitLookupAndRead)->Arg(100'000)->Arg(2'000'000)->UseManualTime()->Unit(benchmark::kMicrosecond);

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* fd) {
  return static_cast<std::size_t>(::write(*static_cast<int*>(fd), data, size * count));
}

// The floor: libcurl's multi interface with the session's cap of 6 connections a host, kept
// alive between rounds, each body written to a temporary file and renamed to its own name, in
// the cache's folder and kept as the cache keeps its files: the newest 500, the 50 oldest
// deleted when there are more (a folder that only grows would spare the floor the file
// system's work of recycling deleted files).
class CurlMultiIntoFiles {
 public:
  explicit CurlMultiIntoFiles(std::filesystem::path folder) : folder_(std::move(folder)), multi_(curl_multi_init()) {
    std::filesystem::create_directories(folder_);
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
  }
  ~CurlMultiIntoFiles() {
    curl_multi_cleanup(multi_);
    while (oldest_ < next_) ::unlink(donePath(oldest_++).c_str());
  }
  bool fetch(const std::vector<std::string>& urls) {
    struct Transfer {
      CURL* easy = nullptr;
      int fd = -1;
      std::string path;
    };
    std::vector<Transfer> transfers(urls.size());
    for (std::size_t i = 0; i < urls.size(); ++i) {
      auto& transfer = transfers[i];
      transfer.path = (folder_ / "floor-download-XXXXXX").string();
      transfer.fd = ::mkstemp(transfer.path.data());
      transfer.easy = curl_easy_init();
      curl_easy_setopt(transfer.easy, CURLOPT_URL, urls[i].c_str());
      curl_easy_setopt(transfer.easy, CURLOPT_WRITEFUNCTION, writeToFile);
      curl_easy_setopt(transfer.easy, CURLOPT_WRITEDATA, &transfer.fd);
      curl_multi_add_handle(multi_, transfer.easy);
    }
    int running = 1;
    while (running > 0) {
      curl_multi_perform(multi_, &running);
      if (running > 0) curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
    }
    bool ok = true;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
      if (message->msg == CURLMSG_DONE && message->data.result != CURLE_OK) ok = false;
    }
    for (auto& transfer : transfers) {
      curl_multi_remove_handle(multi_, transfer.easy);
      curl_easy_cleanup(transfer.easy);
      ::close(transfer.fd);
      ok = ::rename(transfer.path.c_str(), donePath(next_++).c_str()) == 0 && ok;
    }
    if (next_ - oldest_ > 500) {
      for (int i = 0; i < 50; ++i) ::unlink(donePath(oldest_++).c_str());
    }
    return ok;
  }

 private:
  std::string donePath(std::size_t n) const { return (folder_ / ("floor-" + std::to_string(n))).string(); }

  std::filesystem::path folder_;
  CURLM* multi_;
  std::size_t next_ = 0;
  std::size_t oldest_ = 0;
};

constexpr int kPagesPerBatch = 20;

// Pages of twenty tiny GIFs through the grid downloader into the cache, beside the floor, a
// batch of 20 pages a side alternating which goes first: "ratio" and "cpu_ratio" are
// downloader / curl multi, per page. The cache keeps its newest 500 keys, so its trims are
// part of the steady state measured; a page ends when the archives it changed are written,
// and a batch once the session's queue has let the last page's transfers go.
void BM_Download20TinyGifsIntoTheCache(benchmark::State& state) {
  auto downloader = CollectionViewGifDownloader::make();
  auto delegate = std::make_shared<CountingDelegate>();
  downloader->setDelegate(delegate);
  CurlMultiIntoFiles curl(AssetCache::shared()->systemCachePath()->path());
  // Counted across repetitions too, so that no page finds its addresses cached.
  static std::size_t round = 0;
  auto throughDownloader = [&] {
    auto urls = tinyGifURLs(round++);
    Countdown countdown(static_cast<int>(urls.size()));
    delegate->countdown = &countdown;
    for (const auto& url : urls) downloader->downloadMedia(NSURL::URLWithString(url), DownloadFileType::gif);
    countdown.wait();
    // The write the page queued on the cache's queue, done here and waited for.
    AssetCache::shared()->flushArchives();
    return delegate->lastStatus == DownloadCompleteStatus::completed;
  };
  // The session, its network thread and the connections are made before any batch.
  if (!throughDownloader() || !curl.fetch(tinyGifURLs(round++))) {
    state.SkipWithError("the stand-in did not answer");
    return;
  }
  bench::compareBatches(state, kPagesPerBatch,
                        {throughDownloader,
                         [&] {
                           if (auto session = downloader->downloadSession()) session->delegateQueue()->sync([] {});
                         }},
                        {[&] { return curl.fetch(tinyGifURLs(round++)); }});
  state.SetItemsProcessed(state.iterations() * kPagesPerBatch * 20);
}
BENCHMARK(BM_Download20TinyGifsIntoTheCache)->Iterations(6)->UseManualTime()->Unit(benchmark::kMillisecond);

// The archives rewritten after a page: the cache full (500 keys), one key replaced, both
// archives written.
void BM_CacheArchiveWrite(benchmark::State& state) {
  auto cache = AssetCache::shared();
  auto bytes = NSData::make(std::vector<std::uint8_t>(64, 1));
  for (int i = 0; i < 500; ++i) {
    cache->cacheAssetWithData(bytes, "https://media.zolto.test/full/" + std::to_string(i) + "/tinygif.gif", "gif");
  }
  cache->flushArchives();
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    cache->cacheAssetWithData(bytes, "https://media.zolto.test/full/" + std::to_string(round++ % 500) + "/tinygif.gif",
                              "gif");
    state.ResumeTiming();
    cache->flushArchives();
  }
}
BENCHMARK(BM_CacheArchiveWrite)->Unit(benchmark::kMicrosecond);

long peakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Run before anything large was read, so that the growth of the peak is this download's.
void BM_RefusedFiftyMegabyteDownload(benchmark::State& state) {
  auto downloader = CollectionViewGifDownloader::make();
  auto delegate = std::make_shared<CountingDelegate>();
  downloader->setDelegate(delegate);
  // A new address each time: a refused address is remembered and never fetched again.
  static int run = 0;
  auto nextURL = [&] {
    return NSURL::URLWithString(bench::standinProcess() + "/media/sized/50000000.gif?run=" + std::to_string(run++) +
                                (state.range(0) ? "&chunked=1" : ""));
  };
  long before = peakResidentKilobytes();
  for (auto _ : state) {
    Countdown countdown(1);
    delegate->countdown = &countdown;
    downloader->downloadMedia(nextURL(), DownloadFileType::gif);
    countdown.wait();
    if (delegate->lastStatus != DownloadCompleteStatus::fileTooLarge) state.SkipWithError("not refused");
  }
  state.counters["peak_growth_kB"] = static_cast<double>(peakResidentKilobytes() - before);
  state.counters["peak_kB"] = static_cast<double>(peakResidentKilobytes());
}
BENCHMARK(BM_RefusedFiftyMegabyteDownload)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
