// The collections store: appending a GIF to Recents as it grows (a save writes the one new
// GIF, so its cost does not follow the list's length) and opening a store of 50 collections
// of 200 GIFs each (the manager's creation: opening, fetching and filling the lookups).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "collections/CollectionManager.h"
#include "collections/CoreDataContext.h"
#include "platform/foundation/OutputSink.h"
#include "standin/Catalogue.h"

namespace {

namespace fs = std::filesystem;

// A data folder of its own, so that each benchmark starts from an empty store.
fs::path freshDataHome(const std::string& name) {
  auto folder = fs::temp_directory_path() / ("glimdeck-bench-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  setenv("XDG_DATA_HOME", folder.c_str(), 1);
  CollectionManager::setSharedInstance(nullptr);
  CoreDataContext::reset();
  OutputSink::setSink([](std::string_view) {});
  return folder;
}

// GIF n, made from the stand-in's catalogue with an id of its own.
std::shared_ptr<VornObject> gif(std::size_t n) {
  static auto catalogue = Catalogue::make();
  const auto& items = catalogue->items();
  auto vorn = *VornObject::initWithNewApiData(catalogue->itemObject(items[n % items.size()]));
  vorn->vid = std::to_string(1'000'000 + n);
  return vorn;
}

void BM_AppendToRecents(benchmark::State& state) {
  auto folder = freshDataHome("recents");
  auto manager = CollectionManager::sharedInstance();
  auto recents = manager->getRecentsCollection();
  std::vector<std::shared_ptr<VornObject>> list;
  for (std::int64_t n = 0; n < state.range(0); ++n) list.push_back(gif(static_cast<std::size_t>(n)));
  recents->setVorns(list);
  manager->save();
  std::size_t next = 1'000'000;
  for (auto _ : state) {
    manager->addVornToRecents(gif(next++));
    state.PauseTiming();
    // Back to the size measured.
    auto current = recents->vorns();
    current.erase(current.begin());
    recents->setVorns(current);
    manager->save();
    state.ResumeTiming();
  }
  state.counters["gifs"] = static_cast<double>(state.range(0));
  CollectionManager::setSharedInstance(nullptr);
  CoreDataContext::reset();
  fs::remove_all(folder);
}
BENCHMARK(BM_AppendToRecents)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_OpenStore50x200(benchmark::State& state) {
  auto folder = freshDataHome("open");
  {
    auto manager = CollectionManager::sharedInstance();
    for (std::size_t c = 0; c < 50; ++c) {
      auto pack = manager->createNewCollection("pack " + std::to_string(c), false, false);
      std::vector<std::shared_ptr<VornObject>> list;
      for (std::size_t n = 0; n < 200; ++n) list.push_back(gif(c * 200 + n));
      pack->setVorns(list);
    }
    manager->save();
  }
  for (auto _ : state) {
    CollectionManager::setSharedInstance(nullptr);
    CoreDataContext::reset();
    auto manager = CollectionManager::sharedInstance();
    benchmark::DoNotOptimize(manager->vornIDHashLookup.size());
  }
  CollectionManager::setSharedInstance(nullptr);
  CoreDataContext::reset();
  fs::remove_all(folder);
}
BENCHMARK(BM_OpenStore50x200)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
