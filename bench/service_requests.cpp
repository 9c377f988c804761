// The service client's costs: one 50-item search page fetched and parsed into items through
// VNStreamRequester from the in-process stand-in, beside a bare libcurl fetch of the same URL
// parsed with simdjson (the ratio is reported as a counter), and building request URLs with
// 3 and 10 parameters. The stand-in compresses replies for clients that accept it, as the
// application's session does; the ratio is taken against the gzip-accepting curl fetch.

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

// Mean seconds per iteration of the last run of each kind, for the ratio.
double requesterSeconds = 0;
double curlSeconds = 0;

void BM_RequesterPage(benchmark::State& state) {
  standin();
  auto requester = pageRequester();
  std::size_t items = 0;
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    requester->reset();
    requester->fetchWithCallback([&](bool, std::optional<VNRequester::Content> content) {
      std::lock_guard lock(mutex);
      items = content ? content->size() : 0;
      finished = true;
      done.notify_one();
    });
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return finished; });
  }
  requesterSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / double(state.iterations());
  state.counters["items"] = double(items);
  if (curlSeconds > 0) state.counters["ratio_to_curl"] = requesterSeconds / curlSeconds;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// range(0): 1 asks for a compressed reply, as the application's session does.
void BM_CurlSimdjsonPage(benchmark::State& state) {
  standin();
  auto requester = pageRequester();
  const std::string url = Webapp::constructURLWithBaseURL(requester->getStreamID(), requester->constructParameters());
  CURL* curl = curl_easy_init();
  std::string body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  if (state.range(0)) curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  simdjson::ondemand::parser parser;
  std::size_t items = 0;
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    body.clear();
    if (curl_easy_perform(curl) != CURLE_OK) {
      state.SkipWithError("the fetch failed");
      break;
    }
    simdjson::padded_string json(body);
    auto document = parser.iterate(json);
    items = 0;
    for (auto item : document["results"].get_array()) {
      std::string_view id;
      if (item["id"].get_string().get(id) == simdjson::SUCCESS) ++items;
    }
  }
  curl_easy_cleanup(curl);
  if (state.range(0)) curlSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / double(state.iterations());
  state.counters["items"] = double(items);
}

void BM_ConstructURL(benchmark::State& state) {
  Webapp::StringMap parameters;
  for (int i = 0; i < state.range(0); ++i) parameters["name" + std::to_string(i)] = "value & more " + std::to_string(i);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Webapp::constructURLWithBaseURL("https://api.zolto.com/v1/search?tag=cats", parameters));
  }
}

}  // namespace

BENCHMARK(BM_CurlSimdjsonPage)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RequesterPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConstructURL)->Arg(3)->Arg(10);
