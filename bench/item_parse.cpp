// Items from a 50-item page of the stand-in's catalogue: bytes to VornObject values, beside
// the raw JSON parse of the same bytes; and archiving and unarchiving 500 items.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "model/VornObject.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "standin/Catalogue.h"

namespace {

constexpr int pageItems = 50;
constexpr int archivedItems = 500;

// "a" matches most of the catalogue, so the first page is a full one.
const std::string& page() {
  static const std::string bytes = Catalogue::make()->searchPageJson("a", "", static_cast<std::size_t>(pageItems));
  return bytes;
}

std::shared_ptr<NSArray> results(const std::string& bytes) {
  auto parsed = NSJSONSerialization::JSONObjectWithBytes(bytes, NSJSONReadingOptions::mutableContainers);
  auto reply = parsed ? asA<NSDictionary>(*parsed) : nullptr;
  return reply ? reply->objectForKeyAs<NSArray>("results") : nullptr;
}

void perPage(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pageItems));
}

void BM_PageRawJsonParse(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(results(page()));
  perPage(state);
}
BENCHMARK(BM_PageRawJsonParse);

void BM_PageBytesToItems(benchmark::State& state) {
  if (!results(page()) || results(page())->count() != pageItems) {
    state.SkipWithError("the page does not hold 50 items");
    return;
  }
  for (auto _ : state) {
    std::vector<std::shared_ptr<VornObject>> items;
    items.reserve(pageItems);
    auto list = results(page());
    for (const id& element : *list) {
      if (auto item = VornObject::initWithNewApiData(asA<NSDictionary>(element))) items.push_back(*item);
    }
    if (items.size() != pageItems) state.SkipWithError("an item did not parse");
    benchmark::DoNotOptimize(items);
  }
  perPage(state);
}
BENCHMARK(BM_PageBytesToItems);

// 500 stream items (sponsored fields included where the catalogue has them).
std::shared_ptr<NSArray> fiveHundredItems() {
  auto catalogue = Catalogue::make();
  auto list = NSArray::make();
  for (int i = 0; i < archivedItems; ++i) {
    const auto& entry = catalogue->items()[static_cast<std::size_t>(i) % catalogue->items().size()];
    auto item = *VornObject::initWithNewApiData(catalogue->itemObject(entry));
    item->advertisingDataSingleSaveFlag = true;
    list->addObject(item);
  }
  return list;
}

void BM_Archive500Items(benchmark::State& state) {
  auto items = fiveHundredItems();
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto data = NSKeyedArchiver::archivedDataWithRootObject(items);
    if (!data) state.SkipWithError("archiving failed");
    bytes = (*data)->length();
    benchmark::DoNotOptimize(data);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * archivedItems));
  state.counters["archive_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Archive500Items)->Unit(benchmark::kMillisecond);

void BM_Unarchive500Items(benchmark::State& state) {
  auto data = *NSKeyedArchiver::archivedDataWithRootObject(fiveHundredItems());
  for (auto _ : state) {
    auto list = NSKeyedUnarchiver::unarchiveObjectWithData(data);
    auto items = list ? asA<NSArray>(*list) : nullptr;
    if (!items || items->count() != archivedItems || !asA<VornObject>(items->firstObject())) {
      state.SkipWithError("unarchiving failed");
    }
    benchmark::DoNotOptimize(items);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * archivedItems));
}
BENCHMARK(BM_Unarchive500Items)->Unit(benchmark::kMillisecond);

}  // namespace
