// The Cairo context's work follows what is drawn: a repaint of part of the canvas gives the
// pixels a whole repaint gives (shadows of shapes outside the part included), layers and
// shadows cost by what they hold rather than by the canvas, a shadow's blur and a
// picture's scaling are made once while they stay the same, and laid-out text is copied.

#include <cairo.h>

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/quartz/CALayer.h"
#include "platform/render/BlurredMaskCache.h"
#include "platform/quartz/CGPath.h"
#include "platform/render/CairoContext.h"
#include "platform/render/LayerRenderer.h"
#include "platform/render/TextPictureCache.h"
#include "tests/support/TestEnvironment.h"

namespace {

using Pixel = std::array<std::uint8_t, 4>;

class DrawingWorkTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    BlurredMaskCache::shared().clear();
  }
};

std::shared_ptr<CALayer> card(NSRect frame, CGColor colour, double blur, NSSize offset) {
  auto layer = CALayer::layer();
  layer->setFrame(frame);
  layer->setBackgroundColor(colour);
  layer->setCornerRadius(4);
  layer->setShadowOpacity(1);
  layer->setShadowColor(CGColor{0, 0, 0, 0.6});
  layer->setShadowRadius(blur);
  layer->setShadowOffset(offset);
  return layer;
}

// A white panel with two shadowed cards, one holding a faded, shadowed badge, and a label
// with the kit's text shadow.
std::shared_ptr<CALayer> scene() {
  auto root = CALayer::layer();
  root->setFrame(NSMakeRect(0, 0, 120, 100));
  root->setBackgroundColor(CGColor{1, 1, 1, 1});
  auto first = card(NSMakeRect(10, 40, 60, 40), {0.9, 0.2, 0.2, 1}, 6, {0, -5});
  auto badge = card(NSMakeRect(40, 10, 30, 16), {0.2, 0.2, 0.9, 1}, 3, {2, -2});
  badge->setOpacity(0.7);
  first->addSublayer(badge);
  root->addSublayer(first);
  root->addSublayer(card(NSMakeRect(80, 10, 30, 60), {0.2, 0.7, 0.3, 1}, 4, {-3, -3}));
  return root;
}

void drawLabel(GraphicsContext& context) {
  auto text = NSAttributedString::make("Trending", {{NSFontAttributeName, NSFont::fontWithName("AvenirNext-Bold", 14)},
                                                    {NSForegroundColorAttributeName, NSColor::whiteColor()}});
  context.saveGState();
  context.setShadow(CGShadow{{0, -1}, 2, {0, 0, 0, 0.8}});
  context.drawText(text, NSMakeRect(12, 80, 90, 18));
  context.restoreGState();
}

void drawScene(GraphicsContext& context, const std::shared_ptr<CALayer>& root) {
  LayerRenderer::render(root, context);
  drawLabel(context);
}

// A triangle whose slanted edges cut through pixels.
CGPath slantAcross(NSRect rect) {
  CGPath slant;
  slant.moveTo(rect.origin);
  slant.lineTo({rect.maxX(), rect.minY() + rect.height() / 3});
  slant.lineTo({rect.minX() + rect.width() / 4, rect.maxY()});
  slant.closePath();
  return slant;
}

int largestDifference(const CGImage& a, const CGImage& b) {
  int largest = 0;
  for (std::size_t i = 0; i < a.rgba.size() && i < b.rgba.size(); ++i) {
    largest = std::max(largest, std::abs(int(a.rgba[i]) - int(b.rgba[i])));
  }
  return a.rgba.size() == b.rgba.size() ? largest : 256;
}

TEST_F(DrawingWorkTest, RepaintingPartsGivesTheWholeRepaintsPixels) {
  auto root = scene();
  auto whole = CairoContext::make({120, 100}, 2);
  drawScene(*whole, root);
  // Parts that cut through cards, that hold only a shadow whose card lies outside them, and
  // that hold half a label.
  const NSRect parts[] = {
      NSMakeRect(10, 30, 60, 8),   // under the first card: its shadow only
      NSMakeRect(0, 60, 120, 6),   // across both cards
      NSMakeRect(66, 35, 16, 30),  // the first card's right edge and the second's left
      NSMakeRect(30, 8, 50, 10),   // through the badge and its shadow
      NSMakeRect(20, 84, 30, 12),  // half the label
      NSMakeRect(100, 0, 20, 20),  // the second card's corner
  };
  for (const NSRect& part : parts) {
    SCOPED_TRACE(testing::Message() << part.minX() << "," << part.minY() << " " << part.width() << "x" << part.height());
    auto canvas = CairoContext::make({120, 100}, 2);
    drawScene(*canvas, root);
    // What the desktop's window does with a damaged part: cleared, then repainted clipped.
    cairo_t* cr = cairo_create(canvas->surface());
    cairo_rectangle(cr, part.minX() * 2, (100 - part.maxY()) * 2, part.width() * 2, part.height() * 2);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_fill(cr);
    cairo_destroy(cr);
    canvas->saveGState();
    canvas->clipToRect(part);
    drawScene(*canvas, root);
    canvas->restoreGState();
    EXPECT_LE(largestDifference(canvas->pixels(), whole->pixels()), 2);
  }
}

TEST_F(DrawingWorkTest, LayersAndShadowsCostWhatTheyHold) {
  // A view's backing layer with a shadow but nothing of its own to draw (a tile's root).
  auto empty = CALayer::layer();
  empty->setFrame(NSMakeRect(20, 20, 100, 60));
  empty->setShadowOpacity(1);
  empty->setShadowColor(CGColor{0, 0, 0, 0.35});
  empty->setShadowRadius(2);
  empty->setShadowOffset({0, -2});
  auto canvas = CairoContext::make({800, 600}, 2);
  LayerRenderer::render(empty, *canvas);
  EXPECT_EQ(canvas->shadowPixelsBlurred(), 0u) << "no shadow without contents";
  for (std::uint8_t alpha : canvas->pixels().rgba) ASSERT_EQ(alpha, 0);

  // A card on a large canvas: its shadow is blurred over its own extent, not the canvas's.
  auto shadowed = card(NSMakeRect(20, 20, 100, 60), {1, 1, 1, 1}, 2, {0, -2});
  LayerRenderer::render(shadowed, *canvas);
  const std::size_t blurred = canvas->shadowPixelsBlurred();
  EXPECT_GT(blurred, 0u);
  EXPECT_LT(blurred, std::size_t((200 + 40) * (120 + 40)));
  // The same shape again, on another canvas or this one: the blur is taken from the first.
  auto other = CairoContext::make({800, 600}, 2);
  LayerRenderer::render(shadowed, *other);
  EXPECT_EQ(other->shadowPixelsBlurred(), 0u);
  EXPECT_EQ(largestDifference(canvas->pixels(), other->pixels()), 0);
  LayerRenderer::render(shadowed, *canvas);
  EXPECT_EQ(canvas->shadowPixelsBlurred(), blurred);
  // Drawn where the clip cannot see it or its shadow: nothing is made at all.
  auto far = CairoContext::make({800, 600}, 2);
  far->clipToRect(NSMakeRect(400, 400, 50, 50));
  LayerRenderer::render(card(NSMakeRect(30, 30, 90, 50), {1, 1, 1, 1}, 8, {0, -4}), *far);
  EXPECT_EQ(far->shadowPixelsBlurred(), 0u);
  // A layer at alpha 0 draws nothing into the canvas, text included.
  const std::size_t textBytes = TextPictureCache::shared().bytes();
  auto faded = CairoContext::make({200, 100}, 1);
  faded->beginTransparencyLayer(0);
  faded->setFillColor({1, 0, 0, 1});
  faded->fillRect(NSMakeRect(0, 0, 200, 100));
  faded->drawText(NSAttributedString::make("Copied to clipboard! (never laid out)"), NSMakeRect(0, 0, 200, 20));
  faded->endTransparencyLayer();
  for (std::uint8_t value : faded->pixels().rgba) ASSERT_EQ(value, 0);
  EXPECT_EQ(TextPictureCache::shared().bytes(), textBytes);
}

TEST_F(DrawingWorkTest, AShapesShadowIsBlurredOnceAndLeftOutWhereItsShapeWillCoverIt) {
  const auto tile = CGPath::roundedRect(NSMakeRect(0, 0, 60, 30), 6);
  auto cast = [&](CairoContext& canvas, NSPoint at, NSRect covered, NSRect alsoCovered = NSZeroRect) {
    canvas.saveGState();
    canvas.translate(at.x, at.y);
    canvas.setShadow(CGShadow{{0, -2}, 4, {0, 0, 0, 0.5}});
    canvas.castShadowOfPath(tile, CGFillRule::nonZero, covered, alsoCovered);
    canvas.restoreGState();
  };
  auto canvas = CairoContext::make({200, 100}, 2);
  cast(*canvas, {10.25, 20}, NSZeroRect);
  const std::size_t blurred = canvas->shadowPixelsBlurred();
  EXPECT_GT(blurred, 0u);
  // The same shape at another whole pixel, and the same place again: taken from the first,
  // even once the shared blur cache forgot it.
  BlurredMaskCache::shared().clear();
  cast(*canvas, {110.25, 20}, NSZeroRect);
  cast(*canvas, {10.25, 20}, NSZeroRect);
  EXPECT_EQ(canvas->shadowPixelsBlurred(), blurred);
  // The shadow that filling the shape casts, without the fill: the fill drawn after it
  // gives the pixels of a fill with the shadow.
  auto filled = CairoContext::make({200, 100}, 2);
  filled->translate(10.25, 20);
  filled->setShadow(CGShadow{{0, -2}, 4, {0, 0, 0, 0.5}});
  filled->setFillColor({0.2, 0.4, 0.9, 1});
  filled->fillPath(tile, CGFillRule::nonZero);
  auto alone = CairoContext::make({200, 100}, 2);
  cast(*alone, {10.25, 20}, NSZeroRect);
  const CGImage full = alone->pixels();
  alone->translate(10.25, 20);
  alone->setFillColor({0.2, 0.4, 0.9, 1});
  alone->fillPath(tile, CGFillRule::nonZero);
  EXPECT_EQ(largestDifference(alone->pixels(), filled->pixels()), 0);
  // Where the shape will be drawn opaquely, nothing is drawn; around it, all of it.
  auto around = CairoContext::make({200, 100}, 2);
  cast(*around, {10.25, 20}, NSInsetRect(NSMakeRect(0, 0, 60, 30), 6, 6));
  const CGImage cut = around->pixels();
  const int row = (100 - 35) * 2, inner = (10 + 30) * 2, edge = int(10.25 * 2) - 2;
  EXPECT_GT(full.rgba[(std::size_t(row) * full.width + inner) * 4 + 3], 0) << "a shadow under the middle";
  EXPECT_EQ(cut.rgba[(std::size_t(row) * cut.width + inner) * 4 + 3], 0) << "left out where covered";
  EXPECT_EQ(cut.rgba[(std::size_t(row) * cut.width + edge) * 4 + 3], full.rgba[(std::size_t(row) * full.width + edge) * 4 + 3])
      << "as it was beyond the edge";
  // Between its corners the shape covers its bounds from edge to edge: with the shape
  // filled over it, a shadow left out there gives the pixels of the whole one.
  const NSRect bounds = tile.boundingBox();
  for (NSPoint at : {NSPoint{10.25, 20}, NSPoint{40.6, 33.3}, NSPoint{70, 15.75}}) {
    SCOPED_TRACE(testing::Message() << "at " << at.x << ", " << at.y);
    auto whole = CairoContext::make({200, 100}, 2);
    auto crossed = CairoContext::make({200, 100}, 2);
    cast(*whole, at, NSZeroRect);
    cast(*crossed, at, NSInsetRect(bounds, 6, 0), NSInsetRect(bounds, 0, 6));
    EXPECT_NE(largestDifference(whole->pixels(), crossed->pixels()), 0) << "something was left out";
    for (auto* canvas : {whole.get(), crossed.get()}) {
      canvas->translate(at.x, at.y);
      canvas->setFillColor({0.2, 0.4, 0.9, 1});
      canvas->fillPath(tile, CGFillRule::nonZero);
    }
    EXPECT_EQ(largestDifference(whole->pixels(), crossed->pixels()), 0);
  }
}

// A rounded layer's mask is kept between paintings (a playing tile's face, at every frame):
// the kept mask gives the pixels of the mask drawn into each layer, at any place within a
// pixel, for any size, corner and scale, and again from the same mask a whole pixel away.
TEST_F(DrawingWorkTest, AKeptRoundedMaskGivesThePixelsOfOneDrawnForEachLayer) {
  struct Case {
    double scale;
    NSPoint at;
    NSRect rect;
    double radius;
  };
  const Case cases[] = {
      {1, {10, 10}, {0, 0, 60, 30}, 4},       {1, {10.25, 20.5}, {0, 0, 60.5, 30.25}, 4},
      {1, {5.66667, 3.3333}, {0, 0, 41.3, 52.7}, 8}, {2, {10.25, 20.5}, {0, 0, 60.5, 30.25}, 4},
      {2, {7.1, 9.9}, {0.5, 0.25, 33, 33}, 16.5},  {1, {3.5, 7}, {0, 0, 20, 10}, 30},
      {1.5, {12.2, 4.4}, {0, 0, 55, 44}, 6},
  };
  auto layer = [](CairoContext& canvas, NSPoint at, NSRect rect, double radius, bool kept) {
    canvas.saveGState();
    canvas.translate(at.x, at.y);
    canvas.beginTransparencyLayerWithRect(rect, 1);
    canvas.setFillColor({0.9, 0.6, 0.1, 1});
    canvas.fillRect(NSInsetRect(rect, -1, -1));
    canvas.setFillColor({0.1, 0.3, 0.8, 1});
    canvas.fillPath(slantAcross(rect), CGFillRule::nonZero);
    if (kept) {
      canvas.endTransparencyLayerMaskedToRoundedRect(rect, radius);
    } else {
      canvas.endTransparencyLayer([&](GraphicsContext& mask) {
        mask.setFillColor({0, 0, 0, 1});
        mask.fillRoundedRect(rect, radius);
      });
    }
    canvas.restoreGState();
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "scale " << c.scale << " at " << c.at.x << ", " << c.at.y << " radius " << c.radius);
    auto drawn = CairoContext::make({200, 100}, c.scale);
    auto kept = CairoContext::make({200, 100}, c.scale);
    for (double across : {0.0, 100.0}) {
      layer(*drawn, {c.at.x + across, c.at.y}, c.rect, c.radius, false);
      layer(*kept, {c.at.x + across, c.at.y}, c.rect, c.radius, true);
    }
    EXPECT_EQ(largestDifference(drawn->pixels(), kept->pixels()), 0);
  }
}

// Clips and fills of rectangles take a way of their own (no path is made, and a layer laid
// on inside a clip whose edges cut pixels goes through the clip only at its rim): they give
// the pixels of the same rectangles drawn and clipped as paths.
TEST_F(DrawingWorkTest, RectanglesClippedAndFilledGiveThePixelsOfTheirPaths) {
  struct Case {
    double scale;
    bool flipped;
    NSRect clip;  // where the layers are laid on, edges inside pixels or not
    NSRect rect;  // the rounded layer
  };
  const Case cases[] = {
      {1, false, {5.333, 4.394, 123.667, 50.606}, {5.333, 4.394, 123.667, 50.606}},
      {1, true, {10.25, 3.75, 60.5, 40.125}, {8, 2, 70, 50}},
      {2, false, {7.1, 9.9, 80.6, 30.3}, {7.1, 9.9, 80.6, 30.3}},
      {1.5, true, {0, 0, 120, 80}, {12.2, 4.4, 55, 44}},
      {2, true, {20, 10, 0.3, 40}, {15, 5, 30, 50}},
      {1, false, {30.5, 20.5, 40, 30}, {90, 60, 20, 20}},
  };
  auto draw = [](CairoContext& canvas, const Case& c, bool asPaths) {
    auto fill = [&](NSRect r) {
      if (asPaths) canvas.fillPath(CGPath::rect(r), CGFillRule::nonZero);
      else canvas.fillRect(r);
    };
    canvas.setFillColor({0.3, 0.5, 0.7, 1});
    fill(NSMakeRect(0, 0, 130, 90));
    canvas.saveGState();
    if (asPaths) canvas.clipToPath(CGPath::rect(c.clip), CGFillRule::nonZero);
    else canvas.clipToRect(c.clip);
    canvas.setFillColor({0.9, 0.1, 0.2, 0.8});
    fill(NSMakeRect(c.clip.minX() - 3.3, c.clip.midY(), c.clip.width() + 2.7, 7.45));
    // A rounded opaque face, a faded layer and a shadowed one.
    canvas.beginTransparencyLayerWithRect(c.rect, 1);
    canvas.setFillColor({0.95, 0.9, 0.2, 1});
    fill(NSInsetRect(c.rect, -0.5, -0.5));
    canvas.setFillColor({0.1, 0.6, 0.3, 0.7});
    canvas.fillEllipse(NSInsetRect(c.rect, c.rect.width() / 4, 1));
    canvas.endTransparencyLayerMaskedToRoundedRect(c.rect, 6.5);
    canvas.beginTransparencyLayer(0.55);
    canvas.setFillColor({0.2, 0.2, 0.9, 1});
    fill(NSMakeRect(c.clip.minX() + 2.6, c.clip.minY() - 1.2, 17.3, c.clip.height() + 3));
    canvas.endTransparencyLayer();
    // Drawing well inside the clip, and a shape's shadow reaching out of it.
    const NSRect inside = NSInsetRect(c.clip, std::min(6.0, c.clip.width() / 3), std::min(6.0, c.clip.height() / 3));
    canvas.setFillColor({0.1, 0.3, 0.8, 0.9});
    canvas.fillPath(slantAcross(inside), CGFillRule::nonZero);
    canvas.setShadow(CGShadow{{0, -1}, 1, {0, 0, 0, 0.8}});
    canvas.drawText(NSAttributedString::make("Wg", {{NSFontAttributeName, NSFont::fontWithName("AvenirNext-Bold", 9)},
                                                    {NSForegroundColorAttributeName, NSColor::whiteColor()}}),
                    NSMakeRect(inside.minX(), inside.minY(), 40, 14));
    canvas.setFillColor({0.8, 0.8, 0.1, 1});
    canvas.fillEllipse(NSMakeRect(inside.midX(), inside.midY(), 4.3, 3.1));
    canvas.setShadow(CGShadow{{1, -2}, 3, {0, 0, 0, 0.6}});
    canvas.castShadowOfPath(CGPath::roundedRect(NSMakeRect(inside.minX() + 1.5, inside.midY(), 20.5, 9.25), 3),
                            CGFillRule::nonZero, NSZeroRect);
    canvas.beginTransparencyLayer(1);
    canvas.setFillColor({1, 1, 1, 1});
    fill(NSMakeRect(c.clip.maxX() - 10.7, c.clip.minY() + 1.3, 25, 9.9));
    canvas.endTransparencyLayer();
    canvas.restoreGState();
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "scale " << c.scale << (c.flipped ? " flipped" : "") << " clip " << c.clip.minX()
                                    << ", " << c.clip.minY() << " " << c.clip.width() << "x" << c.clip.height());
    auto rects = CairoContext::make({130, 90}, c.scale, c.flipped);
    auto paths = CairoContext::make({130, 90}, c.scale, c.flipped);
    draw(*rects, c, false);
    draw(*paths, c, true);
    EXPECT_EQ(largestDifference(rects->pixels(), paths->pixels()), 0);
  }
}

TEST(PixelBoxTest, TheOutsideOfHolesIsCoveredOnceByDisjointBoxes) {
  struct Case {
    const char* what;
    PixelBox area;
    std::vector<PixelBox> holes;
  };
  const Case cases[] = {
      {"no hole", {0, 0, 10, 10}, {}},
      {"a hole in the middle", {0, 0, 10, 10}, {{3, 3, 7, 7}}},
      {"a cross: only the corners are left", {0, 0, 10, 10}, {{2, 0, 8, 10}, {0, 2, 10, 8}}},
      {"a cross shrunk by a pixel", {0, 0, 10, 10}, {{3, 1, 7, 9}, {1, 3, 9, 7}}},
      {"holes reaching beyond the area", {5, 5, 15, 12}, {{0, 0, 8, 20}, {12, 7, 30, 9}}},
      {"overlapping holes", {0, 0, 10, 10}, {{1, 1, 6, 6}, {4, 4, 9, 9}}},
      {"a hole covering all", {0, 0, 10, 10}, {{-1, -1, 11, 11}}},
      {"an empty hole", {0, 0, 10, 10}, {{4, 4, 4, 8}}},
      {"an empty area", {3, 3, 3, 9}, {{0, 0, 5, 5}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto parts = PixelBox::outside(c.area, c.holes);
    for (int y = c.area.y0 - 2; y < c.area.y1 + 2; ++y) {
      for (int x = c.area.x0 - 2; x < c.area.x1 + 2; ++x) {
        const PixelBox pixel{x, y, x + 1, y + 1};
        bool expected = c.area.contains(pixel) && !c.area.empty();
        for (const auto& hole : c.holes) expected = expected && !hole.intersected(pixel).contains(pixel);
        int times = 0;
        for (const auto& part : parts) times += part.contains(pixel) && !part.empty() ? 1 : 0;
        ASSERT_EQ(times, expected ? 1 : 0) << "pixel " << x << ", " << y;
      }
    }
  }
}

TEST_F(DrawingWorkTest, AShadowCoveredWhereverTheClipShowsItIsNotMade) {
  struct Case {
    const char* what;
    NSRect clip;
    bool made;
  };
  // A 60 × 30 tile at (10, 20) whose corners are 6 round; its shadow reaches 6 or so beyond.
  const Case cases[] = {
      {"inside the middle", {30, 30, 20, 10}, false},
      {"across, between the corners", {20, 21, 40, 28}, false},
      {"a corner", {10, 20, 5, 5}, true},
      {"beyond the edge", {2, 30, 7, 5}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BlurredMaskCache::shared().clear();
    auto canvas = CairoContext::make({100, 60}, 2);
    canvas->clipToRect(c.clip);
    canvas->setShadow(CGShadow{{0, -2}, 4, {0, 0, 0, 0.5}});
    const NSRect tile = NSMakeRect(10, 20, 60, 30);
    canvas->castShadowOfPath(CGPath::roundedRect(tile, 6), CGFillRule::nonZero, NSInsetRect(tile, 6, 0),
                             NSInsetRect(tile, 0, 6));
    EXPECT_EQ(canvas->shadowPixelsBlurred() > 0, c.made);
  }
}

TEST_F(DrawingWorkTest, ALargeShapesShadowIsWorkedOutWhereTheClipNeedsIt) {
  // Larger than what is kept: the shadow is made for the clip alone, with the same pixels.
  const auto sheet = CGPath::roundedRect(NSMakeRect(10, 10, 1300, 900), 12);
  auto canvas = [&](bool filledWithShadow) {
    auto made = CairoContext::make({1320, 920}, 1);
    made->clipToRect(NSMakeRect(0, 0, 60, 60));
    made->setShadow(CGShadow{{0, -2}, 4, {0, 0, 0, 0.5}});
    made->setFillColor({0.2, 0.4, 0.9, 1});
    if (filledWithShadow) {
      made->fillPath(sheet, CGFillRule::nonZero);
    } else {
      made->castShadowOfPath(sheet, CGFillRule::nonZero, NSZeroRect);
      made->setShadow(std::nullopt);
      made->fillPath(sheet, CGFillRule::nonZero);
    }
    return made;
  };
  auto cast = canvas(false), filled = canvas(true);
  EXPECT_LT(cast->shadowPixelsBlurred(), std::size_t(200 * 200)) << "only around the clip";
  EXPECT_EQ(largestDifference(cast->pixels(), filled->pixels()), 0);
}

TEST_F(DrawingWorkTest, AGradientDrawnAgainAtTheSamePlaceIsCopied) {
  const std::vector<CGColor> colours{{0, 0, 0, 0.8}, {0, 0, 0, 0.4}, {0, 0, 0, 0}};
  auto shade = [&](CairoContext& canvas, NSPoint at) {
    canvas.saveGState();
    canvas.translate(at.x, at.y);
    canvas.clipToRect(NSMakeRect(0, 0, 80.5, 40.25));
    canvas.drawLinearGradient(colours, {0, 0.5, 1}, {0, 0}, {0, 40.25});
    canvas.restoreGState();
  };
  auto canvas = CairoContext::make({200, 100}, 2);
  shade(*canvas, {10, 10.5});
  const std::size_t made = canvas->gradientPixelsMade();
  EXPECT_GT(made, 0u);
  shade(*canvas, {10, 10.5});
  EXPECT_EQ(canvas->gradientPixelsMade(), made) << "copied";
  // A part of it repainted gives the pixels drawn before.
  auto part = CairoContext::make({200, 100}, 2);
  shade(*part, {10, 10.5});
  part->saveGState();
  part->clipToRect(NSMakeRect(30, 20, 20, 10));
  part->setFillColor({1, 1, 1, 1});
  part->fillRect(NSMakeRect(0, 0, 200, 100));
  shade(*part, {10, 10.5});
  part->restoreGState();
  auto whole = CairoContext::make({200, 100}, 2);
  whole->setFillColor({1, 1, 1, 1});
  whole->fillRect(NSMakeRect(30, 20, 20, 10));
  shade(*whole, {10, 10.5});
  EXPECT_EQ(largestDifference(part->pixels(), whole->pixels()), 0);
  // Elsewhere, it is worked out for its new place.
  shade(*canvas, {60, 10.5});
  EXPECT_GT(canvas->gradientPixelsMade(), made);
}

// A picture as a source without anywhere to keep what drawing makes of it.
struct PlainPicture : CGImageSource {
  explicit PlainPicture(const std::shared_ptr<NSImage>& image) : image(image) {}
  const CGImage* imageForDrawing() const override { return image->imageForDrawing(); }
  NSSize size() const override { return image->size(); }
  std::shared_ptr<NSImage> image;
};

TEST_F(DrawingWorkTest, APictureIsScaledOnceForEachSizeItIsShownAt) {
  // 4 × 4: a red and a green column, then blue and white.
  std::vector<std::uint8_t> rgba;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      Pixel p = x < 2 ? (y < 2 ? Pixel{255, 0, 0, 255} : Pixel{0, 255, 0, 255})
                      : (y < 2 ? Pixel{0, 0, 255, 255} : Pixel{255, 255, 255, 255});
      rgba.insert(rgba.end(), p.begin(), p.end());
    }
  }
  auto picture = NSImage::imageWithPixels(4, 4, rgba);
  auto made = [&] { return picture->drawingCache()->content.get(); };
  for (bool flipped : {false, true}) {
    SCOPED_TRACE(flipped ? "flipped" : "unflipped");
    auto kept = CairoContext::make({60, 60}, 2, flipped);
    auto plain = CairoContext::make({60, 60}, 2, flipped);
    kept->drawImage(picture, NSMakeRect(10, 10, 40, 40));
    plain->drawImage(std::make_shared<PlainPicture>(picture), NSMakeRect(10, 10, 40, 40));
    const void* first = made();
    ASSERT_NE(first, nullptr);
    EXPECT_LE(largestDifference(kept->pixels(), plain->pixels()), 8) << "upright and in place as drawn directly";
    kept->drawImage(picture, NSMakeRect(5, 12, 40, 40));
    EXPECT_EQ(made(), first) << "the same size again: made before";
    kept->drawImage(picture, NSMakeRect(10, 10, 20, 20));
    EXPECT_NE(made(), first) << "another size: made for it";
  }
}

TEST_F(DrawingWorkTest, TextIsLaidOutOnceAndCopiedAfter) {
  auto text = NSAttributedString::make("Funny cats", {{NSFontAttributeName, NSFont::fontWithName("AvenirNext-Bold", 16)},
                                                      {NSForegroundColorAttributeName, NSColor::blackColor()}});
  auto first = CairoContext::make({200, 60}, 2, true);
  const std::size_t before = TextPictureCache::shared().bytes();
  first->drawText(text, NSMakeRect(10, 10, 150, 24));
  const std::size_t kept = TextPictureCache::shared().bytes();
  EXPECT_GT(kept, before);
  // Moved by whole points, the same picture lands in the same pixels moved.
  auto second = CairoContext::make({200, 60}, 2, true);
  second->drawText(text, NSMakeRect(30, 20, 150, 24));
  EXPECT_EQ(TextPictureCache::shared().bytes(), kept);
  const CGImage a = first->pixels(), b = second->pixels();
  int inked = 0;
  for (int y = 0; y + 20 < a.height; ++y) {
    for (int x = 0; x + 40 < a.width; ++x) {
      const std::size_t at = (std::size_t(y) * a.width + x) * 4;
      const std::size_t moved = (std::size_t(y + 20) * b.width + x + 40) * 4;
      ASSERT_EQ(a.rgba[at + 3], b.rgba[moved + 3]) << x << "," << y;
      inked += a.rgba[at + 3] > 0;
    }
  }
  EXPECT_GT(inked, 200) << "real glyphs";
  // Another width lays the text out again.
  second->drawText(text, NSMakeRect(30, 20, 40, 24));
  EXPECT_GT(TextPictureCache::shared().bytes(), kept);
}

}  // namespace
