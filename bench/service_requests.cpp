// The service client's costs, with the stand-in in a process of its own: 50-item search pages
// fetched and parsed into items through VNStreamRequester, beside a kept-alive libcurl fetch
// of the same URL parsed by simdjson's DOM (counters "ratio" and "cpu_ratio", requester / curl
// in wall time and in the client's CPU, both asking for gzip as the application's session
// does), each side charged all the CPU of a batch of pages; the heap a long stream holds per
// item; and building request URLs with 3 and 10 parameters.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <simdjson.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/PlovexAnalytics.h"
#include "service/VNStreamRequester.h"
#include "service/Webapp.h"
#include "model/VornObject.h"
#include "bench/BenchSupport.h"

namespace {

// The largest stream the memory benchmark holds.
constexpr std::size_t kLongestStream = 5000;

void standin() {
  static const bool started = [] {
    // Settings go to a scratch HOME, never the user's own.
    char folder[] = "/tmp/glimdeck-bench-XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    setenv("HOME", folder, 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) unsetenv(name);
    NSUserDefaults::resetStandardUserDefaults();
    setenv("GLIMDECK_SERVICE_URL", bench::standinProcess(kLongestStream).c_str(), 1);
    // A known install id, so that no install-id request runs beside the measured ones.
    NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA=="), "analytics-key");
    return true;
  }();
  (void)started;
}

std::shared_ptr<VNStreamRequester> pageRequester() {
  auto requester = VNStreamRequester::getForTermWithTerm("");
  requester->addGenericParametersWithGenerics({{"limit", "50"}});
  return requester;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// A page's "media" member read through, as a reader of an item's renditions reads them: every
// rendition and each of its fields. Answers the number of fields read.
std::size_t readMedia(const simdjson::dom::element& media) {
  std::size_t fields = 0;
  simdjson::dom::array list;
  simdjson::dom::object one;
  if (media.get(list) == simdjson::SUCCESS) {
    for (auto element : list) fields += readMedia(element);
  } else if (media.get(one) == simdjson::SUCCESS) {
    for (auto member : one) {
      benchmark::DoNotOptimize(member.key.data());
      fields += member.value.is_object() || member.value.is_array() ? readMedia(member.value) : 1;
    }
  }
  return fields;
}

std::size_t readMedia(const NSDictionary& media) {
  std::size_t fields = 0;
  for (const auto& key : media.allKeys()) {
    auto value = media.objectForKey(key);
    if (auto rendition = asA<NSDictionary>(value)) {
      fields += readMedia(*rendition);
    } else {
      benchmark::DoNotOptimize(value.get());
      ++fields;
    }
  }
  return fields;
}

// The floor: one kept-alive libcurl handle fetching the same URL, compressed as the
// application's session asks, and simdjson's DOM parse of the reply (with `withMedia`, every
// item's "media" member read through as well).
class CurlPage {
 public:
  explicit CurlPage(const std::string& url) : curl_(curl_easy_init()) {
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &body_);
    curl_easy_setopt(curl_, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  }
  ~CurlPage() { curl_easy_cleanup(curl_); }
  // The number of results, or 0 when the fetch or the parse failed.
  std::size_t fetch(bool withMedia) {
    body_.clear();
    if (curl_easy_perform(curl_) != CURLE_OK) return 0;
    simdjson::padded_string json(body_);
    simdjson::dom::array results;
    if (parser_.parse(json)["results"].get(results) != simdjson::SUCCESS) return 0;
    if (withMedia) {
      for (auto item : results) {
        simdjson::dom::element media;
        if (item["media"].get(media) != simdjson::SUCCESS || readMedia(media) == 0) return 0;
      }
    }
    return results.size();
  }

 private:
  CURL* curl_;
  std::string body_;
  simdjson::dom::parser parser_;
};

// The caller's wait for the callback. Told after the lock is let go, so that the waiting
// thread does not wake only to wait for the lock; the state is shared, so that it outlives
// the telling whenever the waiter leaves.
struct Awaited {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::optional<VNRequester::Content> content;
};

// A page as a grid takes it: the callback hands the items over to the caller, which holds
// them (with `withMedia`, reads every item's renditions, which an item expands from the reply
// only when asked) and lets them go before it asks for the next. Answers the number of items.
std::size_t fetchThroughRequester(const std::shared_ptr<VNStreamRequester>& requester, bool withMedia) {
  auto awaited = std::make_shared<Awaited>();
  requester->reset();
  requester->fetchWithCallback([awaited](bool, std::optional<VNRequester::Content> content) {
    {
      std::lock_guard lock(awaited->mutex);
      awaited->content = std::move(content);
      awaited->finished = true;
    }
    awaited->done.notify_one();
  });
  std::optional<VNRequester::Content> page;
  {
    std::unique_lock lock(awaited->mutex);
    awaited->done.wait(lock, [&] { return awaited->finished; });
    page = std::move(awaited->content);
  }
  if (!page) return 0;
  if (withMedia) {
    for (const auto& object : *page) {
      auto item = asA<VornObject>(object);
      auto media = item ? item->mediaDictionary() : nullptr;
      if (!media || readMedia(*media) == 0) return 0;
    }
  }
  return page->size();
}

// Waits until the session's queue has run everything queued on it so far: the end of the
// delivery of the last reply, which lets its bytes go after the callback.
void drainSession() {
  if (auto session = Webapp::session()) session->delegateQueue()->sync([] {});
}

constexpr int kPagesPerBatch = 30;

// 50-item pages through the requester (items built, callback run, items held by the caller
// and let go), beside the floor on the same URL, a batch of 30 pages a side alternating which
// goes first; "ratio" and "cpu_ratio" are requester / floor. The argument 1 has both sides
// read every item's renditions too.
// GLIMDECK_BENCH_SIDE=requester or =curl runs that side alone (the other does nothing), to
// profile one side at a time; with "curl" the benchmark's time is the curl side's.
void BM_RequesterPage(benchmark::State& state) {
  standin();
  const bool withMedia = state.range(0) != 0;
  auto requester = pageRequester();
  CurlPage curl(Webapp::constructURLWithBaseURL(requester->getStreamID(), requester->constructParameters()));
  // The session, its network thread and the connection are made before any batch.
  if (fetchThroughRequester(requester, withMedia) != 50 || curl.fetch(withMedia) != 50) {
    state.SkipWithError("the stand-in did not answer a page");
    return;
  }
  const char* side = std::getenv("GLIMDECK_BENCH_SIDE");
  const std::string only = side ? side : "";
  bench::BatchSide throughRequester{[&] { return only == "curl" || fetchThroughRequester(requester, withMedia) == 50; },
                                    drainSession};
  bench::BatchSide throughCurl{[&] { return only == "requester" || curl.fetch(withMedia) == 50; }};
  if (only == "curl") return bench::compareBatches(state, kPagesPerBatch, throughCurl, throughRequester);
  bench::compareBatches(state, kPagesPerBatch, throughRequester, throughCurl);
}

// A stream read page by page to its given length and held, as a grid holds what it has
// shown: "heap_per_item_B" is the heap it holds per item once the pages have been handled
// (the items, and whatever of the replies they keep): what the heap gives back when the
// stream and its requester are let go. Taken that way, and not as the growth since the
// start, it leaves out what a thread keeps for its next replies (each thread that reads one
// keeps its parser's buffers), which depends on which of the pool's threads a page happened
// to land on.
void BM_StreamHeldPerItem(benchmark::State& state) {
  standin();
  // What the first request makes once (the session, the network thread, the parser's
  // buffers) is no part of any item.
  fetchThroughRequester(pageRequester(), false);
  const auto length = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    std::vector<std::shared_ptr<NSObject>> held;
    held.reserve(length);
    auto requester = pageRequester();
    ::malloc_trim(0);
    const double before = bench::heapBytesInUse();
    while (held.size() < length && requester->canFetchMore()) {
      std::mutex mutex;
      std::condition_variable done;
      bool finished = false;
      requester->fetchWithCallback([&](bool, std::optional<VNRequester::Content> content) {
        std::lock_guard lock(mutex);
        if (content) {
          for (auto& item : *content) {
            if (held.size() < length) held.push_back(item);
          }
        }
        finished = true;
        done.notify_one();
      });
      std::unique_lock lock(mutex);
      done.wait(lock, [&] { return finished; });
    }
    // What the last page's reply left behind in the session is no part of the stream.
    requester->setFetchTask(nullptr);
    const double holding = bench::heapBytesInUse();
    const bool complete = held.size() == length;
    held.clear();
    requester.reset();
    const double released = bench::heapBytesInUse();
    if (!complete) {
      state.SkipWithError("the stream ended early");
      break;
    }
    state.counters["heap_per_item_B"] = (holding - released) / static_cast<double>(length);
    state.counters["growth_per_item_B"] = (holding - before) / static_cast<double>(length);
  }
}

void BM_ConstructURL(benchmark::State& state) {
  Webapp::StringMap parameters;
  for (int i = 0; i < state.range(0); ++i) parameters["name" + std::to_string(i)] = "value & more " + std::to_string(i);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Webapp::constructURLWithBaseURL("https://api.zolto.com/v1/search?tag=cats", parameters));
  }
}

}  // namespace

BENCHMARK(BM_RequesterPage)
    ->ArgName("media")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(8)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
// After the requester: what a long stream leaves of the heap is no part of its measure.
BENCHMARK(BM_StreamHeldPerItem)->Arg(250)->Arg(1000)->Arg(kLongestStream)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConstructURL)->Arg(3)->Arg(10);
