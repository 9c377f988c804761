#include <array>
#include <cmath>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSShadow.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/RecordingContext.h"
#include "tests/support/TestEnvironment.h"

namespace {

class ColorTest : public GlimdeckTest {};

TEST_F(ColorTest, HueSaturationBrightnessRoundTrip) {
  struct Case {
    double r, g, b, h, s, v;
  } cases[] = {
      {1, 0, 0, 0, 1, 1},           {0, 1, 0, 1.0 / 3, 1, 1},         {0, 0, 1, 2.0 / 3, 1, 1},
      {0.5, 0.5, 0.5, 0, 0, 0.5},   {0, 122 / 255.0, 221 / 255.0, (4 - 122.0 / 221) / 6, 1, 221 / 255.0},
      {1, 0.5, 0.75, 11.0 / 12, 0.5, 1},
  };
  for (const auto& c : cases) {
    auto color = NSColor::colorWithRed(c.r, c.g, c.b, 0.7);
    double h, s, v, a;
    color->getHue(&h, &s, &v, &a);
    SCOPED_TRACE(color->description());
    if (c.s > 0) {
      EXPECT_NEAR(h, c.h, 1e-9);
    }
    EXPECT_NEAR(s, c.s, 1e-9);
    EXPECT_NEAR(v, c.v, 1e-9);
    EXPECT_DOUBLE_EQ(a, 0.7);
    auto back = NSColor::colorWithHue(h, s, v, a);
    EXPECT_NEAR(back->redComponent(), c.r, 1e-9);
    EXPECT_NEAR(back->greenComponent(), c.g, 1e-9);
    EXPECT_NEAR(back->blueComponent(), c.b, 1e-9);
  }
}

TEST_F(ColorTest, BrightnessScalesEveryChannelOfTheHue) {
  // Hue 0.6 lies between cyan and blue: red is v(1 - s), green v(1 - 0.6 s), blue v.
  for (const auto& [v, r, g, b] : {std::array{0.5, 0.3, 0.38, 0.5}, std::array{0.4, 0.24, 0.304, 0.4}}) {
    auto color = NSColor::colorWithHue(0.6, 0.4, v, 0.8);
    EXPECT_NEAR(color->redComponent(), r, 1e-9) << v;
    EXPECT_NEAR(color->greenComponent(), g, 1e-9) << v;
    EXPECT_NEAR(color->blueComponent(), b, 1e-9) << v;
    EXPECT_DOUBLE_EQ(color->alphaComponent(), 0.8);
  }
}

TEST_F(ColorTest, ValuesClampAndCompareByValue) {
  auto wild = NSColor::colorWithRed(2, -1, NAN, 5);
  EXPECT_EQ(wild->CGColor(), (CGColor{1, 0, 0, 1}));
  EXPECT_TRUE(NSColor::whiteColor()->isEqual(NSColor::colorWithWhite(1, 1)));
  EXPECT_FALSE(NSColor::whiteColor()->isEqual(NSColor::blackColor()));
  EXPECT_EQ(NSColor::whiteColor()->hash(), NSColor::colorWithRed(1, 1, 1, 1)->hash());
  auto faded = NSColor::blackColor()->colorWithAlphaComponent(0.75);
  EXPECT_EQ(faded->CGColor(), (CGColor{0, 0, 0, 0.75}));
  EXPECT_TRUE(NSColor::colorWithCGColor(faded->CGColor())->isEqual(faded));
  EXPECT_DOUBLE_EQ(NSColor::clearColor()->alphaComponent(), 0);
  EXPECT_DOUBLE_EQ(NSColor::colorWithHue(1.25, 1, 1, 1)->hueComponent(), 0.25);  // hue wraps
}

TEST_F(ColorTest, SetAndShadowGoToTheCurrentContext) {
  NSColor::redColor()->set();  // no current context: nothing happens
  auto recording = RecordingContext::make();
  {
    NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(recording, false));
    NSColor::blueColor()->setFill();
    NSRectFill(NSMakeRect(1, 2, 3, 4));
    auto shadow = NSShadow::make();
    shadow->shadowColor = NSColor::blackColor()->colorWithAlphaComponent(0.75);
    shadow->shadowOffset = {0, -2};
    shadow->set();
  }
  EXPECT_EQ(NSGraphicsContext::currentContext(), nullptr);
  auto fills = recording->all<Recorded::FillRect>();
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].second.fillColor, (CGColor{0, 0, 1, 1}));
  auto shadows = recording->all<Recorded::SetShadow>();
  ASSERT_EQ(shadows.size(), 1u);
  EXPECT_EQ(*shadows[0].first.shadow, (CGShadow{{0, -2}, 0, {0, 0, 0, 0.75}}));
}

class FontTest : public GlimdeckTest {};

TEST_F(FontTest, AvenirNamesMapToInstalledWeights) {
  struct Case {
    const char* name;
    int weight;
  } cases[] = {{"Avenir Next Regular", 400}, {"Avenir Next", 400},    {"AvenirNext-Medium", 500},
               {"AvenirNext-DemiBold", 600}, {"AvenirNext-Bold", 700}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto font = NSFont::fontWithName(c.name, 13);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->fontName(), c.name);
    EXPECT_EQ(font->familyName(), "Avenir Next");
    EXPECT_EQ(font->weight(), c.weight);
    EXPECT_DOUBLE_EQ(font->pointSize(), 13);
  }
  EXPECT_EQ(NSFont::fontWithName("No Such Face Anywhere", 12), nullptr);
  EXPECT_EQ(NSFont::fontWithName("", 12), nullptr);
  EXPECT_NE(NSFont::fontWithName("DejaVu Sans", 12), nullptr);
}

TEST_F(FontTest, MetricsAreMeasuredAndScaleWithSize) {
  auto small = NSFont::fontWithName("Avenir Next Regular", 15);
  auto large = NSFont::fontWithName("Avenir Next Regular", 30);
  ASSERT_TRUE(small && large);
  EXPECT_GT(small->ascender(), 0);
  EXPECT_LT(small->descender(), 0);
  EXPECT_GT(small->capHeight(), small->xHeight());
  EXPECT_GT(small->xHeight(), 0);
  EXPECT_LT(small->capHeight(), small->ascender());
  EXPECT_GE(small->leading(), 0);
  EXPECT_NEAR(large->ascender(), 2 * small->ascender(), 0.5);
  EXPECT_NEAR(large->capHeight(), 2 * small->capHeight(), 0.5);
  EXPECT_NEAR(small->defaultLineHeight(), small->ascender() - small->descender() + small->leading(), 1e-9);

  NSSize one = small->sizeOfString("Search Zolto");
  NSSize two = small->sizeOfString("Search ZoltoSearch Zolto");
  EXPECT_GT(one.width, 50);
  EXPECT_NEAR(two.width, 2 * one.width, 1.0);
  EXPECT_NEAR(one.height, small->ascender() - small->descender(), 0.5);
  EXPECT_DOUBLE_EQ(small->sizeOfString("").width, 0);

  auto bold = NSFont::fontWithName("AvenirNext-Bold", 15);
  EXPECT_GT(bold->sizeOfString("Search Zolto").width, one.width);
  EXPECT_TRUE(small->isEqual(NSFont::fontWithName("Avenir Next Regular", 15)));
  EXPECT_FALSE(small->isEqual(large));
  EXPECT_DOUBLE_EQ(NSFont::systemFontOfSize(0)->pointSize(), NSFont::systemFontSize());
  EXPECT_EQ(NSFont::boldSystemFontOfSize(12)->weight(), 700);
}

}  // namespace

#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"

namespace {

TEST_F(ColorTest, SurvivesAKeyedArchiveAsTheRootObject) {
  for (auto color : {NSColor::colorWithRed(0.16, 0.16, 0.16, 1), NSColor::colorWithRed(1, 122 / 255.0, 0.1, 0.85),
                     NSColor::clearColor()}) {
    auto data = NSKeyedArchiver::archivedDataWithRootObject(color);
    ASSERT_TRUE(data.has_value());
    auto back = NSKeyedUnarchiver::unarchiveObjectWithData(*data);
    ASSERT_TRUE(back.has_value());
    auto decoded = asA<NSColor>(*back);
    ASSERT_NE(decoded, nullptr);
    EXPECT_TRUE(decoded->isEqual(color)) << decoded->description() << " vs " << color->description();
  }
}

}  // namespace
