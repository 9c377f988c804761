// How long the drawing layer takes for what a popover frame needs: a styled layer tree
// rendered by Cairo, text measured, and a picture decoded.
#include <benchmark/benchmark.h>

#include <fstream>

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/quartz/CAGradientLayer.h"
#include "platform/render/CairoContext.h"
#include "platform/render/LayerRenderer.h"
#include "platform/render/RecordingContext.h"

namespace {

// A grid of tiles as the GIF grid shows them: rounded, shadowed, with a title gradient.
std::shared_ptr<CALayer> tileGrid(int tiles) {
  auto root = CALayer::layer();
  root->setFrame(NSMakeRect(0, 0, 400, 600));
  root->setBackgroundColor(CGColor{1, 1, 1, 1});
  for (int i = 0; i < tiles; ++i) {
    auto tile = CALayer::layer();
    tile->setFrame(NSMakeRect(10 + (i % 3) * 130, 10 + (i / 3) * 110, 120, 100));
    tile->setBackgroundColor(CGColor{0.16, 0.16, 0.16, 1});
    tile->setCornerRadius(4);
    tile->setMasksToBounds(true);
    tile->setShadowOpacity(1);
    tile->setShadowColor(CGColor{0, 0, 0, 0.35});
    tile->setShadowOffset({0, -2});
    tile->setShadowRadius(2);
    auto gradient = CAGradientLayer::layer();
    gradient->setFrame(tile->bounds());
    gradient->colors = {{0, 0, 0, 0.8}, {0, 0, 0, 0.4}, {0, 0, 0, 0}};
    gradient->locations = {0, 0.5, 1};
    tile->addSublayer(gradient);
    root->addSublayer(tile);
  }
  return root;
}

void BM_RenderTileGridWithCairo(benchmark::State& state) {
  auto root = tileGrid(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto canvas = CairoContext::make({400, 600}, 1.0);
    LayerRenderer::render(root, *canvas);
    benchmark::DoNotOptimize(canvas.get());
  }
}
BENCHMARK(BM_RenderTileGridWithCairo)->Arg(6)->Arg(15);

void BM_RecordTileGrid(benchmark::State& state) {
  auto root = tileGrid(15);
  for (auto _ : state) {
    auto recording = RecordingContext::make();
    LayerRenderer::render(root, *recording);
    benchmark::DoNotOptimize(recording->calls().size());
  }
}
BENCHMARK(BM_RecordTileGrid);

void BM_MeasureAttributedText(benchmark::State& state) {
  auto text = NSAttributedString::make("Search Zolto for the perfect reaction GIF",
                                       {{NSFontAttributeName, NSFont::fontWithName("Avenir Next Regular", 15)}});
  for (auto _ : state) benchmark::DoNotOptimize(text->sizeInWidth(200));
}
BENCHMARK(BM_MeasureAttributedText);

void BM_DecodePng(benchmark::State& state) {
  // A picture rendered, written as PNG and read back stands in for media of that size.
  auto canvas = CairoContext::make({200, 150}, 1.0);
  LayerRenderer::render(tileGrid(3), *canvas);
  auto path = std::filesystem::temp_directory_path() / "glimdeck-bench-decode.png";
  (void)canvas->writePNG(path);
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  auto data = NSData::make(std::move(bytes));
  for (auto _ : state) benchmark::DoNotOptimize(NSImage::initWithData(data));
  std::filesystem::remove(path);
}
BENCHMARK(BM_DecodePng);

}  // namespace
