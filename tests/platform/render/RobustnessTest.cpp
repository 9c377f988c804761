#include <cmath>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSImage.h"
#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/quartz/CALayer.h"
#include "platform/render/CairoContext.h"
#include "platform/render/LayerRenderer.h"
#include "platform/render/RecordingContext.h"
#include "platform/appkit/Snapshot.h"
#include "tests/support/TestEnvironment.h"

namespace {

class RobustnessTest : public GlimdeckTest {};

TEST_F(RobustnessTest, CairoCanvasSurvivesNonsense) {
  struct Case {
    NSSize size;
    double scale;
    int width, height;
  } cases[] = {
      {{10, 5}, 2, 20, 10},   {{NAN, 5}, 1, 1, 5},      {{-3, -3}, 1, 1, 1},
      {{1e9, 2}, 1, 16384, 2}, {{4, 4}, INFINITY, 4, 4}, {{4, 4}, 100, 32, 32},
  };
  for (const auto& c : cases) {
    auto canvas = CairoContext::make(c.size, c.scale);
    EXPECT_EQ(canvas->pixelWidth(), c.width);
    EXPECT_EQ(canvas->pixelHeight(), c.height);
  }
  auto canvas = CairoContext::make({8, 8});
  canvas->restoreGState();  // nothing saved
  canvas->endTransparencyLayer();  // nothing begun
  canvas->scale(0, 0);  // would make the matrix singular
  canvas->drawImage(nullptr, NSMakeRect(0, 0, 8, 8));
  canvas->drawImage(NSImage::imageWithPixels(0, 0, {}), NSMakeRect(0, 0, 8, 8));
  canvas->drawText(nullptr, NSMakeRect(0, 0, 8, 8));
  canvas->drawLinearGradient({}, {}, {0, 0}, {8, 8});
  canvas->beginPath();
  canvas->addArc({4, 4}, -2, 0, 1, false);
  canvas->addArc({4, 4}, NAN, 0, 1, true);
  canvas->fillCurrentPath();
  // Layers left open or states left saved inside a layer are closed by its end.
  canvas->beginTransparencyLayer(NAN);
  canvas->saveGState();
  canvas->setFillColor({1, 0, 0, 1});
  canvas->fillRect(NSMakeRect(0, 0, 8, 8));
  canvas->endTransparencyLayer();
  auto centre = [&] {
    CGImage pixels = canvas->pixels();
    return NSImage::imageWithPixels(pixels.width, pixels.height, pixels.rgba)->pixelAt(4, 4);
  };
  EXPECT_EQ(centre(), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));
  canvas->fillRect(NSMakeRect(0, 0, 8, 8));  // the fill colour from before the layer again
  EXPECT_EQ(centre(), (std::array<std::uint8_t, 4>{0, 0, 0, 255}));
}

struct Drawer : CALayerDelegate {
  std::vector<NSRect> drawnIn;
  void drawLayer(CALayer& layer, GraphicsContext& context) override {
    drawnIn.push_back(layer.bounds());
    context.fillRect(layer.bounds());
  }
};

TEST_F(RobustnessTest, DelegateDrawsInTheLayersBoundsAndRedisplayIsFlagged) {
  auto parent = CALayer::layer();
  parent->setFrame(NSMakeRect(0, 0, 50, 50));
  auto layer = CALayer::layer();
  layer->setFrame(NSMakeRect(10, 10, 20, 20));
  layer->setBounds(NSMakeRect(5, 5, 20, 20));  // content scrolled by the bounds' origin
  auto drawer = std::make_shared<Drawer>();
  layer->delegate = drawer;
  parent->addSublayer(layer);
  auto recording = RecordingContext::make();
  LayerRenderer::render(parent, *recording);
  ASSERT_EQ(drawer->drawnIn.size(), 1u);
  auto fills = recording->all<Recorded::FillRect>();
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].second.toBase({5, 5}), NSMakePoint(10, 10));

  EXPECT_FALSE(layer->needsDisplay());
  layer->setNeedsDisplayOnBoundsChange(true);
  layer->setBounds(NSMakeRect(0, 0, 20, 20));
  EXPECT_FALSE(layer->needsDisplay());  // same size
  layer->setBounds(NSMakeRect(0, 0, 30, 20));
  EXPECT_TRUE(layer->needsDisplay());
  layer->displayIfNeeded();
  EXPECT_FALSE(layer->needsDisplay());

  drawer.reset();  // a released delegate is simply gone
  recording->clear();
  LayerRenderer::render(parent, *recording);
  EXPECT_EQ(recording->count<Recorded::FillRect>(), 0u);
}

// Writes itself under the colour's class name but without components.
class HollowColor : public NSObject, public NSCoding {
 public:
  std::string className() const override { return "NSColor"; }
  void encodeWithCoder(NSCoder& coder) const override { coder.encodeInt64(1, "NSColorSpace"); }
};

TEST_F(RobustnessTest, ColourArchiveWithoutComponentsDecodesAsNothing) {
  auto data = NSKeyedArchiver::archivedDataWithRootObject(std::make_shared<HollowColor>());
  ASSERT_TRUE(data.has_value());
  auto back = NSKeyedUnarchiver::unarchiveObjectWithData(*data);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, nullptr);
}

}  // namespace

namespace {

TEST_F(RobustnessTest, FlippedGeometryPutsSublayersFromTheTop) {
  auto root = CALayer::layer();
  root->setFrame(NSMakeRect(0, 0, 100, 100));
  root->setGeometryFlipped(true);
  auto child = CALayer::layer();
  child->setFrame(NSMakeRect(0, 0, 10, 10));
  child->setBackgroundColor(CGColor{1, 0, 0, 1});
  root->addSublayer(child);
  auto image = Snapshot::image(root, {100, 100});
  EXPECT_EQ(image->pixelAt(5, 5), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));  // top-left on screen
  EXPECT_EQ(image->pixelAt(5, 95)[3], 0);
  root->setGeometryFlipped(false);
  image = Snapshot::image(root, {100, 100});
  EXPECT_EQ(image->pixelAt(5, 95), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));  // bottom-left
}

}  // namespace
