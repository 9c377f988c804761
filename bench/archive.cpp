// Costs of the stored-state paths: the media cache's key map (up to 501 entries) archived
// and restored, and the token read from user defaults that every logged-in test makes.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"

namespace {

std::shared_ptr<NSDictionary> cacheMap() {
  auto map = NSDictionary::make();
  for (int i = 0; i < 501; ++i) {
    const std::string key = "https://media.example/" + std::to_string(i) + "/tinygif.gif";
    map->setObject(NSString::make("/cache/" + std::to_string(i) + ".gif"), key);
  }
  return map;
}

void BM_ArchiveCacheMap(benchmark::State& state) {
  auto map = cacheMap();
  for (auto _ : state) benchmark::DoNotOptimize(NSKeyedArchiver::archivedDataWithRootObject(map));
}
BENCHMARK(BM_ArchiveCacheMap);

void BM_UnarchiveCacheMap(benchmark::State& state) {
  auto data = NSKeyedArchiver::archivedDataWithRootObject(cacheMap()).value();
  for (auto _ : state) benchmark::DoNotOptimize(NSKeyedUnarchiver::unarchiveObjectWithData(data));
}
BENCHMARK(BM_UnarchiveCacheMap);

void BM_ReadTokenRecordFromDefaults(benchmark::State& state) {
  const auto home = std::filesystem::temp_directory_path() / "glimdeck-bench-archive";
  setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  NSUserDefaults::resetStandardUserDefaults();
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setObject(NSDictionary::make({{"token", NSString::make("abcdef0123456789")},
                                          {"expires", NSNumber::numberWithInteger(1'900'000'000)}}),
                      "auth");
  for (auto _ : state) {
    auto record = defaults->dictionaryForKey("auth");
    benchmark::DoNotOptimize(record ? record->objectForKey("token") : nullptr);
  }
  NSUserDefaults::resetStandardUserDefaults();
  std::filesystem::remove_all(home);
}
BENCHMARK(BM_ReadTokenRecordFromDefaults);

}  // namespace
