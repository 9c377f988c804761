// Costs of the GIF grid's waterfall layout: a full preparation, a new page of results
// appended to a small and to a large grid (these two should cost about the same), and the
// rectangle query a scroll step makes, answered from the index and by scanning every item.

#include <benchmark/benchmark.h>

#include "tests/browse/WaterfallGrid.h"

namespace {

// A two-column grid 300 points wide, as in the popover, with wide items spanning both.
std::unique_ptr<WaterfallGrid> makeGrid(std::size_t count) {
  auto grid = std::make_unique<WaterfallGrid>(NSMakeRect(0, 0, 300, 400));
  grid->sizes->items = {randomSizes(count, 1)};
  grid->view->reloadData();
  return grid;
}

void BM_WaterfallPrepare(benchmark::State& state) {
  auto grid = makeGrid(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    grid->layout->invalidateLayout();
    grid->view->prepareLayoutIfNeeded();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WaterfallPrepare)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void BM_WaterfallAppendPage(benchmark::State& state) {
  auto count = static_cast<std::size_t>(state.range(0));
  auto grid = makeGrid(count);
  auto page = randomSizes(50, 2);
  for (auto _ : state) {
    state.PauseTiming();
    grid->sizes->items[0].resize(count);
    grid->view->reloadData();
    state.ResumeTiming();
    grid->append(page);
  }
  state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_WaterfallAppendPage)->Arg(100)->Arg(10'000)->Unit(benchmark::kMicrosecond);

// One scroll sweep over a 10^4-item grid in steps of 10 points, a 400-point viewport each.
template <bool Indexed>
void BM_WaterfallViewportSweep(benchmark::State& state) {
  auto grid = makeGrid(static_cast<std::size_t>(state.range(0)));
  double end = grid->layout->maxLength();
  std::size_t found = 0, steps = 0;
  for (auto _ : state) {
    for (double y = 0; y < end; y += 10, ++steps) {
      NSRect viewport = NSMakeRect(0, y, 300, 400);
      found += Indexed ? grid->layout->layoutAttributesForElementsInRect(viewport).size()
                       : grid->layout->layoutAttributesForElementsInRectByScanning(viewport).size();
    }
  }
  benchmark::DoNotOptimize(found);
  state.counters["queries"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WaterfallViewportSweep<true>)->Name("BM_WaterfallViewportSweep/indexed")->Arg(10'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WaterfallViewportSweep<false>)->Name("BM_WaterfallViewportSweep/linear")->Arg(10'000)->Unit(benchmark::kMillisecond);

}  // namespace
