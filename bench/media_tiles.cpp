// Costs of a panel of playing tiles on a real desktop: a panel-sized window (400 × 600
// points) shown by the desktop host in an X server at a window scale of 1 or 2, holding the
// GIF grid with its real collection view and cells (tags with the stand-in's tiny cover
// GIFs, each cell with its drop shadow and title), played on the real clock through the
// application's own run loop, so that every frame change goes the way the application's
// does: the image view marks itself at the display's refresh, the window's damaged part is
// painted into the host's canvas and the desktop shows it. Thirty tiles take three columns;
// fourteen, two columns as on the home panel.
//
// Beside it, in turn, the floor: a plain program that has decoded each GIF once with giflib,
// keeps its composed frames scaled to the tile's pixel size in Cairo surfaces, and at each
// frame change (each frame's own delay, on a refresh of the display) paints the tile's new
// frame into a window of its own of the same size on the same desktop.
//
// One iteration plays one second of each, the order alternating (GLIMDECK_BENCH_ITERATIONS
// sets how many, for a profile). Counters:
//   cpu_pct                the process's CPU (every thread: decoding workers too) per second
//                          of the application's playback, in percent of one core;
//   baseline_pct           the floor's CPU per second of its playback;
//   ratio                  cpu_pct / baseline_pct, a ratio of the two totals;
//   paints_per_s           the desktop's paints of the application's window, counted;
//   frames_per_s           tile frames the application showed, counted at those paints (a
//                          tile whose frame differs from the one it showed at the paint before);
//   baseline_paints_per_s  the floor's paints of its window (frame changes due together share
//                          one), and baseline_frames_per_s the tile frames it painted;
//   baseline_decode_ms     the floor's one decoding and scaling of all the tiles' GIFs.
// The grid without its window (closed panel) must cost nothing.
//
// Without a display the program runs itself again inside an X server of its own.

#include <benchmark/benchmark.h>
#include <cairo-xlib.h>
#include <cairo.h>
#include <gdk/gdkx.h>
#include <gif_lib.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

#include "bench/BenchSupport.h"
#include "bench/DesktopSession.h"
#include "browse/GifCell.h"
#include "browse/GifCollectionViewController.h"
#include "browse/WaterfallLayout.h"
#include "model/VNTag.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/host/DesktopHost.h"
#include "standin/Catalogue.h"
#include "standin/GifMaker.h"

namespace {

constexpr NSSize kPanel{400, 600};

std::filesystem::path& homeFolder() {
  static std::filesystem::path folder;
  return folder;
}

// The cover GIF of tile i: the stand-in's tiny rendition of its catalogue's item i, as
// the home grid's tags show them.
std::filesystem::path gifPath(int i) {
  static const auto catalogue = Catalogue::make();
  auto path = homeFolder() / ("tile-" + std::to_string(i) + ".gif");
  if (!std::filesystem::exists(path)) {
    const auto& item = catalogue->items().at(static_cast<std::size_t>(i));
    auto url = catalogue->mediaURL(item, "tinygif");
    auto file = catalogue->mediaFile(url.substr(catalogue->baseURL().size()));
    if (!file) std::abort();
    std::ofstream(path, std::ios::binary) << file->bytes();
  }
  return path;
}

// Runs the application's run loop on the real clock for a while, as the application does.
void play(double seconds) {
  auto loop = NSRunLoop::main();
  auto stop = loop->scheduleAfter(seconds, [loop] { loop->stop(); });
  loop->run();
}

// Where a playing tile shows: its GIF, and its image view's place in the window's pixels
// (origin at the top left, as the desktop counts them).
struct TilePlace {
  std::filesystem::path gif;
  int x = 0, y = 0, width = 0, height = 0;
};

// A GIF as a plain program keeps it for a tile: decoded once by giflib, each frame composed
// onto the GIF's canvas as the frame before it left it (its disposal honoured) and scaled to
// the tile's pixel size by Cairo, with the seconds each frame shows.
class PlainTile {
 public:
  PlainTile(const TilePlace& place, double startedAt) : place_(place), startedAt_(startedAt) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(place.gif.c_str(), &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
      std::fprintf(stderr, "bench_media_tiles: giflib cannot read %s\n", place.gif.c_str());
      std::abort();
    }
    const int w = gif->SWidth, h = gif->SHeight;
    cairo_surface_t* canvas = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    auto* pixels = cairo_image_surface_get_data(canvas);
    const int stride = cairo_image_surface_get_stride(canvas);
    std::vector<std::uint8_t> before;
    double passed = 0;
    for (int f = 0; f < gif->ImageCount; ++f) {
      const SavedImage& image = gif->SavedImages[f];
      GraphicsControlBlock control{};
      DGifSavedExtensionToGCB(gif, f, &control);
      const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
      const GifImageDesc& d = image.ImageDesc;
      cairo_surface_flush(canvas);
      if (control.DisposalMode == DISPOSE_PREVIOUS) before.assign(pixels, pixels + std::size_t(stride) * h);
      for (int y = 0; y < d.Height && d.Top + y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(pixels + (d.Top + y) * stride);
        for (int x = 0; x < d.Width && d.Left + x < w; ++x) {
          int index = image.RasterBits[y * d.Width + x];
          if (index == control.TransparentColor || !map || index >= map->ColorCount) continue;
          const GifColorType& c = map->Colors[index];
          row[d.Left + x] = 0xff000000u | (std::uint32_t(c.Red) << 16) | (std::uint32_t(c.Green) << 8) | c.Blue;
        }
      }
      cairo_surface_mark_dirty(canvas);
      cairo_surface_t* scaled = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, place.width, place.height);
      cairo_t* cr = cairo_create(scaled);
      cairo_scale(cr, double(place.width) / w, double(place.height) / h);
      cairo_set_source_surface(cr, canvas, 0, 0);
      cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
      cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
      cairo_paint(cr);
      cairo_destroy(cr);
      cairo_surface_flush(scaled);
      frames_.push_back(scaled);
      // A delay of 10 ms or less shows for 100 ms, as browsers (and the application) play it.
      const double delay = control.DelayTime / 100.0;
      passed += delay > 0.01 ? delay : 0.1;
      ends_.push_back(passed);
      cairo_surface_flush(canvas);
      if (control.DisposalMode == DISPOSE_BACKGROUND) {
        for (int y = std::max(0, d.Top); y < std::min(h, d.Top + d.Height); ++y) {
          auto* row = reinterpret_cast<std::uint32_t*>(pixels + y * stride);
          std::fill(row + std::max(0, d.Left), row + std::min(w, d.Left + d.Width), 0u);
        }
      } else if (control.DisposalMode == DISPOSE_PREVIOUS && !before.empty()) {
        std::copy(before.begin(), before.end(), pixels);
      }
      cairo_surface_mark_dirty(canvas);
    }
    cairo_surface_destroy(canvas);
    DGifCloseFile(gif, &error);
    if (frames_.empty()) std::abort();
  }
  ~PlainTile() {
    for (auto* frame : frames_) cairo_surface_destroy(frame);
  }
  PlainTile(const PlainTile&) = delete;
  PlainTile& operator=(const PlainTile&) = delete;

  // The frame due at `now` (seconds on the floor's clock); it plays for ever.
  std::size_t frameAt(double now) const {
    if (frames_.size() < 2) return 0;
    const double within = std::fmod(now - startedAt_, ends_.back());
    return std::min<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), within) - ends_.begin(),
                                 frames_.size() - 1);
  }
  // When the frame after the one due at `now` is due.
  double nextChange(double now) const {
    if (frames_.size() < 2) return std::numeric_limits<double>::infinity();
    const double pass = ends_.back();
    const double passStart = startedAt_ + std::floor((now - startedAt_) / pass) * pass;
    return passStart + ends_[frameAt(now)];
  }
  // Paints the frame due at `now` when it is not the one painted last; answers whether it did.
  bool paintIfChanged(cairo_t* cr, double now) {
    const std::size_t frame = frameAt(now);
    if (frame == shown_) return false;
    cairo_set_source_surface(cr, frames_[frame], place_.x, place_.y);
    cairo_rectangle(cr, place_.x, place_.y, place_.width, place_.height);
    cairo_fill(cr);
    shown_ = frame;
    return true;
  }

 private:
  TilePlace place_;
  double startedAt_ = 0;
  std::vector<cairo_surface_t*> frames_;
  std::vector<double> ends_;  // seconds into a pass at which each frame ends
  std::size_t shown_ = std::numeric_limits<std::size_t>::max();
};

double monotonicSeconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void sleepUntil(double seconds) {
  timespec t{};
  t.tv_sec = static_cast<time_t>(seconds);
  t.tv_nsec = static_cast<long>((seconds - double(t.tv_sec)) * 1e9);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
  }
}

// The floor: the same tiles as a plain program plays them, in a window of its own of the
// panel's pixel size beside the panel on the same desktop. Each tile's playback starts at its
// own moment, as each GIF arrives; frame changes due within one refresh of the display (60 a
// second) are painted together, as a toolkit's frame clock paints them, straight into the
// window (Cairo sends the tiles' pixels to the X server).
class PlainGrid {
 public:
  static constexpr double kRefresh = 1.0 / 60;

  PlainGrid(const std::vector<TilePlace>& places, double scale) {
    GdkWindowAttr attributes{};
    attributes.window_type = GDK_WINDOW_TOPLEVEL;
    attributes.wclass = GDK_INPUT_OUTPUT;
    attributes.x = 560;
    attributes.y = 100;
    attributes.width = int(kPanel.width);
    attributes.height = int(kPanel.height);
    window_ = gdk_window_new(nullptr, &attributes, GDK_WA_X | GDK_WA_Y);
    gdk_window_show(window_);
    display_ = gdk_window_get_display(window_);
    surface_ = cairo_xlib_surface_create(gdk_x11_display_get_xdisplay(display_), gdk_x11_window_get_xid(window_),
                                         gdk_x11_visual_get_xvisual(gdk_window_get_visual(window_)),
                                         int(kPanel.width * scale), int(kPanel.height * scale));
    gdk_display_sync(display_);
    std::mt19937 random(7);
    origin_ = monotonicSeconds();
    const double start = bench::threadCpuSeconds();
    for (const auto& place : places) {
      tiles_.push_back(std::make_unique<PlainTile>(place, origin_ - std::uniform_real_distribution(0.0, 1.0)(random)));
    }
    decodeSeconds_ = bench::threadCpuSeconds() - start;
    paintChanges(monotonicSeconds());
  }
  ~PlainGrid() {
    tiles_.clear();
    cairo_surface_destroy(surface_);
    gdk_window_destroy(window_);
    gdk_display_sync(display_);
  }

  struct Counts {
    std::size_t paints = 0;  // of the window
    std::size_t frames = 0;  // tile frames painted
  };
  // Plays on the real clock for `seconds`.
  Counts play(double seconds) {
    Counts counts;
    const double end = monotonicSeconds() + seconds;
    for (double now = monotonicSeconds(); now < end; now = monotonicSeconds()) {
      if (std::size_t painted = paintChanges(now)) {
        counts.frames += painted;
        ++counts.paints;
      }
      double next = std::numeric_limits<double>::infinity();
      for (const auto& tile : tiles_) next = std::min(next, tile->nextChange(now));
      // The refresh at (or next after) which the change falls due.
      sleepUntil(std::min(end, origin_ + std::ceil((next - origin_) / kRefresh) * kRefresh));
    }
    return counts;
  }
  double decodeSeconds() const { return decodeSeconds_; }

 private:
  std::size_t paintChanges(double now) {
    cairo_t* cr = cairo_create(surface_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    std::size_t painted = 0;
    for (const auto& tile : tiles_) painted += tile->paintIfChanged(cr, now) ? 1 : 0;
    cairo_destroy(cr);
    if (painted > 0) {
      cairo_surface_flush(surface_);
      gdk_display_flush(display_);
    }
    return painted;
  }

  GdkWindow* window_ = nullptr;
  GdkDisplay* display_ = nullptr;
  cairo_surface_t* surface_ = nullptr;
  double origin_ = 0;
  double decodeSeconds_ = 0;
  std::vector<std::unique_ptr<PlainTile>> tiles_;
};

// Counts the tile frames the application shows: at each paint of its window on the desktop,
// the tiles whose frame differs from the one they showed at the paint before.
class ShownFrames {
 public:
  ShownFrames(GtkWidget* toplevel, std::vector<std::shared_ptr<NSImageView>> views)
      : toplevel_(toplevel), views_(std::move(views)), last_(views_.size()) {
    for (std::size_t i = 0; i < views_.size(); ++i) last_[i] = views_[i]->currentFrame();
    handler_ = g_signal_connect(toplevel_, "draw", G_CALLBACK(onDraw), this);
  }
  ~ShownFrames() { g_signal_handler_disconnect(toplevel_, handler_); }
  ShownFrames(const ShownFrames&) = delete;
  ShownFrames& operator=(const ShownFrames&) = delete;

  std::size_t frames = 0;
  std::size_t paints = 0;

 private:
  static gboolean onDraw(GtkWidget*, cairo_t*, gpointer data) {
    auto* self = static_cast<ShownFrames*>(data);
    ++self->paints;
    for (std::size_t i = 0; i < self->views_.size(); ++i) {
      const std::size_t frame = self->views_[i]->currentFrame();
      if (frame != self->last_[i]) ++self->frames;
      self->last_[i] = frame;
    }
    return FALSE;
  }

  GtkWidget* toplevel_;
  std::vector<std::shared_ptr<NSImageView>> views_;
  std::vector<std::size_t> last_;
  gulong handler_ = 0;
};

// The grid of `tiles` tag tiles in a panel-sized window on the desktop, at a window scale.
struct Panel {
  std::shared_ptr<DesktopHost> host;
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<GifCollectionViewController> grid;
  double scale = 1;

  Panel(int tiles, int windowScale) : scale(windowScale) {
    host = DesktopHost::start();
    if (!host) std::abort();
    gdk_x11_display_set_window_scale(gdk_display_get_default(), windowScale);
    window = NSWindow::initWithContentRect(NSMakeRect(100, 100, kPanel.width, kPanel.height),
                                           NSWindowStyleMaskBorderless);
    grid = GifCollectionViewController::init();
    grid->view()->setFrame(window->contentView()->bounds());
    window->contentView()->addSubview(grid->view());
    // Two columns as the home grid has; three fit thirty tiles into the panel.
    grid->layout.lock()->setStreamCount(tiles > 15 ? 3 : 2);
    std::vector<std::shared_ptr<NSObject>> tags;
    for (int i = 0; i < tiles; ++i) {
      auto tag = VNTag::initWithNewApiData(
          {{"name", "tag " + std::to_string(i)}, {"image", "file://" + gifPath(i).string()}});
      tag->displayWidthToHeightRatio = tiles > 15 ? 2.2 : 2.5;
      tags.push_back(tag);
    }
    grid->preContent = tags;
    window->makeKeyAndOrderFront(nullptr);
    grid->reload();
    bool ready = NSRunLoop::main()->runUntil(
        [&] { return playingTiles() == int(cells().size()) && host->framesShown(window) > 0; }, 60.0);
    if (!ready) {
      std::fprintf(stderr, "bench_media_tiles: the tiles did not start playing\n");
      std::abort();
    }
    // The first frames decoded and shown, and the cells' progress pies done with their
    // sweep (the grid starts each at a random fraction over up to three seconds).
    play(3.5);
  }
  ~Panel() {
    window->orderOut(nullptr);
    grid->unload();
    play(0.05);
  }

  std::vector<std::shared_ptr<GifCell>> cells() const {
    std::vector<std::shared_ptr<GifCell>> found;
    for (const auto& item : grid->mainCollectionView.lock()->visibleItems()) {
      if (auto cell = std::dynamic_pointer_cast<GifCell>(item)) found.push_back(cell);
    }
    return found;
  }
  int playingTiles() const {
    int count = 0;
    for (const auto& cell : cells()) {
      auto view = cell->gif.lock();
      if (view && view->image() && view->image()->isAnimated()) ++count;
    }
    return count;
  }
  // Each playing tile's file and its image view's place in the window's pixels.
  std::vector<TilePlace> tilePlaces() const {
    std::vector<TilePlace> places;
    for (const auto& cell : cells()) {
      auto view = cell->gif.lock();
      if (!view || !view->image()) continue;
      auto index = std::stoi(cell->contentLabel.lock()->stringValue().substr(4));
      NSRect inWindow = view->convertRectToView(view->bounds(), nullptr);
      places.push_back({gifPath(index), int(std::lround(inWindow.minX() * scale)),
                        int(std::lround((kPanel.height - inWindow.maxY()) * scale)),
                        int(std::lround(inWindow.size.width * scale)), int(std::lround(inWindow.size.height * scale))});
    }
    return places;
  }
  std::vector<std::shared_ptr<NSImageView>> imageViews() const {
    std::vector<std::shared_ptr<NSImageView>> views;
    for (const auto& cell : cells()) {
      if (auto view = cell->gif.lock(); view && view->image()) views.push_back(view);
    }
    return views;
  }
  // The desktop's window that shows the panel.
  GtkWidget* toplevel() const {
    const auto id = host->nativeWindowId(window);
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* at = windows; at; at = at->next) {
      GdkWindow* shown = gtk_widget_get_window(GTK_WIDGET(at->data));
      if (shown && gdk_x11_window_get_xid(shown) == id) found = GTK_WIDGET(at->data);
    }
    g_list_free(windows);
    if (!found) {
      std::fprintf(stderr, "bench_media_tiles: the panel's window is not on the desktop\n");
      std::abort();
    }
    return found;
  }
};

void BM_PanelPlaying(benchmark::State& state) {
  const int tiles = static_cast<int>(state.range(0));
  const int scale = static_cast<int>(state.range(1));
  Panel panel(tiles, scale);
  PlainGrid plain(panel.tilePlaces(), scale);
  ShownFrames shown(panel.toplevel(), panel.imageViews());
  double cpu = 0, wall = 0, baselineCpu = 0, baselineWall = 0;
  std::size_t paints = 0, frames = 0;
  PlainGrid::Counts baseline;
  auto playApplication = [&] {
    const std::size_t paintsBefore = panel.host->framesShown(panel.window), framesBefore = shown.frames;
    const double cpuStart = bench::processCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    play(1.0);
    const double used = bench::processCpuSeconds() - cpuStart;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    cpu += used;
    paints += panel.host->framesShown(panel.window) - paintsBefore;
    frames += shown.frames - framesBefore;
    return used;
  };
  // The floor runs on this thread alone: its CPU is this thread's, untouched by whatever
  // the application's workers might still be finishing.
  auto playFloor = [&] {
    const double cpuStart = bench::threadCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    const auto counts = plain.play(1.0);
    baselineCpu += bench::threadCpuSeconds() - cpuStart;
    baselineWall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    baseline.paints += counts.paints;
    baseline.frames += counts.frames;
  };
  bool applicationFirst = true;
  for (auto _ : state) {
    double used = 0;
    if (applicationFirst) {
      used = playApplication();
      playFloor();
    } else {
      playFloor();
      used = playApplication();
    }
    applicationFirst = !applicationFirst;
    state.SetIterationTime(used);
  }
  if (wall <= 0 || baselineWall <= 0) return;
  state.counters["tiles"] = double(panel.imageViews().size());
  state.counters["scale"] = double(scale);
  state.counters["cpu_pct"] = 100 * cpu / wall;
  state.counters["baseline_pct"] = 100 * baselineCpu / baselineWall;
  state.counters["ratio"] = baselineCpu > 0 ? (cpu / wall) / (baselineCpu / baselineWall) : 0;
  state.counters["paints_per_s"] = double(paints) / wall;
  state.counters["frames_per_s"] = double(frames) / wall;
  state.counters["baseline_paints_per_s"] = double(baseline.paints) / baselineWall;
  state.counters["baseline_frames_per_s"] = double(baseline.frames) / baselineWall;
  state.counters["baseline_decode_ms"] = 1000 * plain.decodeSeconds();
}
BENCHMARK(BM_PanelPlaying)
    ->ArgNames({"tiles", "scale"})
    ->Args({30, 1})
    ->Args({30, 2})
    ->Args({14, 1})
    ->Args({14, 2})
    ->Iterations(std::getenv("GLIMDECK_BENCH_ITERATIONS") ? std::atoi(std::getenv("GLIMDECK_BENCH_ITERATIONS")) : 4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The panel closed: its grid keeps its cells and images but nobody sees them.
void BM_PanelClosed(benchmark::State& state) {
  Panel panel(30, 1);
  panel.window->orderOut(nullptr);
  play(0.2);
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double cpuStart = bench::processCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    play(1.0);
    const double used = bench::processCpuSeconds() - cpuStart;
    state.SetIterationTime(used);
    cpu += used;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  }
  state.counters["cpu_pct"] = 100 * cpu / wall;
}
BENCHMARK(BM_PanelClosed)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

// A hostile GIF arriving: 2000 × 2000 pixels in 64 frames (file_kb), a gigabyte when
// decoded whole. Counters: make_ms, the CPU the thread that makes its image
// spends (the grid makes it on the main thread); decode_s, the CPU of decoding every frame
// once (on the worker, or on the asking thread when the worker is idle); held_mb and
// peak_mb, the decoded bytes it holds once all frames were asked for, and the most at once.
void BM_HostileGifArrives(benchmark::State& state) {
  static const std::string bytes =
      GifMaker::animated({.width = 2000, .height = 2000, .frames = 64, .rgb = 0x3366cc, .loop = true});
  auto data = NSData::fromString(bytes);
  double made = 0, decoded = 0;
  std::size_t held = 0, peak = 0;
  for (auto _ : state) {
    const double start = bench::threadCpuSeconds();
    auto image = *NSImage::initWithData(data);
    const double making = bench::threadCpuSeconds() - start;
    const double decodeStart = bench::processCpuSeconds();
    for (std::size_t i = 0; i < image->frameCount(); ++i) {
      if (!image->frame(i)) std::abort();
    }
    decoded += bench::processCpuSeconds() - decodeStart;
    made += making;
    held = image->decodedBytes();
    peak = std::max(peak, image->gifFrames()->peakHeldBytes());
    state.SetIterationTime(making);
  }
  const double runs = double(state.iterations());
  state.counters["file_kb"] = double(bytes.size()) / 1024;
  state.counters["make_ms"] = 1000 * made / runs;
  state.counters["decode_s"] = decoded / runs;
  state.counters["held_mb"] = double(held) / (1 << 20);
  state.counters["peak_mb"] = double(peak) / (1 << 20);
}
BENCHMARK(BM_HostileGifArrives)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  bench::ensureDesktopSession(argc, argv, GLIMDECK_SOURCE_DIR);
  homeFolder() = bench::useFoldersOfItsOwn("glimdeck-bench-tiles");
  NSApplication::sharedApplication();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(homeFolder());
  return 0;
}
