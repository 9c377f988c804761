// The GIF grid scrolled from top to bottom with its media from an in-process stand-in, as a
// user's wheel would: a 300 × 400 grid pages its stream in while scrolling, downloads each
// tile's tiny MP4 and tiny GIF and plays them. One iteration is one whole scroll of a grid
// of the given length from a cold media cache.
//
// Counters: step_us, the mean wall time of one wheel step (the scroll, the pages it asks
// for, and waiting until every tile on screen plays); peak_rss_mb, the most the process's
// resident memory grew over its size before the grid loaded; playing_max, the most tiles
// holding decoded media at once (on screen or kept for reuse), against visible_max, the most tiles on screen at once.
// Flat step_us and peak_rss_mb across lengths, and playing_max ≤ visible_max, are the goal.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "browse/GifCollectionViewController.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/av/AVPlayerLayer.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "service/AssetCache.h"
#include "service/VNStreamRequester.h"
#include "standin/StandinServer.h"

namespace {

constexpr std::size_t kLongestGrid = 1000;
constexpr double kWheelStep = 120;  // points a wheel step scrolls down

// The stand-in with a catalogue of kLongestGrid items, and the caches in a folder of their
// own; made before anything reads the environment.
StandinServer& gridServer() {
  static std::shared_ptr<StandinServer> server = [] {
    auto home = std::filesystem::temp_directory_path() / ("glimdeck-bench-grid-" + std::to_string(::getpid()));
    for (auto [name, sub] : {std::pair{"XDG_CACHE_HOME", ".cache"}, {"XDG_DATA_HOME", ".local/share"},
                             {"XDG_CONFIG_HOME", ".config"}}) {
      std::filesystem::create_directories(home / sub);
      setenv(name, (home / sub).c_str(), 1);
    }
    static const auto folder = home;
    std::atexit([] { std::filesystem::remove_all(folder); });
    auto made = StandinServer::make(Catalogue::defaultSeed, kLongestGrid);
    if (!made->start(0)) std::abort();
    setenv("GLIMDECK_SERVICE_URL", made->baseURL().c_str(), 1);
    Clock::setCurrent(std::make_shared<ManualClock>());
    NSApplication::sharedApplication();
    return made;
  }();
  return *server;
}

// The trending stream cut at a length, so that grids of different lengths scroll the same
// items.
class CutStream : public VNRequester {
 public:
  static std::shared_ptr<CutStream> make(std::size_t length) {
    auto made = std::shared_ptr<CutStream>(new CutStream());
    made->length_ = length;
    return made;
  }
  bool canFetchMore() const override { return given_ < length_ && inner_->canFetchMore(); }
  void fetchWithCallback(Callback callback) override {
    auto self = sharedAs<CutStream>();
    inner_->fetchWithCallback([self, callback](bool success, std::optional<Content> content) {
      if (content) {
        auto room = self->length_ - std::min(self->length_, self->given_.load());
        if (content->size() > room) content->resize(room);
        self->given_ += content->size();
      }
      callback(success, std::move(content));
    });
  }
  std::string className() const override { return "CutStream"; }

 private:
  CutStream() = default;
  std::shared_ptr<VNStreamRequester> inner_ = VNStreamRequester::getForTrendingContent();
  std::size_t length_ = 0;
  std::atomic<std::size_t> given_{0};
};

double residentMegabytes() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

bool playing(const GifCell& cell) {
  return cell.movieLayer->player() || (cell.gif.lock() && cell.gif.lock()->image());
}

struct ScrollStats {
  double stepSeconds = 0;
  double steps = 0;
  double peakMegabytes = 0;
  std::size_t playingMax = 0;
  std::size_t visibleMax = 0;
  std::size_t items = 0;
};

// One grid of `length` items from a cold media cache, scrolled wheel step by wheel step
// until its end stops moving and its stream has nothing more.
void scrollThrough(std::size_t length, ScrollStats& stats) {
  AssetCache::shared()->setMapping({});
  AssetCache::shared()->setOrder({});
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 400), NSWindowStyleMaskTitled);
  window->makeKeyAndOrderFront(nullptr);
  auto grid = GifCollectionViewController::init();
  window->contentView()->addSubview(grid->view());
  auto collection = grid->mainCollectionView.lock();
  auto scroll = grid->enclosingScrollView();
  // Every tile the grid ever made, on screen or waiting for reuse: those holding media.
  std::vector<std::weak_ptr<GifCell>> made;
  collection->registerClass(
      [&made] {
        auto cell = GifCell::make();
        made.push_back(cell);
        return cell;
      },
      std::string(GifCollectionViewController::Constants::cellIdentifier));
  auto allPlaying = [&] {
    auto items = collection->visibleItems();
    std::size_t visiblePlaying = 0, holding = 0;
    for (const auto& item : items) {
      auto cell = std::dynamic_pointer_cast<GifCell>(item);
      if (cell && playing(*cell)) ++visiblePlaying;
    }
    for (const auto& weak : made) {
      auto cell = weak.lock();
      if (cell && playing(*cell)) ++holding;
    }
    stats.visibleMax = std::max(stats.visibleMax, items.size());
    stats.playingMax = std::max(stats.playingMax, holding);
    return !grid->fetchLock() && visiblePlaying == items.size();
  };
  const double before = residentMegabytes();
  grid->requester = CutStream::make(length);
  grid->reload();
  NSRunLoop::main()->runUntil(allPlaying, 30.0);
  auto clock = std::static_pointer_cast<ManualClock>(Clock::currentShared());
  for (bool atEnd = false; !atEnd;) {
    const auto start = std::chrono::steady_clock::now();
    const auto visible = scroll->documentVisibleRect();
    const NSPoint at = collection->convertPointToView(NSMakePoint(20, visible.origin.y + 20), nullptr);
    NSApplication::sharedApplication()->handleEvent(
        NSEvent::scrollWheelEvent(at, 0, 0, window->windowNumber(), 0, -kWheelStep, true));
    NSRunLoop::main()->runUntil(allPlaying, 30.0);
    clock->advance(0.1);  // the tiles play on
    stats.stepSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++stats.steps;
    stats.peakMegabytes = std::max(stats.peakMegabytes, residentMegabytes() - before);
    atEnd = scroll->documentVisibleRect().origin.y == visible.origin.y && !grid->requester->canFetchMore() &&
            !grid->fetchLock();
  }
  stats.items = grid->mainSection().size();
  grid->reset();
  NSRunLoop::main()->drain();
}

void BM_GridScrollTopToBottom(benchmark::State& state) {
  static const bool warm = [] {
    // Libraries, decoders and connections made once per process are not the grid's growth.
    gridServer();
    ScrollStats ignored;
    scrollThrough(100, ignored);
    return true;
  }();
  (void)warm;
  ScrollStats stats;
  for (auto _ : state) scrollThrough(static_cast<std::size_t>(state.range(0)), stats);
  const double iterations = static_cast<double>(state.iterations());
  state.counters["step_us"] = stats.steps > 0 ? stats.stepSeconds / stats.steps * 1e6 : 0;
  state.counters["steps"] = stats.steps / iterations;
  state.counters["peak_rss_mb"] = stats.peakMegabytes;
  state.counters["playing_max"] = static_cast<double>(stats.playingMax);
  state.counters["visible_max"] = static_cast<double>(stats.visibleMax);
  state.counters["items"] = static_cast<double>(stats.items);
}
BENCHMARK(BM_GridScrollTopToBottom)->Arg(250)->Arg(kLongestGrid)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
