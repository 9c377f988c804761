// Memory and main-thread stalls of the home panel when every tile's GIF is a hostile one:
// the real panel (featured tags' cover tiles, the trending strip) in a panel-sized window
// (400 × 600 points) shown by the desktop host in an X server, its media from an in-process
// stand-in, played on the real clock through the application's own run loop. First with
// the stand-in's ordinary GIFs (the panel's usual peak), then with every GIF the stand-in
// serves replaced by one made here with giflib: 2000 × 2000 pixels, 64 full-size frames
// (a few hundred KB, a gigabyte decoded whole).
//
// Counters:
//   usual_peak_mb     the most the process's resident memory grew over its size before the
//                     first panel, with ordinary GIFs;
//   hostile_peak_mb   the same with the hostile GIF on every tile;
//   growth_mb         hostile_peak_mb − usual_peak_mb (goal ≤ 64);
//   longest_stretch_ms the longest the main thread went without coming back to its run loop
//                     while the hostile panel loaded and played (goal ≤ 50);
//   usual_stretch_ms  the same with ordinary GIFs;
//   tiles             tiles showing the hostile GIF; file_kb its size.
//
// Without a display the program runs itself again inside an X server of its own.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/RootViewController.h"
#include "bench/DesktopSession.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/host/DesktopHost.h"
#include "service/AssetCache.h"
#include "standin/StandinServer.h"
#include "tests/support/HostileGif.h"

namespace {

constexpr NSSize kPanel{400, 600};
constexpr double kPlaySeconds = 4.0;

// 2000 × 2000 pixels in 64 full-size frames: a few hundred KB, a gigabyte decoded whole.
const std::string& hostileGif() {
  static const std::string bytes = hostile::gif(2000, 64);
  return bytes;
}

StandinServer& server() {
  static std::shared_ptr<StandinServer> made = [] {
    auto standin = StandinServer::make();
    if (!standin->start(0)) std::abort();
    setenv("GLIMDECK_SERVICE_URL", standin->baseURL().c_str(), 1);
    return standin;
  }();
  return *made;
}

// Every GIF the stand-in serves is the hostile one from now on.
void serveHostileGifs() {
  server().addRoute("GET", "/media/.*\\.gif", [](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    response.setText(hostileGif(), "image/gif");
  });
}

double residentMegabytes() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The most resident memory seen, sampled every few milliseconds on a thread of its own.
class PeakSampler {
 public:
  PeakSampler() : thread_([this] {
    while (!stop_) {
      const double now = residentMegabytes();
      double seen = peak_.load();
      while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }) {}
  ~PeakSampler() {
    stop_ = true;
    thread_.join();
  }
  double peak() const { return peak_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<double> peak_{0};
  std::thread thread_;
};

using bench::play;
using bench::StretchProbe;

void collectImageViews(const std::shared_ptr<NSView>& view, std::vector<std::shared_ptr<NSImageView>>& found) {
  if (auto image = std::dynamic_pointer_cast<NSImageView>(view)) found.push_back(image);
  for (const auto& sub : view->subviews()) collectImageViews(sub, found);
}

// Tiles on screen showing a GIF (and, when `side` is given, a GIF of that size).
int tilesShowing(const NSWindow& window, double side = 0) {
  std::vector<std::shared_ptr<NSImageView>> views;
  collectImageViews(window.contentView(), views);
  return static_cast<int>(std::ranges::count_if(views, [&](const auto& view) {
    auto image = view->image();
    return image && image->gifFrames() && !view->visibleRect().isEmpty() &&
           (side == 0 || image->size().width == side);
  }));
}

struct PhaseResult {
  double peakMegabytes = 0;
  double longestStretchMs = 0;
  int tiles = 0;
};

// The home panel shown, its tiles loaded and played, then closed and let go.
PhaseResult showPanel(double baseline, double side) {
  AssetCache::shared()->setMapping({});
  AssetCache::shared()->setOrder({});
  PeakSampler sampler;
  StretchProbe probe;
  PhaseResult result;
  {
    auto window = NSWindow::initWithContentRect(NSMakeRect(100, 100, kPanel.width, kPanel.height),
                                                NSWindowStyleMaskBorderless);
    auto panel = RootViewController::init();
    window->setContentViewController(panel);
    probe.start();
    window->makeKeyAndOrderFront(nullptr);
    panel->noteViewWillAppear();
    panel->noteViewDidAppear();
    // Loaded: the tiles that show a GIF stay as many for a second.
    int shown = -1;
    for (int steady = 0, round = 0; steady < 10 && round < 300; ++round) {
      play(0.1);
      const int now = tilesShowing(*window, side);
      steady = now > 0 && now == shown ? steady + 1 : 0;
      shown = now;
    }
    play(kPlaySeconds);
    result.tiles = tilesShowing(*window, side);
    probe.stop();
    window->orderOut(nullptr);
    panel->contentCollectionView->reset();
    play(0.1);
  }
  play(0.1);
  result.peakMegabytes = sampler.peak() - baseline;
  result.longestStretchMs = probe.longestMilliseconds();
  return result;
}

void BM_HomePanelWithHostileGifs(benchmark::State& state) {
  auto host = DesktopHost::start();
  if (!host) std::abort();
  server();
  const double baseline = residentMegabytes();
  PhaseResult usual, hostile;
  for (auto _ : state) {
    usual = showPanel(baseline, 0);
    ::malloc_trim(0);
    serveHostileGifs();
    hostile = showPanel(baseline, 2000);
  }
  state.counters["usual_peak_mb"] = usual.peakMegabytes;
  state.counters["hostile_peak_mb"] = hostile.peakMegabytes;
  state.counters["growth_mb"] = hostile.peakMegabytes - usual.peakMegabytes;
  state.counters["usual_stretch_ms"] = usual.longestStretchMs;
  state.counters["longest_stretch_ms"] = hostile.longestStretchMs;
  state.counters["usual_tiles"] = usual.tiles;
  state.counters["tiles"] = hostile.tiles;
  state.counters["file_kb"] = double(hostileGif().size()) / 1024;
}
BENCHMARK(BM_HomePanelWithHostileGifs)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The service's address set before anything reads it.
  return bench::runOnDesktop(argc, argv, GLIMDECK_SOURCE_DIR, "glimdeck-bench-memory", [] { server(); });
}
