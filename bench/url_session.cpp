// Throughput of the URL session against the in-process stand-in: how long a batch of
// concurrent GETs takes from resume to the last completion, and one download to disk.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/foundation/NSURLSession.h"
#include "bench/BenchSupport.h"
#include "standin/StandinServer.h"

namespace {

using bench::Countdown;
using bench::server;



void BM_ConcurrentGets(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  auto url = NSURL::URLWithString(server().baseURL() + "/_standin/bytes?n=1024");
  for (auto _ : state) {
    Countdown countdown(count);
    for (int i = 0; i < count; ++i) {
      session->dataTaskWithURL(url, [&countdown](auto, auto, auto) { countdown.done(); })->resume();
    }
    countdown.wait();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ConcurrentGets)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DownloadToFile(benchmark::State& state) {
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  auto url = NSURL::URLWithString(server().baseURL() + "/_standin/bytes?n=" + std::to_string(state.range(0)));
  for (auto _ : state) {
    Countdown countdown(1);
    session->downloadTaskWithURL(url, [&countdown](auto, auto, auto) { countdown.done(); })->resume();
    countdown.wait();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DownloadToFile)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
