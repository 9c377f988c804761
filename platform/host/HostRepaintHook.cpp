#include "platform/host/HostRepaintHook.h"

#include <glib-unix.h>
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/appkit/NSWindow.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/HostWindow.h"
#include "platform/quartz/DisplayRefresh.h"
#include "platform/render/CairoContext.h"

namespace {

constexpr int kCatchUpRounds = 8;
// Display passes a window gets before its fresh painting must have settled.
constexpr int kSettleRounds = 6;

bool samePixels(const CairoContext& a, const CairoContext& b) {
  cairo_surface_t* x = a.surface();
  cairo_surface_t* y = b.surface();
  const int height = cairo_image_surface_get_height(x);
  const int stride = cairo_image_surface_get_stride(x);
  return height == cairo_image_surface_get_height(y) && stride == cairo_image_surface_get_stride(y) &&
         std::memcmp(cairo_image_surface_get_data(x), cairo_image_surface_get_data(y),
                     static_cast<std::size_t>(height) * static_cast<std::size_t>(stride)) == 0;
}

// The clock of the held moment: time stands at the moment the hold began.
class HeldClock : public Clock {
 public:
  explicit HeldClock(double moment) : moment_(moment) {}
  double now() const override { return moment_; }

 private:
  double moment_;
};

// The clock after holds: another clock less the time held, so that time goes on from where
// it stood.
class ResumedClock : public Clock {
 public:
  ResumedClock(std::shared_ptr<Clock> base, double lag) : base_(std::move(base)), lag_(lag) {}
  double now() const override { return base_->now() - lag_; }

 private:
  std::shared_ptr<Clock> base_;
  double lag_;
};

}  // namespace

std::unique_ptr<HostRepaintHook> HostRepaintHook::install(DesktopHost& host) {
  const char* directory = std::getenv(Constants::directoryVariable);
  if (!directory || !*directory) return nullptr;
  return std::unique_ptr<HostRepaintHook>(new HostRepaintHook(host, directory));
}

HostRepaintHook::HostRepaintHook(DesktopHost& host, std::filesystem::path directory)
    : host_(host), directory_(std::move(directory)) {
  source_ = g_unix_signal_add(SIGUSR2, onSignal, this);
}

HostRepaintHook::~HostRepaintHook() {
  if (source_) g_source_remove(source_);
}

gboolean HostRepaintHook::onSignal(gpointer data) {
  auto* self = static_cast<HostRepaintHook*>(data);
  // Inside the desktop's dispatch: the repaint runs as the run loop's own work instead, where
  // the work that is due can run first.
  if (!std::exchange(self->pending_, true)) {
    NSRunLoop::main()->perform([host = DesktopHost::current()] {
      if (host && host->repaintHook_) host->repaintHook_->repaint();
    });
  }
  return G_SOURCE_CONTINUE;
}

void HostRepaintHook::repaint() {
  pending_ = false;
  // Time goes on from the clock the application runs on, unless that is the last hold's own.
  auto running = Clock::currentShared();
  if (running != resumed_) base_ = running;
  // Held on a display refresh: a picture that changed by then has its redraw due by then too
  // (redraws wait for the refresh at or after the change).
  const double moment = DisplayRefresh::atOrAfter(running->now());
  Clock::setCurrent(std::make_shared<HeldClock>(moment));
  // Due timers (a playing image's next frame) and queued work run at the held moment, and
  // what they set off (a decoded picture arriving) too, within a few rounds.
  for (int round = 0; round < kCatchUpRounds && NSRunLoop::main()->runOnce(); ++round) {
  }

  std::error_code ignored;
  std::filesystem::create_directories(directory_, ignored);
  std::ostringstream listing;
  std::vector<std::shared_ptr<HostWindow>> shown;
  for (auto& [_, hostWindow] : host_.windows_) shown.push_back(hostWindow);
  for (auto& hostWindow : shown) {
    auto window = hostWindow->window();
    if (!window || !window->isVisible() || !hostWindow->nativeId()) continue;
    // A picture a worker finishes meanwhile (a tile's next frame, decoded off the main thread)
    // reaches a fresh painting at once but the screen only at the next display pass. So the
    // window is shown and painted afresh until two fresh paintings agree: then the screen
    // shows what the last one does, and only pixels a display pass leaves stale differ.
    hostWindow->paintAndShowNow();
    auto fresh = hostWindow->repaintFromScratch();
    for (int round = 0; fresh && round < kSettleRounds; ++round) {
      hostWindow->paintAndShowNow();
      auto again = hostWindow->repaintFromScratch();
      const bool settled = again && samePixels(*fresh, *again);
      fresh = again;
      if (settled) break;
    }
    if (!fresh) continue;
    auto id = std::to_string(hostWindow->nativeId());
    if (!fresh->writePNG(directory_ / (id + ".png"))) continue;
    listing << id << ' ' << window->windowNumber() << ' ' << fresh->pixelWidth() << ' ' << fresh->pixelHeight()
            << '\n';
  }
  auto marker = directory_ / Constants::markerName;
  auto written = directory_ / (std::string(Constants::markerName) + ".part");
  {
    std::ofstream out(written, std::ios::trunc);
    out << listing.str();
  }
  std::filesystem::rename(written, marker, ignored);

  // Still until the picture of the screen has been taken: the marker goes away.
  auto started = std::chrono::steady_clock::now();
  while (std::filesystem::exists(marker, ignored) &&
         std::chrono::steady_clock::now() - started < std::chrono::duration<double>(Constants::longestHold)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  resumed_ = std::make_shared<ResumedClock>(base_, base_->now() - moment);
  Clock::setCurrent(resumed_);
}
