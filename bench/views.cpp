// Costs of the view paths a grid of tiles walks on every pointer move and scroll: hit
// testing through a few hundred tiles, pointer moves that check every tile's tracking
// area, and a resize that autoresizes all of them.

#include <benchmark/benchmark.h>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSTrackingArea.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

namespace {

// A 20 x 20 grid of 30-point tiles, each with a tile-sized tracking area and a badge.
std::shared_ptr<NSWindow> gridWindow() {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 600, 600), NSWindowStyleMaskBorderless);
  auto grid = NSView::initWithFrame(NSMakeRect(0, 0, 600, 600));
  grid->setFlipped(true);
  grid->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
  for (int row = 0; row < 20; ++row) {
    for (int column = 0; column < 20; ++column) {
      auto tile = NSView::initWithFrame(NSMakeRect(column * 30, row * 30, 28, 28));
      tile->autoresizingMask = NSViewMinXMargin | NSViewWidthSizable | NSViewMaxXMargin;
      tile->addSubview(NSView::initWithFrame(NSMakeRect(2, 2, 8, 8)));
      tile->addTrackingArea(NSTrackingArea::initWithRect(
          tile->bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways, tile, nullptr));
      grid->addSubview(tile);
    }
  }
  window->contentView()->addSubview(grid);
  return window;
}

void BM_HitTestGrid(benchmark::State& state) {
  auto window = gridWindow();
  auto root = window->frameView();
  double x = 0;
  for (auto _ : state) {
    x = x > 590 ? 0 : x + 7;
    benchmark::DoNotOptimize(root->hitTest({x, 600 - x}));
  }
}
BENCHMARK(BM_HitTestGrid);

void BM_PointerMoveOverGrid(benchmark::State& state) {
  auto window = gridWindow();
  auto app = NSApplication::sharedApplication();
  double x = 0;
  for (auto _ : state) {
    x = x > 590 ? 0 : x + 7;
    app->handleEvent(NSEvent::mouseEventWithType(NSEventType::mouseMoved, {x, x}, 0, 0, window->windowNumber(),
                                                 nullptr, 0, 0, 0));
  }
}
BENCHMARK(BM_PointerMoveOverGrid);

void BM_ResizeGrid(benchmark::State& state) {
  auto window = gridWindow();
  auto grid = window->contentView()->subviews().front();
  bool wide = false;
  for (auto _ : state) {
    wide = !wide;
    grid->setFrameSize({wide ? 900.0 : 600.0, 600});
  }
}
BENCHMARK(BM_ResizeGrid);

}  // namespace
