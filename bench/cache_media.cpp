// The media cache and the grid downloader: a cache hit (lookup and read) beside a plain read
// of the same file; 20 GIFs of 1-5 MB downloaded into the cache beside libcurl fetching the
// same files into memory; and the peak memory of a 50 MB download that the size cap refuses.

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

#include "service/AssetCache.h"
#include "service/CollectionViewGifDownloader.h"
#include "bench/BenchSupport.h"
#include "standin/StandinServer.h"

namespace {

using bench::Countdown;
using bench::server;

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

// Twenty GIF addresses of 1 to 5 MB (about 60 MB in all).
std::vector<std::string> gifURLs() {
  std::vector<std::string> urls;
  for (int i = 0; i < 20; ++i) {
    std::size_t size = 1'000'000 + static_cast<std::size_t>(i) * 4'000'000 / 19;
    urls.push_back(server().baseURL() + "/media/sized/" + std::to_string(size) + ".gif");
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

void BM_Download20GifsIntoTheCache(benchmark::State& state) {
  auto urls = gifURLs();
  auto downloader = CollectionViewGifDownloader::make();
  auto delegate = std::make_shared<CountingDelegate>();
  downloader->setDelegate(delegate);
  for (auto _ : state) {
    Countdown countdown(static_cast<int>(urls.size()));
    delegate->countdown = &countdown;
    for (const auto& url : urls) downloader->downloadMedia(NSURL::URLWithString(url), DownloadFileType::gif);
    countdown.wait();
    state.PauseTiming();
    for (const auto& url : urls) AssetCache::shared()->removeItemForKey(url);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(urls.size()));
}
BENCHMARK(BM_Download20GifsIntoTheCache)->Unit(benchmark::kMillisecond)->UseRealTime();

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

void BM_Download20GifsWithCurl(benchmark::State& state) {
  auto urls = gifURLs();
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (const auto& url : urls) {
      threads.emplace_back([url] {
        std::string body;
        CURL* handle = curl_easy_init();
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendBody);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
        curl_easy_perform(handle);
        curl_easy_cleanup(handle);
        benchmark::DoNotOptimize(body);
      });
    }
    for (auto& thread : threads) thread.join();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(urls.size()));
}
BENCHMARK(BM_Download20GifsWithCurl)->Unit(benchmark::kMillisecond)->UseRealTime();

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
  auto url = NSURL::URLWithString(server().baseURL() + "/media/sized/50000000.gif" +
                                  (state.range(0) ? "?chunked=1" : ""));
  long before = peakResidentKilobytes();
  for (auto _ : state) {
    Countdown countdown(1);
    delegate->countdown = &countdown;
    downloader->downloadMedia(url, DownloadFileType::gif);
    countdown.wait();
    if (delegate->lastStatus != DownloadCompleteStatus::fileTooLarge) state.SkipWithError("not refused");
  }
  state.counters["peak_growth_kB"] = static_cast<double>(peakResidentKilobytes() - before);
  state.counters["peak_kB"] = static_cast<double>(peakResidentKilobytes());
}
BENCHMARK(BM_RefusedFiftyMegabyteDownload)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
