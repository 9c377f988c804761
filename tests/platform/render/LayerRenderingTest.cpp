#include <cmath>
#include <numbers>

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/foundation/NSNumber.h"
#include "platform/quartz/CABasicAnimation.h"
#include "platform/quartz/CAGradientLayer.h"
#include "platform/render/LayerRenderer.h"
#include "platform/render/RecordingContext.h"
#include "platform/appkit/Snapshot.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A pie that sweeps from the bottom of its circle as "value" goes from 0 to 1, drawn in
// the border colour: the shape of the kit's progress layer.
class PieLayer : public CALayer {
 public:
  static std::shared_ptr<PieLayer> make() { return std::shared_ptr<PieLayer>(new PieLayer()); }
  double value = 0;

  bool needsDisplayForKey(std::string_view key) const override {
    return key == "value" || CALayer::needsDisplayForKey(key);
  }
  id valueForKeyPath(std::string_view key) const override {
    return key == "value" ? NSNumber::numberWithDouble(value) : CALayer::valueForKeyPath(key);
  }
  void setValueForKeyPath(std::string_view key, const id& v) override {
    if (key == "value") {
      if (auto n = asA<NSNumber>(v)) value = n->doubleValue();
    } else {
      CALayer::setValueForKeyPath(key, v);
    }
  }
  void drawInContext(GraphicsContext& context) override {
    double w = bounds().width(), h = bounds().height();
    NSPoint centre{w * 0.5, h * 0.5};
    double start = -std::numbers::pi / 2;
    context.beginPath();
    context.addArc(centre, std::min(w, h) / 3.0, start, (value + value) * std::numbers::pi + start, false);
    context.lineTo(centre);
    context.closePath();
    context.setFillColor(borderColor().value_or(CGColor{}));
    context.fillCurrentPath();
  }

 protected:
  std::shared_ptr<CALayer> makePresentationCopy() const override {
    auto copy = make();  // the value is not copied: animations set it
    copyPropertiesTo(*copy);
    return copy;
  }
};

class LayerRenderingTest : public GlimdeckTest {};

TEST_F(LayerRenderingTest, PieArcIsRecordedWithCentreRadiusAndAngles) {
  auto pie = PieLayer::make();
  pie->setFrame(NSMakeRect(0, 0, 40, 20));
  pie->setBorderColor(CGColor{1, 0, 0, 1});
  pie->value = 0.25;
  auto recording = RecordingContext::make();
  LayerRenderer::render(pie, *recording);
  auto arcs = recording->all<Recorded::AddArc>();
  ASSERT_EQ(arcs.size(), 1u) << recording->transcript();
  EXPECT_EQ(arcs[0].first.centre, NSMakePoint(20, 10));
  EXPECT_DOUBLE_EQ(arcs[0].first.radius, 20.0 / 3.0);
  EXPECT_DOUBLE_EQ(arcs[0].first.startAngle, -std::numbers::pi / 2);
  EXPECT_DOUBLE_EQ(arcs[0].first.endAngle, 0);
  EXPECT_FALSE(arcs[0].first.clockwise);
  auto fills = recording->all<Recorded::FillPath>();
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].second.fillColor, (CGColor{1, 0, 0, 1}));
  EXPECT_EQ(fills[0].first.path.arcs().size(), 1u);
  // The border colour paints the pie, not a border: the width stays 0.
  EXPECT_EQ(recording->count<Recorded::StrokeRoundedRect>() + recording->count<Recorded::StrokeRect>(), 0u);
}

TEST_F(LayerRenderingTest, AnimatedValueRedrawsFromThePresentationCopy) {
  auto pie = PieLayer::make();
  pie->setFrame(NSMakeRect(0, 0, 40, 20));
  auto sweep = CABasicAnimation::animationWithKeyPath("value");
  sweep->fromValue = NSNumber::numberWithDouble(0);
  sweep->toValue = NSNumber::numberWithDouble(1);
  sweep->duration = 1;
  pie->addAnimation(sweep, "value");
  pie->value = 1;
  advance(0.5);
  auto recording = RecordingContext::make();
  LayerRenderer::render(pie, *recording);
  auto arcs = recording->all<Recorded::AddArc>();
  ASSERT_EQ(arcs.size(), 1u);
  EXPECT_NEAR(arcs[0].first.endAngle, std::numbers::pi / 2, 1e-5);  // half way round
  advance(0.5);
  recording->clear();
  LayerRenderer::render(pie, *recording);
  EXPECT_NEAR(recording->all<Recorded::AddArc>()[0].first.endAngle, 1.5 * std::numbers::pi, 1e-9);
}

TEST_F(LayerRenderingTest, StylingIsRecordedInOrderWithinSavedStates) {
  auto root = CALayer::layer();
  root->setFrame(NSMakeRect(10, 20, 100, 50));
  root->setBackgroundColor(CGColor{1, 1, 1, 1});
  root->setCornerRadius(4);
  root->setBorderWidth(2);
  root->setBorderColor(CGColor{0, 0, 1, 1});
  root->setShadowOpacity(1);
  root->setShadowColor(CGColor{0, 0, 0, 0.35});
  root->setShadowOffset({0, -2});
  root->setShadowRadius(2);
  auto child = CALayer::layer();
  child->setFrame(NSMakeRect(5, 5, 10, 10));
  child->setBackgroundColor(CGColor{1, 0, 0, 1});
  child->setOpacity(0.5);
  auto under = CALayer::layer();
  under->setFrame(NSMakeRect(0, 0, 10, 10));
  under->setBackgroundColor(CGColor{0, 1, 0, 1});
  under->setZPosition(-1);
  root->addSublayer(child);
  root->addSublayer(under);

  auto recording = RecordingContext::make();
  LayerRenderer::render(root, *recording);
  auto shadows = recording->all<Recorded::SetShadow>();
  ASSERT_EQ(shadows.size(), 1u);
  EXPECT_EQ(*shadows[0].first.shadow, (CGShadow{{0, -2}, 2, {0, 0, 0, 0.35}}));
  EXPECT_GE(shadows[0].second.depth, 1);  // set inside a saved state, so it ends with it
  auto groups = recording->all<Recorded::BeginTransparencyLayer>();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].second.shadow, shadows[0].first.shadow);  // the whole layer casts it
  EXPECT_DOUBLE_EQ(groups[1].first.alpha, 0.5);
  EXPECT_FALSE(groups[1].second.shadow.has_value());

  auto rounded = recording->all<Recorded::FillRoundedRect>();
  ASSERT_EQ(rounded.size(), 1u);
  EXPECT_EQ(rounded[0].first.rect, NSMakeRect(0, 0, 100, 50));
  EXPECT_EQ(rounded[0].second.toBase({0, 0}), NSMakePoint(10, 20));
  auto fills = recording->all<Recorded::FillRect>();
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0].second.fillColor, (CGColor{0, 1, 0, 1}));  // lower z first
  EXPECT_EQ(fills[1].second.toBase({0, 0}), NSMakePoint(15, 25));
  auto border = recording->all<Recorded::StrokeRoundedRect>();
  ASSERT_EQ(border.size(), 1u);
  EXPECT_EQ(border[0].first.rect, NSMakeRect(1, 1, 98, 48));
  EXPECT_DOUBLE_EQ(border[0].first.radius, 3);
  EXPECT_EQ(border[0].second.lineWidth, 2);
  EXPECT_EQ(recording->count<Recorded::ClipToPath>(), 0u);
  EXPECT_EQ(recording->all<Recorded::SaveGState>().size(), recording->all<Recorded::RestoreGState>().size());
  EXPECT_EQ(recording->calls().back().state.depth, 0);

  // Clipping to the bounds clips the layer's shadow away; its rounded corners mask what it
  // draws, background included, with a filled shape.
  root->setMasksToBounds(true);
  recording->clear();
  LayerRenderer::render(root, *recording);
  EXPECT_EQ(recording->count<Recorded::SetShadow>(), 0u);
  auto ends = recording->all<Recorded::EndTransparencyLayer>();
  ASSERT_FALSE(ends.empty());
  EXPECT_TRUE(ends.back().first.masked);
  EXPECT_EQ(recording->count<Recorded::FillRoundedRect>(), 1u) << "the mask's shape, not the background's";

  root->setHidden(true);
  recording->clear();
  LayerRenderer::render(root, *recording);
  EXPECT_TRUE(recording->calls().empty());
}

// ---- pixels ------------------------------------------------------------------------------

using Pixel = std::array<std::uint8_t, 4>;

bool near(Pixel a, Pixel b, int tolerance = 3) {
  for (int i = 0; i < 4; ++i) {
    if (std::abs(int(a[i]) - int(b[i])) > tolerance) return false;
  }
  return true;
}

std::string show(Pixel p) {
  return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + "," + std::to_string(p[3]);
}

TEST_F(LayerRenderingTest, CairoDrawsBackgroundsCornersBordersAndShadows) {
  auto root = CALayer::layer();
  root->setFrame(NSMakeRect(0, 0, 60, 60));
  root->setBackgroundColor(CGColor{1, 1, 1, 1});
  auto card = CALayer::layer();
  card->setFrame(NSMakeRect(10, 20, 40, 30));  // unflipped: 10 points above the bottom... 20
  card->setBackgroundColor(CGColor{1, 0, 0, 1});
  card->setCornerRadius(8);
  card->setBorderWidth(2);
  card->setBorderColor(CGColor{0, 0, 1, 1});
  card->setShadowOpacity(1);
  card->setShadowColor(CGColor{0, 0, 0, 1});
  card->setShadowOffset({0, -6});
  card->setShadowRadius(0);
  root->addSublayer(card);

  auto path = home() / "shots" / "card.png";
  ASSERT_TRUE(Snapshot::writePNG(root, {60, 60}, path).has_value());
  auto read = NSImage::initWithContentsOfFile(path);
  ASSERT_TRUE(read.has_value());
  auto image = *read;
  ASSERT_EQ(image->pixelWidth(), 60);
  // Rows run down from the top: the card spans y 20...50 up from the bottom, so rows 10...40.
  struct Case {
    const char* what;
    int x, y;
    Pixel expected;
  } cases[] = {
      {"inside the card", 30, 25, {255, 0, 0, 255}},
      {"border on the left edge", 10, 25, {0, 0, 255, 255}},
      {"cut corner shows the background", 10, 10, {255, 255, 255, 255}},
      {"canvas outside", 2, 2, {255, 255, 255, 255}},
      {"shadow below the card", 30, 43, {0, 0, 0, 255}},
      {"no shadow above", 30, 8, {255, 255, 255, 255}},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(near(image->pixelAt(c.x, c.y), c.expected)) << c.what << ": " << show(image->pixelAt(c.x, c.y));
  }
  EXPECT_FALSE(Snapshot::writePNG(root, {4, 4}, "/proc/no/such/place.png").has_value());
}

TEST_F(LayerRenderingTest, CairoDrawsGradientsOpacityMasksAndUprightImages) {
  auto root = CALayer::layer();
  root->setFrame(NSMakeRect(0, 0, 100, 40));
  auto gradient = CAGradientLayer::layer();
  gradient->setFrame(NSMakeRect(0, 20, 100, 20));
  gradient->colors = {{1, 0, 0, 1}, {0, 0, 1, 1}};
  gradient->startPoint = {0, 0.5};
  gradient->endPoint = {1, 0.5};
  root->addSublayer(gradient);

  // A 2 × 2 picture, red on its top row and green on the bottom one.
  auto picture = NSImage::imageWithPixels(2, 2, {255, 0, 0, 255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255});
  auto shown = CALayer::layer();
  shown->setFrame(NSMakeRect(0, 0, 20, 20));
  shown->setContents(picture);
  root->addSublayer(shown);

  auto faded = CALayer::layer();
  faded->setFrame(NSMakeRect(30, 0, 20, 20));
  faded->setBackgroundColor(CGColor{0, 0, 0, 1});
  faded->setOpacity(0.5);
  root->addSublayer(faded);

  auto masked = CALayer::layer();
  masked->setFrame(NSMakeRect(60, 0, 20, 20));
  masked->setBackgroundColor(CGColor{0, 0, 0, 1});
  auto circle = CALayer::layer();
  circle->setFrame(masked->bounds());
  circle->setCornerRadius(10);
  circle->setBackgroundColor(CGColor{1, 1, 1, 1});
  masked->setMask(circle);
  root->addSublayer(masked);

  auto image = Snapshot::image(root, {100, 40});
  EXPECT_TRUE(near(image->pixelAt(0, 10), {255, 0, 0, 255}, 8)) << show(image->pixelAt(0, 10));
  EXPECT_TRUE(near(image->pixelAt(99, 10), {0, 0, 255, 255}, 8)) << show(image->pixelAt(99, 10));
  EXPECT_TRUE(near(image->pixelAt(5, 22), {255, 0, 0, 255}, 8)) << show(image->pixelAt(5, 22));  // upright
  EXPECT_TRUE(near(image->pixelAt(5, 38), {0, 255, 0, 255}, 8)) << show(image->pixelAt(5, 38));
  EXPECT_TRUE(near(image->pixelAt(40, 30), {0, 0, 0, 128}, 2)) << show(image->pixelAt(40, 30));
  EXPECT_TRUE(near(image->pixelAt(70, 30), {0, 0, 0, 255})) << show(image->pixelAt(70, 30));
  EXPECT_EQ(image->pixelAt(61, 21)[3], 0) << "the mask's round corner";
}

TEST_F(LayerRenderingTest, CairoSetsRealTextWithShadowInBothOrientations) {
  auto font = NSFont::fontWithName("AvenirNext-Bold", 18);
  auto text = NSAttributedString::make("Search Zolto", {{NSFontAttributeName, font},
                                                        {NSForegroundColorAttributeName, NSColor::whiteColor()}});
  for (bool flipped : {false, true}) {
    SCOPED_TRACE(flipped ? "flipped" : "unflipped");
    auto image = Snapshot::image(
        [&](GraphicsContext& g) {
          g.setFillColor({0, 0, 1, 1});
          g.fillRect(NSMakeRect(0, 0, 200, 40));
          g.saveGState();
          g.setShadow(CGShadow{{0, -2}, 0, {0, 0, 0, 1}});
          g.drawText(text, NSMakeRect(10, 0, 180, 30));
          g.restoreGState();
        },
        {200, 40}, 1.0, flipped);
    int white = 0, black = 0;
    int firstRow = 40, lastRow = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 200; ++x) {
        Pixel p = image->pixelAt(x, y);
        if (p[0] > 240 && p[1] > 240 && p[2] > 240) {
          ++white;
          firstRow = std::min(firstRow, y);
          lastRow = std::max(lastRow, y);
        }
        if (p[0] < 20 && p[1] < 20 && p[2] < 20) ++black;
      }
    }
    EXPECT_GT(white, 150);  // real glyphs, not a box or nothing
    EXPECT_LT(white, 200 * 30 / 2);
    EXPECT_GT(black, 50);  // the shadow shows under them
    // Text hangs from the top of its rectangle on screen whichever way y points: row 0 of
    // the canvas when flipped, row 10 when the rectangle's top is 30 points up.
    int top = flipped ? 0 : 10;
    EXPECT_GE(firstRow, top);
    EXPECT_LE(firstRow, top + 8);
    EXPECT_GT(lastRow, firstRow + 8);
  }
}

}  // namespace

#include "platform/quartz/CATransaction.h"
#include "platform/render/NSGraphicsContext.h"

namespace {

TEST_F(LayerRenderingTest, DrawingCodeFindsTheCurrentContext) {
  auto text = NSAttributedString::make("Copied to clipboard!");
  auto picture = NSImage::imageWithPixels(1, 1, {0, 0, 0, 255});
  text->drawInRect(NSMakeRect(0, 0, 10, 10));  // no context: nothing, no fault
  auto recording = RecordingContext::make();
  {
    NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(recording, true));
    text->drawAtPoint({3, 4});
    picture->drawInRect(NSMakeRect(1, 2, 3, 4), 0.5);
  }
  auto texts = recording->all<Recorded::DrawText>();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].first.text, "Copied to clipboard!");
  EXPECT_EQ(texts[0].first.rect.origin, NSMakePoint(3, 4));
  EXPECT_GT(texts[0].first.rect.width(), text->size().width);
  auto images = recording->all<Recorded::DrawImage>();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].first.image, picture);
  EXPECT_DOUBLE_EQ(images[0].first.fraction, 0.5);
}

TEST_F(LayerRenderingTest, TransactionPacingAppliesToAnimationsWithoutTheirOwn) {
  auto layer = CALayer::layer();
  CATransaction::begin();
  CATransaction::setAnimationTimingFunction(
      CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
  auto fade = CABasicAnimation::animationWithKeyPath("opacity");
  fade->fromValue = NSNumber::numberWithDouble(0);
  fade->toValue = NSNumber::numberWithDouble(1);
  fade->duration = 1;
  layer->addAnimation(fade, "opacity");
  CATransaction::commit();
  advance(0.25);
  double eased = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut)->valueAt(0.25);
  EXPECT_NEAR(layer->presentationLayer()->opacity(), eased, 1e-5);
  EXPECT_LT(eased, 0.2);
}

}  // namespace
