// A playing tile's face and shadow take short ways at every frame (the shadow in its corners
// copied from a coloured picture, Cairo's state saved only when it changes, clips that cut
// nothing left out): each gives the pixels of the plain way, whatever the scale, the place
// within a pixel, the blur, the corner and the clip.

#include <functional>
#include <vector>

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSImage.h"
#include "platform/quartz/CGPath.h"
#include "platform/render/BlurredMaskCache.h"
#include "platform/render/CairoContext.h"
#include "tests/support/TestEnvironment.h"

namespace tile_face {

class TileFaceTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    BlurredMaskCache::shared().clear();
  }
};

// How many canvas pixels differ (all of them when the sizes do).
std::size_t pixelsDiffering(const CGImage& a, const CGImage& b) {
  if (a.rgba.size() != b.rgba.size()) return a.rgba.size() / 4;
  std::size_t differing = 0;
  for (std::size_t i = 0; i < a.rgba.size(); i += 4) {
    differing += !std::equal(a.rgba.begin() + long(i), a.rgba.begin() + long(i) + 4, b.rgba.begin() + long(i));
  }
  return differing;
}

// What lies under a tile: an opaque panel, and a faded band across it.
void underneath(CairoContext& canvas) {
  canvas.setFillColor({0.93, 0.94, 0.95, 1});
  canvas.fillRect(NSMakeRect(0, 0, 160, 110));
  canvas.setFillColor({0.2, 0.5, 0.8, 0.4});
  canvas.fillRect(NSMakeRect(0, 40.5, 160, 13.25));
}

TEST_F(TileFaceTest, AShadowCastAroundItsCornersGivesThePixelsOfTheMaskedShadow) {
  struct Case {
    double scale;
    NSPoint at;  // where the 80 × 50 tile lies
    double radius, blur;
    NSSize offset;
    CGColor colour;
    double alpha;
  };
  const Case cases[] = {
      {1, {30, 25}, 8, 2, {0, -2}, {0, 0, 0, 0.35}, 1},
      {2, {30, 25}, 8, 2, {0, -2}, {0, 0, 0, 0.35}, 1},
      {1, {30.25, 24.6}, 6, 4, {0, -1}, {0.1, 0, 0.3, 0.8}, 1},
      {2, {30.25, 24.6}, 16, 6, {2, 3}, {0, 0, 0, 0.5}, 1},
      {1, {31, 26}, 4, 1, {0, 0}, {0.2, 0.2, 0.2, 1}, 0.6},
      {2, {29.5, 25.5}, 12, 3, {-1, -2}, {0, 0, 0, 0.6}, 1},
      {1, {30, 25}, 8, 2, {0.5, -1.5}, {0, 0, 0, 0.35}, 1},  // moved within pixels: the mask's way
      {1.5, {30, 25}, 8, 2, {0, -2}, {0, 0, 0, 0.35}, 1},
  };
  // The damaged part being repainted: the whole panel, the tile alone, one corner touched,
  // the middle only, a band crossing two corners, and edges inside pixels.
  const NSRect clips[] = {
      {0, 0, 160, 110},   {30, 25, 80, 50},     {20, 15, 14, 12},       {50, 35, 40, 30},
      {10, 60, 140, 20},  {27.3, 22.6, 85.1, 55.7}, {100.5, 20.25, 20, 60}, {0, 0, 160, 27},
  };
  for (const auto& c : cases) {
    for (const NSRect& clip : clips) {
      SCOPED_TRACE(testing::Message() << "scale " << c.scale << " at " << c.at.x << ", " << c.at.y << " radius "
                                      << c.radius << " blur " << c.blur << " clip " << clip.minX() << ", " << clip.minY()
                                      << " " << clip.width() << "x" << clip.height());
      const NSRect tile = NSMakeRect(c.at.x, c.at.y, 80, 50);
      auto cast = [&](bool throughPath) {
        auto canvas = CairoContext::make({160, 110}, c.scale);
        underneath(*canvas);
        canvas->saveGState();
        // A clip made from a path is not followed as a rectangle: the shadow goes the plain way.
        if (throughPath) canvas->clipToPath(CGPath::rect(clip), CGFillRule::nonZero);
        else canvas->clipToRect(clip);
        canvas->setAlpha(c.alpha);
        canvas->setShadow(CGShadow{c.offset, c.blur, c.colour});
        const double corner = std::min(c.radius, 25.0);
        canvas->castShadowOfPath(CGPath::roundedRect(tile, c.radius), CGFillRule::nonZero, NSInsetRect(tile, corner, 0),
                                 NSInsetRect(tile, 0, corner));
        // The face drawn after covers the rest.
        canvas->setShadow(std::nullopt);
        canvas->setFillColor({0.9, 0.3, 0.1, 1});
        canvas->fillPath(CGPath::roundedRect(tile, c.radius), CGFillRule::nonZero);
        canvas->restoreGState();
        return canvas->pixels();
      };
      const CGImage plain = cast(true), copied = cast(false);
      EXPECT_EQ(pixelsDiffering(plain, copied), 0u);
    }
  }
}

// Cairo's state is saved only when a matrix or clip is about to change, and a clip by a
// rectangle holding the clip is left out: each sequence of saves, moves, clips, layers and
// restores gives the pixels of the same fills laid out where they should land.
TEST_F(TileFaceTest, SavedStatesRestoreWhatChangedSinceWhicheverWayTheyWereSaved) {
  const CGColor red{0.9, 0.1, 0.1, 1}, blue{0.1, 0.2, 0.9, 0.7}, green{0.1, 0.7, 0.2, 1};
  auto fill = [](GraphicsContext& g, const CGColor& colour, NSRect rect) {
    g.setFillColor(colour);
    g.fillRect(rect);
  };
  // The fills laid out where they should land, with no saves, moves or clips.
  struct Fill {
    CGColor colour;
    NSRect rect;
  };
  struct Case {
    const char* what;
    std::function<void(CairoContext&)> steps;
    std::vector<Fill> expected;
  };
  const Case cases[] = {
      {"nested moves and a clip",
       [&](CairoContext& g) {
         g.saveGState();
         g.translate(10, 5);
         fill(g, red, {0, 0, 20, 10});
         g.saveGState();
         g.clipToRect({5, 5, 10, 10});
         fill(g, blue, {0, 0, 40, 40});
         g.restoreGState();
         fill(g, green, {30, 0, 10, 10});
         g.restoreGState();
         fill(g, blue, {0, 50, 10, 10});
       },
       {{red, {10, 5, 20, 10}}, {blue, {15, 10, 10, 10}}, {green, {40, 5, 10, 10}}, {blue, {0, 50, 10, 10}}}},
      {"a clip holding the clip, then a smaller one, undone",
       [&](CairoContext& g) {
         g.clipToRect({0, 0, 90, 70});
         g.saveGState();
         g.clipToRect({-10, -10, 200, 200});
         g.saveGState();
         g.clipToRect({20, 20, 30, 30});
         fill(g, red, {0, 0, 90, 70});
         g.restoreGState();
         fill(g, blue, {60, 0, 40, 30});
         g.restoreGState();
         fill(g, green, {0, 60, 100, 20});
       },
       {{red, {20, 20, 30, 30}}, {blue, {60, 0, 30, 30}}, {green, {0, 60, 90, 10}}}},
      {"moved inside a layer begun under a state saved unchanged",
       [&](CairoContext& g) {
         g.saveGState();
         g.beginTransparencyLayer(1);
         g.translate(20, 20);
         g.saveGState();
         g.translate(5, 0);
         fill(g, red, {0, 0, 10, 10});
         g.endTransparencyLayer();  // closes the state saved inside it
         fill(g, blue, {0, 0, 10, 10});
         g.restoreGState();
         g.restoreGState();  // nothing left to restore
         fill(g, green, {50, 50, 10, 10});
       },
       {{red, {25, 20, 10, 10}}, {blue, {0, 0, 10, 10}}, {green, {50, 50, 10, 10}}}},
      {"a mask drawn with moves it leaves unrestored",
       [&](CairoContext& g) {
         g.saveGState();
         g.beginTransparencyLayer(1);
         fill(g, red, {0, 0, 60, 60});
         g.endTransparencyLayer([&](GraphicsContext& mask) {
           mask.saveGState();
           mask.translate(10, 10);
           fill(mask, {0, 0, 0, 1}, {0, 0, 20, 20});
         });
         fill(g, blue, {40, 40, 10, 10});
         g.restoreGState();
       },
       {{red, {10, 10, 20, 20}}, {blue, {40, 40, 10, 10}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto steps = CairoContext::make({100, 80}, 1, true), expected = CairoContext::make({100, 80}, 1, true);
    c.steps(*steps);
    for (const Fill& f : c.expected) fill(*expected, f.colour, f.rect);
    EXPECT_EQ(pixelsDiffering(steps->pixels(), expected->pixels()), 0u);
  }
}

// A picture of the given size in one colour (alpha included).
std::shared_ptr<NSImage> pictureOf(int width, int height, std::array<std::uint8_t, 4> colour) {
  std::vector<std::uint8_t> rgba;
  for (int i = 0; i < width * height; ++i) rgba.insert(rgba.end(), colour.begin(), colour.end());
  // A darker first row shows where the picture lies.
  for (int x = 0; x < width; ++x) rgba[std::size_t(x) * 4] = 20;
  return NSImage::imageWithPixels(width, height, rgba);
}

// A rounded face's opaque background is held back while nothing else is drawn in its layer,
// and an opaque picture over all the layer holds replaces it: whether held back, laid on
// later or replaced, the pixels are those of the background drawn as a path at once.
TEST_F(TileFaceTest, AFacesBackgroundHeldBackGivesThePixelsOfOneDrawnAtOnce) {
  const auto opaque = pictureOf(40, 30, {200, 120, 40, 255});
  const auto faded = pictureOf(40, 30, {200, 120, 40, 128});
  const auto title = std::make_shared<int>(0);  // what the kept title is kept for
  struct Case {
    const char* what;
    double scale;
    bool flipped;
    NSRect face, clip, picture;
    std::shared_ptr<NSImage> image;
    bool textBetween;
    bool keptPicture = false;  // a rasterized title laid on after the picture
  };
  // The usual face and the whole canvas as the clip; the large face, copied on between its
  // corners at twice the scale; no picture.
  const NSRect face{20, 10, 80, 50}, all{0, 0, 120, 80}, large{8, 6, 100, 64}, none{0, 0, 0, 0};
  const Case cases[] = {
      {"an opaque picture over the whole face", 1, false, face, all, face, opaque, false},
      {"the same at twice the scale, flipped", 2, true, face, all, face, opaque, false},
      {"a picture short of the face", 1, false, face, all, {22, 10, 78, 50}, opaque, false},
      {"a picture with alpha", 1, false, face, all, face, faded, false},
      {"a face inside pixels", 2, false, {20.3, 10.6, 80, 50}, all, {20.3, 10.6, 80, 50}, opaque, false},
      {"a clip cutting the face on whole pixels", 1, false, face, {30, 0, 40, 35}, face, opaque, false},
      {"a clip cutting the face inside pixels", 2, false, face, {30.25, 0, 40.5, 35.75}, face, opaque, false},
      {"a larger picture clipped to a face inside pixels", 1, false, {20.33, 10.61, 80.2, 50.3},
       {20.33, 10.61, 80.2, 50.3}, {10.5, -5.2, 100, 80}, opaque, false},
      {"text with its shadow before the picture", 1, false, face, all, face, opaque, true},
      {"no picture", 1, false, face, all, none, nullptr, false},
      {"a large face", 2, false, large, all, large, opaque, false},
      {"a large face inside pixels, flipped", 2, true, {8.3, 6.55, 100.2, 64.1}, all, {8.3, 6.55, 100.2, 64.1},
       opaque, false},
      {"a large face cut by a clip across a corner", 2, false, large, {0, 0, 60.5, 80}, large, opaque, false},
      {"a large face with no picture and its title", 2, false, large, all, none, nullptr, true, true},
      {"no picture, a kept title", 1, false, face, all, none, nullptr, false, true},
      {"a picture and a kept title", 2, false, face, all, face, opaque, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto draw = [&](bool asPath) {
      auto canvas = CairoContext::make({120, 80}, c.scale, c.flipped);
      canvas->setFillColor({0.93, 0.94, 0.95, 1});
      canvas->fillRect(NSMakeRect(0, 0, 120, 80));
      canvas->saveGState();
      canvas->clipToRect(c.clip);
      canvas->beginTransparencyLayerWithRect(c.face, 1);
      canvas->setFillColor({0.3, 0.3, 0.35, 1});
      const NSRect background = NSInsetRect(c.face, -1, -1);
      if (asPath) canvas->fillPath(CGPath::rect(background), CGFillRule::nonZero);
      else canvas->fillRect(background);
      // A view inside clips to its bounds, as the face's own views do.
      canvas->clipToRect(c.clip);
      if (c.textBetween) {
        canvas->setShadow(CGShadow{{0, -1}, 1, {0, 0, 0, 0.8}});
        canvas->drawText(NSAttributedString::make("Wg"), NSMakeRect(c.face.minX() + 4, c.face.minY() + 4, 40, 14));
        canvas->setShadow(std::nullopt);
      }
      if (c.image) canvas->drawImage(c.image, c.picture);
      if (c.keptPicture) {
        const NSRect shade = NSMakeRect(c.face.minX(), c.face.minY(), c.face.width(), 20);
        canvas->drawKeptPicture(title, 1, shade, 1, [&](GraphicsContext& g) {
          g.setFillColor({0, 0, 0, 0.5});
          g.fillRect(shade);
          return true;
        });
      }
      canvas->endTransparencyLayerMaskedToRoundedRect(c.face, 6);
      canvas->restoreGState();
      return canvas->pixels();
    };
    EXPECT_EQ(pixelsDiffering(draw(true), draw(false)), 0u);
  }
}

}  // namespace tile_face
