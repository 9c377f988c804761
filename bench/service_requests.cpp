// The service client's costs: one 50-item search page fetched and parsed into items through
// VNStreamRequester from the in-process stand-in, beside a kept-alive libcurl fetch of the
// same URL parsed by simdjson's DOM (counter "ratio", requester / curl, both asking for
// gzip as the application's session does), and building request URLs with 3 and 10
// parameters.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <simdjson.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/PlovexAnalytics.h"
#include "service/VNStreamRequester.h"
#include "service/Webapp.h"
#include "bench/BenchSupport.h"
#include "standin/StandinServer.h"

namespace {

std::shared_ptr<StandinServer> standin() {
  static std::shared_ptr<StandinServer> server = [] {
    // Settings go to a scratch HOME, never the user's own.
    char folder[] = "/tmp/glimdeck-bench-XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    setenv("HOME", folder, 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) unsetenv(name);
    NSUserDefaults::resetStandardUserDefaults();
    auto made = StandinServer::make();
    if (!made->start(0)) std::abort();
    setenv("GLIMDECK_SERVICE_URL", made->baseURL().c_str(), 1);
    // A known install id, so that no install-id request runs beside the measured ones.
    NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA=="), "analytics-key");
    return made;
  }();
  return server;
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

// The floor: one kept-alive libcurl handle fetching the same URL, compressed as the
// application's session asks, and simdjson's DOM parse of the reply.
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
  std::size_t fetch() {
    body_.clear();
    if (curl_easy_perform(curl_) != CURLE_OK) return 0;
    simdjson::padded_string json(body_);
    simdjson::dom::array results;
    if (parser_.parse(json)["results"].get(results) != simdjson::SUCCESS) return 0;
    return results.size();
  }

 private:
  CURL* curl_;
  std::string body_;
  simdjson::dom::parser parser_;
};

std::size_t fetchThroughRequester(const std::shared_ptr<VNStreamRequester>& requester) {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::size_t items = 0;
  requester->reset();
  requester->fetchWithCallback([&](bool, std::optional<VNRequester::Content> content) {
    std::lock_guard lock(mutex);
    items = content ? content->size() : 0;
    finished = true;
    done.notify_one();
  });
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return finished; });
  return items;
}

// A 50-item page through the requester (items built, callback run), beside the floor on the
// same URL; "ratio" is requester / floor.
void BM_RequesterPage(benchmark::State& state) {
  standin();
  auto requester = pageRequester();
  CurlPage curl(Webapp::constructURLWithBaseURL(requester->getStreamID(), requester->constructParameters()));
  bench::compareWithBaseline(
      state, [&] { return fetchThroughRequester(requester) == 50; }, [&] { return curl.fetch() == 50; });
}

void BM_ConstructURL(benchmark::State& state) {
  Webapp::StringMap parameters;
  for (int i = 0; i < state.range(0); ++i) parameters["name" + std::to_string(i)] = "value & more " + std::to_string(i);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Webapp::constructURLWithBaseURL("https://api.zolto.com/v1/search?tag=cats", parameters));
  }
}

}  // namespace

BENCHMARK(BM_RequesterPage)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConstructURL)->Arg(3)->Arg(10);
