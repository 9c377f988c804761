// Memory and main-thread stalls of the home panel when the pictures it shows are hostile
// ones: the real panel (featured tags' cover tiles, the trending strip, its sponsors first
// so that its tiles carry badges) in a panel-sized window (400 × 600 points) shown by the
// desktop host in an X server, its media from a stand-in in a process of its own, played on
// the real clock through the application's own run loop. First with the stand-in's ordinary
// GIFs (the panel's usual peak), then, one after another, with the tiles' GIFs (covers and
// the strip's tiles), and then also the badges', avatars' and view pixels', replaced by one
// picture of a hostile set made here:
//   patterned_64   2000 × 2000 pixels in 64 frames that differ and hardly compress (7.5 MB)
//   cut            the same cut halfway through a frame's pixels (4.1 MB)
//   flat_64        2000 × 2000 in 64 flat frames (237 kB; a gigabyte decoded whole)
//   png_8000       an 8000 × 8000 PNG in four flat bands (a quarter of a gigabyte decoded)
//   patterned_136  the first in 136 frames (15.9 MB)
// Each runs as its own benchmark, BM_HomePanelWithHostilePicture/<picture>/<badges too>
// (`--benchmark_filter=Picture/0/` for the first on tiles); the usual run comes first
// whatever the filter. Phases run one after another in one process: what an earlier one
// leaves behind counts in a later one's peak (run one alone for its own figure).
//
// Counters (memory is the process's own, read from /proc, not what the budgets count):
//   usual_peak_mb      the most the process's resident memory grew over its size before the
//                      first panel, with ordinary GIFs;
//   usual_stretch_ms   the longest the main thread went without coming back to its run loop
//                      meanwhile;
//   peak_mb            the same growth with the hostile picture;
//   growth_mb          peak_mb − usual_peak_mb (goal ≤ 64);
//   stretch_ms         the longest main-thread stretch while the hostile panel loaded and
//                      played (goal ≤ 50);
//   tiles, badges      pictures on screen showing the hostile one (badges: the sponsors');
//   counted_mb         the most their GIFs' budgets counted (frames, bytes, drawn copies),
//                      added up;
//   file_kb            the picture's size.
//
// Without a display the program runs itself again inside an X server of its own.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
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
#include "tests/support/HostilePicture.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/SponsorsFirst.h"

namespace {

constexpr NSSize kPanel{400, 600};
constexpr double kPlaySeconds = 4.0;

struct HostilePicture {
  const char* name;
  std::string (*make)();
  const char* type;
  double side;  // the picture's size in points, as its image says it
};
const HostilePicture kPictures[] = {
    {"patterned_64", [] { return hostile::patternedGif64(); }, "image/gif", 2000},
    {"cut", [] { return hostile::cutPatternedGif(); }, "image/gif", 2000},
    {"flat_64", [] { return hostile::gif(2000, 64); }, "image/gif", 2000},
    {"png_8000", [] { return hostile::png(8000); }, "image/png", 8000},
    // Last: beyond the grid downloader's 10 MB, it is refused on tiles, and every address it
    // was refused at stays refused for the rest of the process.
    {"patterned_136", [] { return hostile::patternedGif136(); }, "image/gif", 2000},
};
constexpr int kPictureCount = static_cast<int>(std::size(kPictures));

// The stand-in runs in a process of its own, so that what it holds and copies to serve
// the pictures is not counted as the application's. Told a picture's index on a pipe, it
// serves that picture for the tiles' GIFs from then on, and when told so for the badges',
// avatars' and view pixels' too (-1: its own again), and answers the picture's size once it
// does.
class StandinProcess {
 public:
  // Forks; to be called before the process starts any thread.
  static StandinProcess& start() {
    static StandinProcess process;
    return process;
  }
  const std::string& baseURL() const { return baseURL_; }
  std::size_t serve(int picture, bool everywhere) {
    const int asked[2] = {picture, everywhere ? 1 : 0};
    if (::write(toChild_, asked, sizeof asked) != sizeof asked) std::abort();
    std::uint64_t size = 0;
    if (::read(fromChild_, &size, sizeof size) != sizeof size) std::abort();
    return size;
  }

 private:
  StandinProcess() {
    int down[2], up[2];
    if (::pipe(down) != 0 || ::pipe(up) != 0) std::abort();
    const pid_t pid = ::fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
      ::close(down[1]);
      ::close(up[0]);
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      runChild(down[0], up[1]);
    }
    ::close(down[0]);
    ::close(up[1]);
    toChild_ = down[1];
    fromChild_ = up[0];
    std::uint32_t length = 0;
    if (::read(fromChild_, &length, sizeof length) != sizeof length) std::abort();
    baseURL_.resize(length);
    if (::read(fromChild_, baseURL_.data(), length) != static_cast<ssize_t>(length)) std::abort();
  }

  [[noreturn]] static void runChild(int in, int out) {
    auto standin = StandinServer::make();
    if (!standin->start(0)) ::_exit(1);
    std::mutex mutex;
    std::shared_ptr<const std::string> bytes;
    const char* type = nullptr;
    bool everywhere = false;
    standin->addRoute("GET", "/media/.*\\.gif", [&](const StandinRequest& request, StandinResponse& response,
                                                    const Catalogue& catalogue) {
      std::unique_lock lock(mutex);
      auto served = bytes;
      const char* servedType = type;
      if (!everywhere && (request.path.starts_with("/media/badges/") || request.path.starts_with("/media/avatars/") ||
                          request.path.starts_with("/media/pixel/"))) {
        served = nullptr;
      }
      lock.unlock();
      if (served) {
        response.setText(*served, servedType);
      } else {
        catalogue.serveMedia(request, response);
      }
    });
    hostile::putSponsorsFirstInTrending(*standin);
    const std::string url = standin->baseURL();
    const auto length = static_cast<std::uint32_t>(url.size());
    if (::write(out, &length, sizeof length) != sizeof length || ::write(out, url.data(), length) != length) ::_exit(1);
    std::map<int, std::shared_ptr<const std::string>> made;
    for (int asked[2] = {}; ::read(in, asked, sizeof asked) == sizeof asked;) {
      const int picture = asked[0];
      std::shared_ptr<const std::string> next;
      if (picture >= 0 && picture < kPictureCount) {
        auto& slot = made[picture];
        if (!slot) slot = std::make_shared<const std::string>(kPictures[picture].make());
        next = slot;
      }
      {
        std::lock_guard lock(mutex);
        bytes = next;
        type = next ? kPictures[picture].type : nullptr;
        everywhere = asked[1] != 0;
      }
      const std::uint64_t size = next ? next->size() : 0;
      if (::write(out, &size, sizeof size) != sizeof size) break;
    }
    ::_exit(0);
  }

  int toChild_ = -1, fromChild_ = -1;
  std::string baseURL_;
};

double residentMegabytes() { return double(resident::nowBytes()) / (1024.0 * 1024.0); }

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

// A sponsor's badge is a picture view of 40 × 16 points in its tile's corner.
constexpr double kBadgeMostWidth = 40;

struct Showing {
  int tiles = 0, badges = 0;
  double countedMegabytes = 0;  // the most their GIFs' budgets counted, added up
};

// Pictures on screen: a tile's GIF (of `side` points when given), a badge's picture of that
// size.
Showing picturesShowing(const NSWindow& window, double side) {
  std::vector<std::shared_ptr<NSImageView>> views;
  collectImageViews(window.contentView(), views);
  Showing showing;
  for (const auto& view : views) {
    auto image = view->image();
    if (!image || view->visibleRect().isEmpty()) continue;
    const bool badge = view->frame().size.width <= kBadgeMostWidth;
    if (side == 0 ? !badge && image->gifFrames() : image->size().width == side) {
      ++(badge ? showing.badges : showing.tiles);
      if (const auto& frames = image->gifFrames()) showing.countedMegabytes += double(frames->peakBytesWithKept()) / (1024 * 1024);
    }
  }
  return showing;
}

struct PhaseResult {
  double peakMegabytes = 0;
  double longestStretchMs = 0;
  Showing showing;
};

// The home panel shown, its pictures loaded and played, then closed and let go.
PhaseResult showPanel(double baseline, double side) {
  // Nothing of an earlier panel's media is found in the cache.
  AssetCache::shared()->setMapping({});
  AssetCache::shared()->setOrder({});
  AssetCache::shared()->flushArchives();
  std::error_code ignored;
  for (const auto& file : std::filesystem::directory_iterator(AssetCache::shared()->systemCachePath()->path(), ignored)) {
    if (file.is_regular_file()) std::filesystem::remove(file.path(), ignored);
  }
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
    // Loaded: the tiles that show the picture stay as many for a second (none only after
    // five seconds: tiles the picture is refused on keep their placeholders).
    int shown = -1;
    for (int steady = 0, round = 0; (steady < 10 || (shown == 0 && round < 50)) && round < 600; ++round) {
      play(0.1);
      const int now = picturesShowing(*window, side).tiles;
      steady = now == shown ? steady + 1 : 0;
      shown = now;
    }
    play(kPlaySeconds);
    result.showing = picturesShowing(*window, side);
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

// The desktop, the process's size before any panel, and the panel with ordinary GIFs: once.
struct Session {
  std::shared_ptr<DesktopHost> host;
  double baseline = 0;
  PhaseResult usual;
};
Session& session() {
  static Session made = [] {
    Session session;
    session.host = DesktopHost::start();
    if (!session.host) std::abort();
    session.baseline = residentMegabytes();
    StandinProcess::start().serve(-1, false);
    session.usual = showPanel(session.baseline, 0);
    ::malloc_trim(0);
    return session;
  }();
  return made;
}

void BM_HomePanelWithHostilePicture(benchmark::State& state) {
  const HostilePicture& picture = kPictures[state.range(1)];
  const bool everywhere = state.range(0) != 0;
  state.SetLabel(std::string(picture.name) + (everywhere ? ", tiles and badges" : ", tiles"));
  Session& shared = session();
  const std::size_t size = StandinProcess::start().serve(static_cast<int>(state.range(1)), everywhere);
  PhaseResult hostile;
  for (auto _ : state) hostile = showPanel(shared.baseline, picture.side);
  ::malloc_trim(0);
  state.counters["usual_peak_mb"] = shared.usual.peakMegabytes;
  state.counters["usual_stretch_ms"] = shared.usual.longestStretchMs;
  state.counters["usual_tiles"] = shared.usual.showing.tiles;
  state.counters["peak_mb"] = hostile.peakMegabytes;
  state.counters["growth_mb"] = hostile.peakMegabytes - shared.usual.peakMegabytes;
  state.counters["stretch_ms"] = hostile.longestStretchMs;
  state.counters["tiles"] = hostile.showing.tiles;
  state.counters["badges"] = hostile.showing.badges;
  state.counters["counted_mb"] = hostile.showing.countedMegabytes;
  state.counters["file_kb"] = double(size) / 1024;
}
// Each picture on the tiles (covers and the strip's tiles) only, then on their badges too,
// one picture after the other: the last one, refused on tiles, is remembered refused there.
BENCHMARK(BM_HomePanelWithHostilePicture)
    ->ArgsProduct({{0, 1}, benchmark::CreateDenseRange(0, kPictureCount - 1, 1)})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Before any thread starts: the stand-in's process is forked from this one.
  return bench::runOnDesktop(argc, argv, GLIMDECK_SOURCE_DIR, "glimdeck-bench-memory", [] {
    setenv("GLIMDECK_SERVICE_URL", StandinProcess::start().baseURL().c_str(), 1);
  });
}
