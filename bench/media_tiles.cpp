// Costs of a panel of playing previews: CPU time per second of playback for 30 tiles (GIFs
// and movies mixed) with all of them visible, with 10 visible, and with none; decoded
// memory per tile; the time from a file to the first frame's pixels.
//
// One iteration plays one second on the manual clock in display steps of 1/60 s, as the
// desktop host would: after each step every tile whose picture changed is painted into a
// canvas of its own (2 pixels a point).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/av/AVPlayerLayer.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/render/CairoContext.h"
#include "standin/GifMaker.h"
#include "standin/MovieMaker.h"

namespace {

constexpr int kTiles = 30;
constexpr NSSize kTileSize{150, 112};
// A tiny rendition as the service sends it: 160 × 120, ten frames at ten a second.
const GifMaker::Look kLook{.width = 160, .height = 120, .frames = 10, .rgb = 0x3366cc, .loop = true};

std::filesystem::path mediaFolder() {
  static std::filesystem::path folder = [] {
    auto made = std::filesystem::temp_directory_path() / ("glimdeck-bench-media-" + std::to_string(::getpid()));
    std::filesystem::create_directories(made);
    std::ofstream(made / "tile.gif", std::ios::binary) << GifMaker::animated(kLook);
    std::ofstream(made / "tile.mp4", std::ios::binary) << MovieMaker::tinyMovie(kLook).value_or("");
    // Four seconds: more than the frame cache holds, so every pass decodes again.
    GifMaker::Look longer = kLook;
    longer.frames = 40;
    std::ofstream(made / "long.mp4", std::ios::binary) << MovieMaker::tinyMovie(longer).value_or("");
    std::atexit([] { std::filesystem::remove_all(folder); });
    return made;
  }();
  return folder;
}

std::shared_ptr<ManualClock> manualClock() {
  static auto clock = [] {
    auto made = std::make_shared<ManualClock>();
    Clock::setCurrent(made);
    NSApplication::sharedApplication();
    return made;
  }();
  return clock;
}

struct Tile {
  std::shared_ptr<NSView> view;
  std::shared_ptr<NSImageView> gif;       // a GIF tile
  std::shared_ptr<AVPlayerLayer> movie;   // or a movie tile
  std::shared_ptr<CairoContext> canvas;
  std::size_t shownFrame = SIZE_MAX;
  id loopObserver;
};

// The tiles as the grid sets them up: GIFs animate in image views, movies play muted in a
// player layer and loop by seeking back at each end.
struct Panel {
  std::shared_ptr<NSWindow> window;
  std::vector<Tile> tiles;
  std::size_t paints = 0;

  explicit Panel(int visible, const char* movieFile = "tile.mp4") {
    manualClock();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 5 * kTileSize.width, 6 * kTileSize.height),
                                           NSWindowStyleMaskBorderless);
    window->makeKeyAndOrderFront(nullptr);
    auto gifImage = *NSImage::initWithContentsOfFile(mediaFolder() / "tile.gif");
    for (int i = 0; i < kTiles; ++i) {
      Tile tile;
      NSRect frame = NSMakeRect((i % 5) * kTileSize.width, (i / 5) * kTileSize.height, kTileSize.width, kTileSize.height);
      if (i % 2 == 0) {
        tile.gif = NSImageView::initWithFrame(frame);
        tile.gif->setImageScaling(NSImageScaling::axesIndependently);
        tile.gif->setImage(gifImage);
        tile.view = tile.gif;
      } else {
        tile.view = NSView::initWithFrame(frame);
        tile.view->setWantsLayer(true);
        tile.movie = AVPlayerLayer::layer();
        tile.movie->setFrame(tile.view->layer()->bounds());
        tile.movie->setVideoGravity(AVLayerVideoGravityResize);
        tile.view->layer()->addSublayer(tile.movie);
        auto player = AVPlayer::initWithURL(NSURL::fileURLWithPath((mediaFolder() / movieFile).string()));
        player->volume = 0;
        player->actionAtItemEnd = AVPlayerActionAtItemEnd::none;
        tile.movie->setPlayer(player);
        std::weak_ptr<AVPlayer> weak = player;
        tile.loopObserver = NSNotificationCenter::defaultCenter()->addObserverForName(
            AVPlayerItemDidPlayToEndTimeNotification, player->currentItem(), nullptr,
            [weak](const std::shared_ptr<NSNotification>&) {
              if (auto p = weak.lock()) {
                p->seekToTime(kCMTimeZero);
                p->play();
              }
            });
        player->play();
      }
      tile.view->setHidden(i >= visible);
      tile.canvas = CairoContext::make(kTileSize, 2.0, false);
      window->contentView()->addSubview(tile.view);
      tiles.push_back(std::move(tile));
    }
    step();
  }

  // One display step: paints the tiles whose picture changed.
  void step() {
    for (auto& tile : tiles) {
      if (tile.view->isHidden()) continue;
      bool changed = tile.gif ? tile.gif->currentFrame() != tile.shownFrame : tile.movie->needsDisplay();
      if (!changed) continue;
      tile.canvas->saveGState();
      tile.canvas->translate(-tile.view->frame().minX(), -tile.view->frame().minY());
      ViewTreeRenderer::drawView(tile.view, *tile.canvas);
      tile.canvas->restoreGState();
      ++paints;
      if (tile.gif) tile.shownFrame = tile.gif->currentFrame();
      if (tile.movie) tile.movie->displayIfNeeded();
    }
  }

  void playOneSecond() {
    for (int i = 0; i < 60; ++i) {
      manualClock()->advance(1.0 / 60);
      step();
    }
  }

  std::size_t framesDecoded() const {
    std::size_t count = 0;
    for (const auto& tile : tiles) {
      if (tile.movie) count += tile.movie->player()->currentItem()->asset()->decoder()->framesDecoded();
    }
    return count;
  }
};

void BM_PlaybackSecond(benchmark::State& state) {
  Panel panel(static_cast<int>(state.range(0)), state.range(1) ? "long.mp4" : "tile.mp4");
  panel.playOneSecond();  // the first pass fills the frame caches
  std::size_t decodedBefore = panel.framesDecoded();
  std::size_t paintsBefore = panel.paints;
  for (auto _ : state) panel.playOneSecond();
  state.counters["tile_paints_per_s"] = double(panel.paints - paintsBefore) / double(state.iterations());
  state.counters["visible"] = double(state.range(0));
  state.counters["movie_past_cache"] = double(state.range(1));
  state.counters["frames_decoded_per_s"] =
      benchmark::Counter(double(panel.framesDecoded() - decodedBefore) / double(state.iterations()));
  NSRunLoop::main()->reset();
}
BENCHMARK(BM_PlaybackSecond)
    ->Args({30, 0})
    ->Args({10, 0})
    ->Args({0, 0})
    ->Args({30, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond);

void BM_DecodedMemoryPerTile(benchmark::State& state) {
  Panel panel(kTiles);
  for (auto _ : state) panel.playOneSecond();
  const auto& gif = panel.tiles[0].gif->image();
  std::size_t gifBytes = 0;
  for (const auto& frame : gif->frames()) gifBytes += frame.rgba.size();
  state.counters["gif_tile_bytes"] = double(gifBytes);
  state.counters["movie_tile_cached_bytes"] =
      double(panel.tiles[1].movie->player()->currentItem()->asset()->decoder()->cachedBytes());
  NSRunLoop::main()->reset();
}
BENCHMARK(BM_DecodedMemoryPerTile)->Iterations(2)->Unit(benchmark::kMillisecond);

// From the file on disk to the first frame's pixels in a tile's canvas.
void BM_FirstFrameGif(benchmark::State& state) {
  manualClock();
  auto path = mediaFolder() / "tile.gif";
  auto canvas = CairoContext::make(kTileSize, 2.0, false);
  for (auto _ : state) {
    auto view = NSImageView::initWithFrame(NSMakeRect(0, 0, kTileSize.width, kTileSize.height));
    view->setImageScaling(NSImageScaling::axesIndependently);
    view->setImage(*NSImage::initWithContentsOfFile(path));
    ViewTreeRenderer::drawView(view, *canvas);
  }
  NSRunLoop::main()->reset();
}
BENCHMARK(BM_FirstFrameGif)->Unit(benchmark::kMicrosecond);

void BM_FirstFrameMovie(benchmark::State& state) {
  manualClock();
  auto url = NSURL::fileURLWithPath((mediaFolder() / "tile.mp4").string());
  auto canvas = CairoContext::make(kTileSize, 2.0, false);
  for (auto _ : state) {
    auto view = NSView::initWithFrame(NSMakeRect(0, 0, kTileSize.width, kTileSize.height));
    view->setWantsLayer(true);
    auto layer = AVPlayerLayer::playerLayerWithPlayer(AVPlayer::initWithURL(url));
    layer->setFrame(view->layer()->bounds());
    layer->setVideoGravity(AVLayerVideoGravityResize);
    view->layer()->addSublayer(layer);
    layer->player()->play();
    ViewTreeRenderer::drawView(view, *canvas);
    if (!layer->isReadyForDisplay()) state.SkipWithError("no first frame");
  }
  NSRunLoop::main()->reset();
}
BENCHMARK(BM_FirstFrameMovie)->Unit(benchmark::kMicrosecond);

}  // namespace
