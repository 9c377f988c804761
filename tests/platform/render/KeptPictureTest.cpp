// Layers that rasterize: laid on from a picture the context keeps of their tree (with what
// their views host), it shows what drawing the tree straight shows; after any change in the
// tree the picture is made again and the window's kept pixels equal a full painting, while
// with no change in it (however the picture under it changes) nothing in it is drawn again.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/quartz/CABasicAnimation.h"
#include "platform/quartz/CAGradientLayer.h"
#include "platform/quartz/CALayer.h"
#include "platform/render/CairoContext.h"
#include "platform/render/KeptPictures.h"
#include "platform/render/LayerRenderer.h"
#include "platform/render/NSGraphicsContext.h"
#include "tests/support/RepaintCheck.h"
#include "tests/support/UISimulator.h"

namespace {

// The largest difference of a channel between two canvases of one size.
int largestDifference(const CairoContext& a, const CairoContext& b) {
  const CGImage x = a.pixels(), y = b.pixels();
  if (x.width != y.width || x.height != y.height) return 256;
  int most = 0;
  for (std::size_t i = 0; i < x.rgba.size(); ++i) most = std::max(most, std::abs(int(x.rgba[i]) - int(y.rgba[i])));
  return most;
}

// A layer tree of some kind, to be drawn straight and from a kept picture.
struct Scene {
  const char* what;
  std::function<std::shared_ptr<CALayer>()> make;
};

std::shared_ptr<CALayer> plainLayer(NSRect frame, CGColor colour) {
  auto layer = CALayer::layer();
  layer->setFrame(frame);
  layer->setBackgroundColor(colour);
  return layer;
}

std::shared_ptr<CAGradientLayer> shade(NSRect frame) {
  auto gradient = CAGradientLayer::layer();
  gradient->setFrame(frame);
  gradient->colors = {CGColor{0, 0, 0, 0.8}, CGColor{0, 0, 0, 0.4}, CGColor{0, 0, 0, 0}};
  gradient->locations = {0.0, 0.5, 1.0};
  return gradient;
}

TEST(KeptPictureTest, AKeptPictureShowsWhatDrawingStraightShows) {
  const Scene scenes[] = {
      {"a sublayer reaching out of its layer", [] {
         auto layer = plainLayer(NSMakeRect(10.25, 12.5, 60.5, 40.25), CGColor{0.2, 0.6, 0.9, 0.7});
         layer->addSublayer(plainLayer(NSMakeRect(40.5, 25.75, 50, 30.5), CGColor{0.9, 0.3, 0.1, 1}));
         return layer;
       }},
      {"a shade over the layer's whole bounds", [] {
         auto layer = CALayer::layer();
         layer->setFrame(NSMakeRect(5.5, 6.25, 90.5, 70.75));
         layer->addSublayer(shade(layer->bounds()));
         return layer;
       }},
      {"a layer casting a shadow", [] {
         auto layer = plainLayer(NSMakeRect(20.5, 20.25, 50.5, 30.5), CGColor{1, 1, 1, 1});
         layer->setShadowOpacity(0.7);
         layer->setShadowRadius(5);
         layer->setShadowOffset({3, -4});
         layer->setCornerRadius(6);
         layer->addSublayer(plainLayer(NSMakeRect(-8.5, 10, 20, 12.5), CGColor{0.1, 0.8, 0.2, 1}));
         return layer;
       }},
      {"rounded corners masking a gradient, with a border", [] {
         auto layer = plainLayer(NSMakeRect(8.75, 9.5, 80.5, 60.25), CGColor{0.3, 0.3, 0.3, 1});
         layer->setCornerRadius(10);
         layer->setMasksToBounds(true);
         layer->setBorderWidth(2.5);
         layer->setBorderColor(CGColor{0.9, 0.9, 0.1, 1});
         layer->addSublayer(shade(NSMakeRect(-10, -10, 100, 50)));
         return layer;
       }},
      {"a half transparent layer with a mask", [] {
         auto layer = plainLayer(NSMakeRect(12.5, 14.25, 70.5, 50.5), CGColor{0.8, 0.2, 0.6, 1});
         layer->setOpacity(0.55);
         auto mask = plainLayer(NSMakeRect(10.25, 5.5, 40.5, 30.25), CGColor{0, 0, 0, 0.6});
         mask->setCornerRadius(8);
         layer->setMask(mask);
         return layer;
       }},
      {"a flipped layer with a sublayer near its top", [] {
         auto layer = plainLayer(NSMakeRect(15.5, 10.5, 60.5, 50.5), CGColor{0.9, 0.9, 0.8, 1});
         layer->setGeometryFlipped(true);
         layer->addSublayer(plainLayer(NSMakeRect(5.25, 2.5, 30.5, 10.25), CGColor{0.2, 0.2, 0.7, 1}));
         return layer;
       }},
  };
  for (const auto& scene : scenes) {
    for (double scale : {1.0, 2.0}) {
      SCOPED_TRACE(std::string(scene.what) + " at scale " + std::to_string(scale));
      auto draw = [&](bool rasterize) {
        auto canvas = CairoContext::make({120, 100}, scale);
        canvas->setFillColor(CGColor{0.95, 0.7, 0.3, 1});
        canvas->fillRect(NSMakeRect(0, 0, 120, 100));
        canvas->translate(0.3, 0.6);
        auto layer = scene.make();
        layer->setShouldRasterize(rasterize);
        LayerRenderer::render(layer, *canvas);
        // Laid on again from the kept picture, over the same background.
        if (rasterize) {
          canvas->fillRect(NSMakeRect(-1, -1, 122, 102));
          LayerRenderer::render(layer, *canvas);
          EXPECT_EQ(canvas->keptPicturesMade(), 1u);
        }
        return canvas;
      };
      // Laid onto a clear picture first, then onto the canvas: each laying on rounds to 8 bits.
      EXPECT_LE(largestDifference(*draw(false), *draw(true)), 2);
    }
  }
}

TEST(KeptPictureTest, APictureIsMadeAgainForAnotherScaleOrFractionOfAPixelButNotForAWholePixelMove) {
  auto shaded = [](bool rasterize) {
    auto layer = CALayer::layer();
    layer->setFrame(NSMakeRect(10.25, 10.5, 40.5, 30.25));
    layer->addSublayer(shade(layer->bounds()));
    layer->setShouldRasterize(rasterize);
    return layer;
  };
  auto layer = shaded(true), straightLayer = shaded(false);
  struct Placement {
    const char* what;
    double dx, dy, scale;
    std::size_t made;  // pictures made by then
  };
  const Placement placements[] = {
      {"first", 0, 0, 1, 1},
      {"again", 0, 0, 1, 1},
      {"moved by whole pixels", 7, -3, 1, 1},
      {"moved by a fraction of a pixel", 7.5, -3, 1, 2},
      {"drawn at twice the scale", 7.5, -3, 2, 3},
      {"back at the first scale and place", 0, 0, 1, 4},
  };
  auto place = [](CairoContext& on, const std::shared_ptr<CALayer>& what, const Placement& placement) {
    on.saveGState();
    on.setFillColor(CGColor{0.2, 0.5, 0.9, 1});
    on.fillRect(NSMakeRect(0, 0, 120, 100));
    on.translate(placement.dx, placement.dy);
    on.scale(placement.scale, placement.scale);
    LayerRenderer::render(what, on);
    on.restoreGState();
  };
  auto canvas = CairoContext::make({120, 100}, 1.0);
  for (const auto& placement : placements) {
    SCOPED_TRACE(placement.what);
    place(*canvas, layer, placement);
    EXPECT_EQ(canvas->keptPicturesMade(), placement.made);
    auto straight = CairoContext::make({120, 100}, 1.0);
    place(*straight, straightLayer, placement);
    EXPECT_LE(largestDifference(*canvas, *straight), 2);
  }
}

TEST(KeptPictureTest, PicturesGoWithTheirOwnersAndBeyondTheBound) {
  auto picture = [](int width, int height) { return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height); };
  KeptPictures kept;
  auto first = std::make_shared<int>(1), second = std::make_shared<int>(2), third = std::make_shared<int>(3);
  const KeptPictures::Made made{7, {1, 0, 0, 1, 0.5, 0, 10, 10}};
  kept.keep(first, made, picture(10, 10));
  kept.keep(second, made, picture(10, 10));
  EXPECT_NE(kept.find(first.get(), made), nullptr);
  EXPECT_EQ(kept.find(first.get(), {8, made.placement}), nullptr);
  // An owner's new picture takes the place of its old one.
  kept.keep(first, {8, made.placement}, picture(20, 10));
  EXPECT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept.pixels(), 300);
  first.reset();
  kept.keep(third, made, picture(10, 10));
  EXPECT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept.pixels(), 200);
  // Too many pixels: the least recently used go, the newest stays.
  EXPECT_NE(kept.find(second.get(), made), nullptr);
  kept.keep(first = std::make_shared<int>(4), made, picture(4096, 2049));
  EXPECT_EQ(kept.size(), 1u);
  EXPECT_NE(kept.find(first.get(), made), nullptr);
}

// Draws a slanted shape and counts its drawings.
class CountingView : public NSView {
 public:
  static std::shared_ptr<CountingView> make(NSRect frame) {
    return finishInit(std::shared_ptr<CountingView>(new CountingView(frame)));
  }
  int drawn = 0;
  CGColor colour{0.9, 0.9, 0.2, 1};
  void drawRect(NSRect) override {
    ++drawn;
    auto& cg = NSGraphicsContext::currentContext()->CGContext();
    cg.setFillColor(colour);
    NSRect b = bounds();
    cg.moveTo(b.origin);
    cg.lineTo({b.maxX(), b.minY() + 3.5});
    cg.lineTo({b.minX() + b.width() / 3, b.maxY()});
    cg.closePath();
    cg.fillCurrentPath();
  }

 private:
  using NSView::NSView;
};

// Moves a property of the layer from one value to another over a second of the clock.
void animate(CALayer& layer, const char* keyPath, id from, id to) {
  auto animation = CABasicAnimation::animationWithKeyPath(keyPath);
  animation->fromValue = std::move(from);
  animation->toValue = std::move(to);
  animation->duration = 1.0;
  layer.addAnimation(animation, keyPath);
}

class RasterizedOverlayTest : public UITest, public ::testing::WithParamInterface<double> {
 protected:
  void SetUp() override {
    UITest::SetUp();
    check = RepaintCheck::install(GetParam());
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 260, 200), NSWindowStyleMaskBorderless);
    window->backgroundColor = NSColor::colorWithSRGBRed(0.9, 0.9, 0.95, 1);
    container = NSView::initWithFrame(NSMakeRect(10, 10, 230, 170));
    window->contentView()->addSubview(container);
    picture = NSView::initWithFrame(NSMakeRect(5, 5, 200, 150));
    picture->setWantsLayer(true);
    picture->layer()->setBackgroundColor(CGColor{0.2, 0.5, 0.3, 1});
    container->addSubview(picture);
    corner = NSView::initWithFrame(NSMakeRect(12.5, 14.5, 10, 8));
    corner->setWantsLayer(true);
    corner->layer()->setBackgroundColor(CGColor{0.7, 0.1, 0.1, 1});
    container->addSubview(corner);

    overlay = NSView::initWithFrame(NSMakeRect(10.25, 10.5, 180.5, 120.25));
    overlay->setWantsLayer(true);
    overlay->layer()->setShouldRasterize(true);
    gradient = shade(overlay->bounds());
    gradient->setAutoresizingMask(kCALayerWidthSizable | kCALayerHeightSizable);
    overlay->layer()->addSublayer(gradient);
    counted = CountingView::make(NSMakeRect(100.5, 60.25, 40.5, 30.5));
    counted->setShadow([] {
      auto shadow = NSShadow::make();
      shadow->shadowColor = NSColor::colorWithSRGBRed(0, 0, 0, 0.5);
      shadow->shadowOffset = NSSize{0, -2};
      shadow->shadowBlurRadius = 3;
      return shadow;
    }());
    overlay->addSubview(counted);
    title = NSTextField::labelWithString("Title");
    title->setTextColor(NSColor::whiteColor());
    title->setFrame(NSMakeRect(8, 8, 160, 22));
    title->autoresizingMask = NSViewWidthSizable;
    overlay->addSubview(title);
    container->addSubview(overlay);
    window->makeKeyAndOrderFront(nullptr);
  }
  void TearDown() override {
    window->orderOut(nullptr);
    RepaintCheck::uninstall();
    UITest::TearDown();
  }

  std::shared_ptr<NSView> container, picture, corner, overlay;
  std::shared_ptr<RepaintCheck> check;
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<CAGradientLayer> gradient;
  std::shared_ptr<CountingView> counted;
  std::shared_ptr<NSTextField> title;
};

struct Change {
  const char* what;
  std::function<void()> change;
  // Whether what the overlay holds is drawn again (its kept picture made again).
  bool drawnAgain;
};

TEST_P(RasterizedOverlayTest, AfterEachChangeThePictureIsMadeAgainOnlyIfItsTreeChangedAndThePixelsEqualAFullPainting) {
  ASSERT_EQ(check->mismatch(window), "");
  auto moving = CALayer::layer();
  // The picture under the overlay turns another colour.
  auto repaintUnder = [&](CGColor colour) { return [&, colour] { picture->layer()->setBackgroundColor(colour); }; };
  const Change changes[] = {
      {"the picture under the overlay changes", repaintUnder({0.6, 0.2, 0.8, 1}), false},
      {"a small view under a part of the overlay changes",
       [&] { corner->layer()->setBackgroundColor(CGColor{0.1, 0.1, 0.9, 1}); }, false},
      {"the title's text changes", [&] { title->setStringValue("Another title"); }, true},
      {"the title's colour changes", [&] { title->setTextColor(NSColor::colorWithSRGBRed(1, 0.8, 0.2, 1)); }, true},
      {"the shade's colours change", [&] { gradient->colors = {CGColor{0.1, 0, 0.3, 0.9}, CGColor{0, 0, 0, 0}}; }, true},
      {"a view inside draws otherwise", [&] {
         counted->colour = CGColor{0.1, 0.8, 0.9, 1};
         counted->setNeedsDisplay(true);
       }, true},
      {"the picture under it changes again", repaintUnder({0.9, 0.9, 0.9, 1}), false},
      {"the overlay is hidden", [&] { overlay->setHidden(true); }, false},
      {"it shows again", [&] { overlay->setHidden(false); }, true},
      {"it is resized", [&] { overlay->setFrameSize({150.25, 100.5}); }, true},
      {"it moves by a fraction of a point", [&] { overlay->setFrameOrigin({12.6, 9.3}); }, true},
      {"its container moves by whole points", [&] { container->setFrameOrigin({13, 8}); }, false},
      {"its container moves by a fraction of a point", [&] { container->setFrameOrigin({13.25, 8.5}); }, true},
      {"a sublayer is added", [&] {
         moving->setFrame(NSMakeRect(30.5, 40.25, 20.5, 10.5));
         moving->setBackgroundColor(CGColor{0.9, 0.4, 0.1, 1});
         overlay->layer()->addSublayer(moving);
       }, true},
      {"its layer starts to fade", [&] {
         animate(*overlay->layer(), "opacity", NSNumber::numberWithDouble(1), NSNumber::numberWithDouble(0.2));
       }, true},
      {"the fade is halfway", [&] { ui.advance(0.5); }, false},
      {"the picture under it changes while it fades", repaintUnder({0.3, 0.3, 0.6, 1}), false},
      {"the fade ends", [&] { ui.advance(0.75); }, true},
      {"a sublayer inside starts to move with the clock", [&] {
         animate(*moving, "position", NSValue::valueWithPoint({30.5, 40.25}), NSValue::valueWithPoint({90.5, 20.25}));
       }, true},
      {"it moves on", [&] { ui.advance(0.3); }, true},
      {"and on", [&] { ui.advance(0.3); }, true},
      {"it has stopped", [&] { ui.advance(0.6); }, true},
      {"the picture under it changes once more", repaintUnder({0.8, 0.5, 0.2, 1}), false},
  };
  for (const auto& step : changes) {
    SCOPED_TRACE(step.what);
    const int before = counted->drawn;
    step.change();
    check->paintedShare(window);  // the kept pixels painted where they changed
    EXPECT_EQ(counted->drawn > before, step.drawnAgain);
    EXPECT_EQ(check->mismatch(window), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, RasterizedOverlayTest, ::testing::Values(1.0, 2.0),
                         [](const auto& info) { return info.param == 1.0 ? "x1" : "x2"; });

}  // namespace
