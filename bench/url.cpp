// Costs of the URL work done for every request and every grid cell: parsing a media URL,
// building a request URL from a parameter map, and reading a query back as items.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLComponents.h"

namespace {

const std::string kMediaURL = "https://media.example.com/images/8d0c0b3c1f2e/tinygif.gif?cid=4f1a&rid=tinygif.gif";
const std::string kSearchBase = "https://api.example.com/v1/search?key=LIVDSRZULELA";

void BM_ParseMediaURL(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(NSURL::URLWithString(kMediaURL));
}
BENCHMARK(BM_ParseMediaURL);

void BM_AppendSearchParameters(benchmark::State& state) {
  const std::vector<std::pair<std::string, std::string>> parameters = {
      {"q", "cats & dogs"}, {"limit", "50"}, {"pos", "CAgQ"}, {"locale", "en_US"}, {"quorbid", "a1b2c3d4e5f6"}};
  for (auto _ : state) {
    auto components = NSURLComponents::componentsWithURL(NSURL::URLWithString(kSearchBase));
    for (const auto& [name, value] : parameters) {
      auto items = components->queryItems().value_or(std::vector<NSURLQueryItem>{});
      items.push_back({name, value});
      components->setQueryItems(items);
    }
    benchmark::DoNotOptimize(components->string());
  }
}
BENCHMARK(BM_AppendSearchParameters);

void BM_ReadQueryItems(benchmark::State& state) {
  auto components = NSURLComponents::componentsWithString(kMediaURL + "&q=a%20b%26c&limit=50&pos=12&x=%C3%A9");
  for (auto _ : state) benchmark::DoNotOptimize(components->queryItems());
}
BENCHMARK(BM_ReadQueryItems);

void BM_AppendPathComponent(benchmark::State& state) {
  auto folder = NSURL::fileURLWithPath("/home/user/.cache/Glimdeck/media", true);
  for (auto _ : state) benchmark::DoNotOptimize(folder->URLByAppendingPathComponent("8d0c0b3c1f2e tinygif.gif"));
}
BENCHMARK(BM_AppendPathComponent);

}  // namespace
