// Costs of a panel of playing tiles on a real desktop: a panel-sized window (400 × 600
// points) shown by the desktop host in an X server at a window scale of 1 or 2, holding the
// GIF grid with its real collection view and cells (tags with the stand-in's tiny cover
// GIFs, each cell with its drop shadow and title), played on the real clock through the
// application's own run loop, so that every frame change goes the way the application's
// does: the image view marks itself at the display's refresh, the window's damaged part is
// painted into the host's canvas and the desktop shows it. Thirty tiles take three columns;
// fourteen, two columns as on the home panel.
//
// One iteration plays one second (GLIMDECK_BENCH_ITERATIONS sets how many, for a profile).
// Counters:
//   cpu_pct       the process's CPU (every thread: decoding workers too) per second of playback,
//                 in percent of one core;
//   baseline_pct  giflib decoding the frames the tiles showed in that second and scaling each
//                 to its tile's pixel size with Cairo (what a plain program spends to have them);
//   ratio         cpu_pct / baseline_pct, a ratio of the two means (goal ≤ 3);
//   frames_per_s  tile frames shown a second, paints_per_s the desktop's window paints.
// The grid without its window (closed panel) must cost nothing.
//
// Without a display the program runs itself again inside an X server of its own.

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <gdk/gdkx.h>
#include <gif_lib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

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
constexpr double kFramesPerSecond = 10;  // as the stand-in's GIFs play

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

double processSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Runs the application's run loop on the real clock for a while, as the application does.
void play(double seconds) {
  auto loop = NSRunLoop::main();
  auto stop = loop->scheduleAfter(seconds, [loop] { loop->stop(); });
  loop->run();
}

// What a plain program spends to have a GIF's frames at a size: giflib decodes the file,
// each frame is composed onto the canvas and scaled into a surface of the size by Cairo.
// Answers the number of frames.
int decodeAndScale(const std::filesystem::path& path, int width, int height) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif || DGifSlurp(gif) != GIF_OK) std::abort();
  int w = gif->SWidth, h = gif->SHeight;
  cairo_surface_t* canvas = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_surface_t* scaled = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  for (int f = 0; f < gif->ImageCount; ++f) {
    const SavedImage& image = gif->SavedImages[f];
    GraphicsControlBlock control{};
    DGifSavedExtensionToGCB(gif, f, &control);
    const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
    cairo_surface_flush(canvas);
    auto* pixels = cairo_image_surface_get_data(canvas);
    int stride = cairo_image_surface_get_stride(canvas);
    const GifImageDesc& d = image.ImageDesc;
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
    cairo_t* cr = cairo_create(scaled);
    cairo_scale(cr, double(width) / w, double(height) / h);
    cairo_set_source_surface(cr, canvas, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(scaled);
  }
  cairo_surface_destroy(scaled);
  cairo_surface_destroy(canvas);
  int frames = gif->ImageCount;
  DGifCloseFile(gif, &error);
  return frames;
}

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
  // Each playing tile's file and the pixel size of its image view.
  std::vector<std::tuple<std::filesystem::path, int, int>> shownMedia() const {
    std::vector<std::tuple<std::filesystem::path, int, int>> media;
    for (const auto& cell : cells()) {
      auto view = cell->gif.lock();
      if (!view || !view->image()) continue;
      auto index = std::stoi(cell->contentLabel.lock()->stringValue().substr(4));
      NSSize size = view->frame().size;
      media.emplace_back(gifPath(index), int(size.width * scale), int(size.height * scale));
    }
    return media;
  }
};

void BM_PanelPlaying(benchmark::State& state) {
  const int tiles = static_cast<int>(state.range(0));
  Panel panel(tiles, static_cast<int>(state.range(1)));
  const auto media = panel.shownMedia();
  double cpu = 0, wall = 0, baseline = 0;
  std::size_t paintsBefore = panel.host->framesShown(panel.window);
  for (auto _ : state) {
    const double cpuStart = processSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    play(1.0);
    const double used = processSeconds() - cpuStart;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    // The same frames: every tile showed ten a second, each file's frames in turn.
    double baselineUsed = 0;
    for (const auto& [path, width, height] : media) {
      const double start = threadSeconds();
      const int frames = decodeAndScale(path, width, height);
      baselineUsed += (threadSeconds() - start) * kFramesPerSecond * elapsed / std::max(1, frames);
    }
    state.SetIterationTime(used);
    cpu += used;
    wall += elapsed;
    baseline += baselineUsed;
  }
  state.counters["tiles"] = double(media.size());
  state.counters["scale"] = double(state.range(1));
  state.counters["cpu_pct"] = 100 * cpu / wall;
  state.counters["baseline_pct"] = 100 * baseline / wall;
  state.counters["ratio"] = baseline > 0 ? cpu / baseline : 0;
  state.counters["frames_per_s"] = double(media.size()) * kFramesPerSecond;
  state.counters["paints_per_s"] = double(panel.host->framesShown(panel.window) - paintsBefore) / wall;
}
BENCHMARK(BM_PanelPlaying)
    ->ArgNames({"tiles", "scale"})
    ->Args({30, 1})
    ->Args({30, 2})
    ->Args({14, 1})
    ->Args({14, 2})
    ->Iterations(std::getenv("GLIMDECK_BENCH_ITERATIONS") ? std::atoi(std::getenv("GLIMDECK_BENCH_ITERATIONS")) : 2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The panel closed: its grid keeps its cells and images but nobody sees them.
void BM_PanelClosed(benchmark::State& state) {
  Panel panel(30, 1);
  panel.window->orderOut(nullptr);
  play(0.2);
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double cpuStart = processSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    play(1.0);
    const double used = processSeconds() - cpuStart;
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
    const double start = threadSeconds();
    auto image = *NSImage::initWithData(data);
    const double making = threadSeconds() - start;
    const double decodeStart = processSeconds();
    for (std::size_t i = 0; i < image->frameCount(); ++i) {
      if (!image->frame(i)) std::abort();
    }
    decoded += processSeconds() - decodeStart;
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
  if (!std::getenv("DISPLAY") && !std::getenv("GLIMDECK_BENCH_IN_SESSION")) {
    // An X server and a session bus of its own, as the desktop host's tests have.
    std::string script = std::string(GLIMDECK_SOURCE_DIR) + "/tests/platform/host/in-x-session.sh";
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<char*> arguments{script.data(), self.data()};
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    setenv("GLIMDECK_BENCH_IN_SESSION", "1", 1);
    execv(script.c_str(), arguments.data());
    std::perror("bench_media_tiles: cannot start an X session");
    return 1;
  }
  // The application's folders in a place of their own.
  homeFolder() = std::filesystem::temp_directory_path() / ("glimdeck-bench-tiles-" + std::to_string(::getpid()));
  for (auto [name, sub] : {std::pair{"HOME", ""}, {"XDG_CACHE_HOME", ".cache"}, {"XDG_DATA_HOME", ".local/share"},
                           {"XDG_CONFIG_HOME", ".config"}}) {
    std::filesystem::create_directories(homeFolder() / sub);
    setenv(name, (homeFolder() / sub).c_str(), 1);
  }
  NSApplication::sharedApplication();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(homeFolder());
  return 0;
}
