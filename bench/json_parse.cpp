// Reading a 50-item search page of the stand-in's catalogue: into the value classes, beside
// simdjson's own DOM parse of the same bytes (the floor our reader builds on), and writing the
// values back out.

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <string>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "standin/Catalogue.h"

namespace {

// An empty query matches the whole catalogue, so the first page is a full one.
constexpr int pageItems = 50;

const std::string& searchPage() {
  static const std::string page = Catalogue::make()->searchPageJson("", "", static_cast<std::size_t>(pageItems));
  return page;
}

void report(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * searchPage().size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pageItems));
}

void BM_SearchPageIntoValueObjects(benchmark::State& state) {
  const auto& page = searchPage();
  auto check = NSJSONSerialization::JSONObjectWithBytes(page);
  auto results = check ? asA<NSDictionary>(*check)->objectForKeyAs<NSArray>("results") : nullptr;
  if (!results || results->count() != pageItems) {
    state.SkipWithError("the search page does not hold 50 items");
    return;
  }
  for (auto _ : state) {
    auto value = NSJSONSerialization::JSONObjectWithBytes(page, NSJSONReadingOptions::mutableContainers);
    benchmark::DoNotOptimize(value);
  }
  report(state);
}
BENCHMARK(BM_SearchPageIntoValueObjects);

void BM_SearchPageSimdjsonDOM(benchmark::State& state) {
  simdjson::padded_string padded(searchPage());
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    auto error = parser.parse(padded).get(root);
    benchmark::DoNotOptimize(error);
    benchmark::DoNotOptimize(root);
  }
  report(state);
}
BENCHMARK(BM_SearchPageSimdjsonDOM);

void BM_SearchPageWrittenFromValueObjects(benchmark::State& state) {
  auto value = NSJSONSerialization::JSONObjectWithBytes(searchPage());
  if (!value) {
    state.SkipWithError("the search page does not read");
    return;
  }
  for (auto _ : state) {
    auto text = NSJSONSerialization::stringWithJSONObject(*value);
    benchmark::DoNotOptimize(text);
  }
  report(state);
}
BENCHMARK(BM_SearchPageWrittenFromValueObjects);

}  // namespace
