// Costs of the GIF grid's waterfall layout: a full preparation, a new page of results
// appended to grids of 10^2, 10^4 and 10^5 items (these should cost about the same), the
// rectangle query a scroll step makes at random places in 10^4 and 10^5 items, a whole scroll
// sweep answered from the index and by scanning every item,
// and a whole scroll step of the grid's collection view (query, tiles leaving to the pool,
// tiles arriving from it).

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

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

// Pages are appended one after another; the grid goes back to its starting size (a reload,
// outside the timing) only once it has doubled, so the timing holds appends alone.
void BM_WaterfallAppendPage(benchmark::State& state) {
  auto count = static_cast<std::size_t>(state.range(0));
  auto grid = makeGrid(count);
  auto page = randomSizes(50, 2);
  const std::size_t limit = 2 * count + 5'000;
  for (auto _ : state) {
    if (grid->sizes->items[0].size() >= limit) {
      state.PauseTiming();
      grid->sizes->items[0].resize(count);
      grid->view->reloadData();
      grid->view->prepareLayoutIfNeeded();
      state.ResumeTiming();
    }
    grid->append(page);
  }
  state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_WaterfallAppendPage)->Arg(100)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// The rectangle query of one scroll step at random places in a grid of 10^4 and 10^5 items,
// answered from the index.
void BM_WaterfallQuery(benchmark::State& state) {
  auto grid = makeGrid(static_cast<std::size_t>(state.range(0)));
  const double end = grid->layout->maxLength();
  std::vector<double> places;
  for (const auto& size : randomSizes(1'024, 3)) places.push_back(std::fmod(size.width * size.height * 7919.0, end));
  std::size_t found = 0, next = 0;
  for (auto _ : state) {
    NSRect viewport = NSMakeRect(0, places[next++ % places.size()], 300, 400);
    found += grid->layout->layoutAttributesForElementsInRect(viewport).size();
  }
  benchmark::DoNotOptimize(found);
  state.counters["found_per_query"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_WaterfallQuery)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

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

// One scroll sweep of the application's grid (300 × 400 points, 10^4 items) in steps of 10
// points by code: each step prepares exactly the tiles in view, reusing those that left.
void BM_GridScrollSweep(benchmark::State& state) {
  ScrolledWaterfallGrid grid(NSMakeSize(300, 400));
  grid.layout->setExpansive(false);
  grid.view->registerClass([] { return NSCollectionViewItem::make(); }, "Tile");
  grid.sizes->makeItem = [](NSCollectionView& view, NSIndexPath p) { return view.makeItemWithIdentifier("Tile", p); };
  grid.sizes->items = {randomSizes(static_cast<std::size_t>(state.range(0)), 1)};
  grid.view->reloadData();
  double end = grid.view->frame().size.height - 400;
  std::size_t steps = 0, shown = 0;
  for (auto _ : state) {
    for (double y = 0; y <= end; y += 10, ++steps) {
      grid.scrollView->scrollToPoint(NSMakePoint(0, y));
      shown += grid.view->indexPathsForVisibleItems().size();
    }
    grid.scrollView->scrollToPoint(NSZeroPoint);
  }
  benchmark::DoNotOptimize(shown);
  state.counters["steps"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GridScrollSweep)->Arg(10'000)->Unit(benchmark::kMillisecond);

}  // namespace
