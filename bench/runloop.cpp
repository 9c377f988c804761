// Costs of the main-thread machinery: posting a notification to a crowd of observers,
// pushing blocks through an operation queue, and stepping the manual clock over timers.

#include <benchmark/benchmark.h>

#include <atomic>
#include <vector>

#include "platform/foundation/Foundation.h"

static void BM_PostToObservers(benchmark::State& state) {
  auto center = NSNotificationCenter::make();
  std::vector<id> tokens;
  long delivered = 0;
  for (int i = 0; i < state.range(0); ++i) {
    // Half listen for the posted name, half for another, as in an application with many screens.
    tokens.push_back(center->addObserverForName(i % 2 ? "scroll" : "other", nullptr, nullptr,
                                                [&](const std::shared_ptr<NSNotification>&) { ++delivered; }));
  }
  auto sender = NSString::make("scroll view");
  for (auto _ : state) center->postNotificationName("scroll", sender);
  benchmark::DoNotOptimize(delivered);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PostToObservers)->Arg(1)->Arg(16)->Arg(256);

static void BM_OperationQueueThroughput(benchmark::State& state) {
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(state.range(0));
  std::atomic<long> ran{0};
  for (auto _ : state) {
    for (int i = 0; i < 256; ++i) queue->addOperationWithBlock([&] { ++ran; });
    queue->waitUntilAllOperationsAreFinished();
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_OperationQueueThroughput)->Arg(1)->Arg(3)->UseRealTime();

static void BM_AdvanceOverRepeatingTimers(benchmark::State& state) {
  auto clock = std::make_shared<ManualClock>(1'800'000'000.0);
  Clock::setCurrent(clock);
  long fired = 0;
  std::vector<std::shared_ptr<NSTimer>> timers;
  for (int i = 0; i < state.range(0); ++i) {
    timers.push_back(NSTimer::scheduledTimerWithTimeInterval(1.0 + i * 0.001, true,
                                                             [&](const std::shared_ptr<NSTimer>&) { ++fired; }));
  }
  for (auto _ : state) clock->advance(1.0);
  for (auto& timer : timers) timer->invalidate();
  NSRunLoop::main()->reset();
  Clock::setCurrent(nullptr);
  state.SetItemsProcessed(fired);
}
BENCHMARK(BM_AdvanceOverRepeatingTimers)->Arg(10)->Arg(1000);
