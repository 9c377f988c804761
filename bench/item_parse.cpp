// Items from a 50-item page of the stand-in's catalogue: bytes to VornObject values straight
// from the parser, as the requesters read replies, and through the general reader's tree of
// value objects, each beside simdjson's own DOM parse of the same bytes (counter "ratio");
// and archiving and unarchiving 500 items.

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "model/VornObject.h"
#include "platform/foundation/Compression.h"
#include "platform/foundation/JSONReader.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "standin/Catalogue.h"
#include "tests/support/Gzip.h"

namespace {

constexpr int pageItems = 50;
constexpr int archivedItems = 500;

// An empty query matches the whole catalogue, so the first page is a full one. As the URL
// session hands over a reply the service sent compressed: expanded, with the parser's padding
// free after it, and its compressed bytes kept beside it.
const std::shared_ptr<const NSData>& reply() {
  static const std::shared_ptr<const NSData> data = [] {
    const std::string text = Catalogue::make()->searchPageJson("", "", static_cast<std::size_t>(pageItems));
    return *Compression::decodeContent("gzip", NSData::fromString(testgzip::gzip(text)), text.size(),
                                       JSONReader::padding);
  }();
  return data;
}

std::string_view page() { return reply()->view(); }

void perPage(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page().size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pageItems));
}

// The floor: simdjson's DOM parse of the page into a parser kept between runs.
auto domParse() {
  return [parser = std::make_shared<simdjson::dom::parser>()] {
    simdjson::dom::element root;
    auto error = parser->parse(page().data(), page().size(), false).get(root);
    benchmark::DoNotOptimize(root);
    return error == simdjson::SUCCESS;
  };
}

std::vector<std::shared_ptr<VornObject>> itemsStraightFromParser() {
  std::vector<std::shared_ptr<VornObject>> items;
  JSONReader::read(page(), reply()->capacity(), [&](const JSONReader::Document& document) {
    simdjson::dom::array results;
    if (document.root["results"].get(results) != simdjson::SUCCESS) return;
    items.reserve(results.size());
    std::size_t index = 0;
    for (auto element : results) {
      if (auto item = VornObject::initWithNewApiData(element, {reply(), index++})) items.push_back(*item);
    }
  });
  return items;
}

std::vector<std::shared_ptr<VornObject>> itemsThroughTree() {
  std::vector<std::shared_ptr<VornObject>> items;
  auto parsed = NSJSONSerialization::JSONObjectWithBytes(page(),
                                                         NSJSONReadingOptions::mutableContainers);
  auto reply = parsed ? asA<NSDictionary>(*parsed) : nullptr;
  auto list = reply ? reply->objectForKeyAs<NSArray>("results") : nullptr;
  if (!list) return items;
  items.reserve(list->count());
  for (const id& element : *list) {
    if (auto item = VornObject::initWithNewApiData(asA<NSDictionary>(element))) items.push_back(*item);
  }
  return items;
}

void BM_PageBytesToItems(benchmark::State& state) {
  bench::compareWithBaseline(
      state, [] { return itemsStraightFromParser().size() == pageItems; }, domParse());
  perPage(state);
}
BENCHMARK(BM_PageBytesToItems)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_PageBytesToItemsThroughTree(benchmark::State& state) {
  bench::compareWithBaseline(state, [] { return itemsThroughTree().size() == pageItems; }, domParse());
  perPage(state);
}
BENCHMARK(BM_PageBytesToItemsThroughTree)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_PageBytesToValueObjects(benchmark::State& state) {
  bench::compareWithBaseline(
      state,
      [] {
        auto parsed = NSJSONSerialization::JSONObjectWithBytes(page());
        benchmark::DoNotOptimize(parsed);
        return parsed.has_value();
      },
      domParse());
  perPage(state);
}
BENCHMARK(BM_PageBytesToValueObjects)->UseManualTime()->Unit(benchmark::kMicrosecond);

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
