#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSImage.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/quartz/CAGradientLayer.h"
#include "platform/render/RecordingContext.h"
#include "tests/support/TestEnvironment.h"

namespace {

class LayerTest : public GlimdeckTest {};

TEST_F(LayerTest, FrameFollowsBoundsPositionAndAnchor) {
  auto layer = CALayer::layer();
  layer->setFrame(NSMakeRect(10, 20, 100, 50));
  EXPECT_EQ(layer->bounds(), NSMakeRect(0, 0, 100, 50));
  EXPECT_EQ(layer->position(), NSMakePoint(60, 45));
  layer->setAnchorPoint({0, 0});
  EXPECT_EQ(layer->frame(), NSMakeRect(60, 45, 100, 50));
  layer->setBounds(NSMakeRect(5, 5, 10, 10));
  EXPECT_EQ(layer->frame(), NSMakeRect(60, 45, 10, 10));
  EXPECT_EQ(layer->convertPointFromSuperlayer({61, 46}), NSMakePoint(6, 6));
  EXPECT_EQ(layer->convertPointToSuperlayer({6, 6}), NSMakePoint(61, 46));
}

TEST_F(LayerTest, SublayerTreeKeepsOneParentAndOrder) {
  auto root = CALayer::layer();
  auto a = CALayer::layer(), b = CALayer::layer(), c = CALayer::layer();
  root->addSublayer(a);
  root->addSublayer(b);
  root->insertSublayer(c, 0);
  EXPECT_EQ(root->sublayers(), (std::vector<std::shared_ptr<CALayer>>{c, a, b}));
  root->insertSublayer(b, 0);  // inserting again moves it: still one entry
  EXPECT_EQ(root->sublayers(), (std::vector<std::shared_ptr<CALayer>>{b, c, a}));
  root->insertSublayer(a, 99);
  EXPECT_EQ(root->sublayers().back(), a);
  a->addSublayer(c);  // taken from root
  EXPECT_EQ(root->sublayers().size(), 2u);
  EXPECT_EQ(c->superlayer(), a);
  c->addSublayer(root);  // a cycle is refused
  EXPECT_TRUE(c->sublayers().empty());
  root->replaceSublayer(b, c);
  EXPECT_EQ(root->sublayers().front(), c);
  EXPECT_EQ(b->superlayer(), nullptr);
  c->removeFromSuperlayer();
  EXPECT_EQ(root->sublayers(), (std::vector<std::shared_ptr<CALayer>>{a}));
  root->setSublayers({});
  EXPECT_EQ(a->superlayer(), nullptr);
}

TEST_F(LayerTest, AutoresizingSublayersFollowTheBounds) {
  auto parent = CALayer::layer();
  parent->setFrame(NSMakeRect(0, 0, 100, 100));
  auto fill = CALayer::layer(), pinned = CALayer::layer(), right = CALayer::layer();
  fill->setFrame(parent->bounds());
  fill->setAutoresizingMask(kCALayerWidthSizable | kCALayerHeightSizable);
  pinned->setFrame(NSMakeRect(10, 10, 20, 20));
  right->setFrame(NSMakeRect(70, 10, 20, 20));
  right->setAutoresizingMask(kCALayerMinXMargin);
  for (auto& l : {fill, pinned, right}) parent->addSublayer(l);
  parent->setBounds(NSMakeRect(0, 0, 200, 50));
  EXPECT_EQ(fill->frame(), NSMakeRect(0, 0, 200, 50));
  EXPECT_EQ(pinned->frame(), NSMakeRect(10, 10, 20, 20));
  EXPECT_EQ(right->frame(), NSMakeRect(170, 10, 20, 20));
}

TEST_F(LayerTest, HitTestingSkipsHiddenAndHonoursMasks) {
  auto root = CALayer::layer();
  root->setFrame(NSMakeRect(0, 0, 100, 100));
  auto child = CALayer::layer();
  child->setFrame(NSMakeRect(10, 10, 30, 30));
  auto grandchild = CALayer::layer();
  grandchild->setFrame(NSMakeRect(20, 20, 40, 40));  // pokes out of the child
  child->addSublayer(grandchild);
  root->addSublayer(child);
  EXPECT_EQ(root->hitTest({15, 15}), child);
  EXPECT_EQ(root->hitTest({55, 55}), grandchild);
  child->setMasksToBounds(true);
  EXPECT_EQ(root->hitTest({55, 55}), root);
  child->setHidden(true);
  EXPECT_EQ(root->hitTest({15, 15}), root);
  EXPECT_EQ(root->hitTest({150, 15}), nullptr);
  EXPECT_TRUE(child->containsPoint({0, 0}));
  EXPECT_FALSE(child->containsPoint({31, 0}));
}

TEST_F(LayerTest, KeyPathsReadAndWriteProperties) {
  auto layer = CALayer::layer();
  layer->setValueForKeyPath("opacity", NSNumber::numberWithDouble(0.5));
  layer->setValueForKeyPath("bounds", NSValue::valueWithRect(NSMakeRect(0, 0, 8, 6)));
  layer->setValueForKeyPath("position.x", NSNumber::numberWithDouble(3));
  layer->setValueForKeyPath("backgroundColor", NSColor::redColor());
  layer->setValueForKeyPath("opacity", NSValue::valueWithRect(NSZeroRect));  // wrong kind: ignored
  layer->setValueForKeyPath("noSuchKey", NSNumber::numberWithDouble(1));
  EXPECT_DOUBLE_EQ(layer->opacity(), 0.5);
  EXPECT_EQ(layer->bounds(), NSMakeRect(0, 0, 8, 6));
  EXPECT_EQ(layer->position().x, 3);
  EXPECT_EQ(layer->backgroundColor(), (CGColor{1, 0, 0, 1}));
  EXPECT_EQ(asA<NSValue>(layer->valueForKeyPath("bounds.size"))->sizeValue(), NSMakeSize(8, 6));
  EXPECT_EQ(layer->valueForKeyPath("noSuchKey"), nullptr);
}

TEST_F(LayerTest, ContentsGravityPlacesTheImage) {
  auto layer = CALayer::layer();
  layer->setBounds(NSMakeRect(0, 0, 100, 50));
  layer->setContents(NSImage::imageWithPixels(20, 10, {}));
  struct Case {
    std::string_view gravity;
    NSRect expected;
  } cases[] = {
      {kCAGravityResize, NSMakeRect(0, 0, 100, 50)},        {kCAGravityResizeAspect, NSMakeRect(0, 0, 100, 50)},
      {kCAGravityCenter, NSMakeRect(40, 20, 20, 10)},       {kCAGravityTopLeft, NSMakeRect(0, 40, 20, 10)},
      {kCAGravityBottomRight, NSMakeRect(80, 0, 20, 10)},
  };
  for (const auto& c : cases) {
    layer->setContentsGravity(c.gravity);
    EXPECT_EQ(layer->contentsRect(), c.expected) << c.gravity;
  }
  layer->setContents(NSImage::imageWithPixels(10, 10, {}));
  layer->setContentsGravity(kCAGravityResizeAspectFill);
  EXPECT_EQ(layer->contentsRect(), NSMakeRect(0, -25, 100, 100));
  layer->setContentsGravity(kCAGravityResizeAspect);
  EXPECT_EQ(layer->contentsRect(), NSMakeRect(25, 0, 50, 50));
}

TEST_F(LayerTest, GradientDrawsWithinRoundedBounds) {
  auto gradient = CAGradientLayer::layer();
  gradient->setFrame(NSMakeRect(0, 0, 200, 40));
  gradient->setCornerRadius(4);
  gradient->colors = {{76 / 255.0, 175 / 255.0, 1, 1}, {46 / 255.0, 147 / 255.0, 230 / 255.0, 1}};
  gradient->startPoint = {0, 0.5};
  gradient->endPoint = {1, 0.5};
  auto recording = RecordingContext::make();
  gradient->drawInContext(*recording);
  auto drawn = recording->all<Recorded::LinearGradient>();
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].first.start, NSMakePoint(0, 20));
  EXPECT_EQ(drawn[0].first.end, NSMakePoint(200, 20));
  EXPECT_EQ(drawn[0].first.colors, gradient->colors);
  EXPECT_TRUE(drawn[0].first.locations.empty());
  EXPECT_EQ(drawn[0].second.depth, 1);  // inside a saved state, clipped
  ASSERT_EQ(recording->count<Recorded::ClipToPath>(), 1u);
  EXPECT_EQ(recording->all<Recorded::ClipToPath>()[0].first.path.arcs().size(), 4u);
  // Locations that do not pair with the colours are dropped.
  gradient->locations = {0, 0.25, 1};
  recording->clear();
  gradient->drawInContext(*recording);
  EXPECT_TRUE(recording->all<Recorded::LinearGradient>()[0].first.locations.empty());
}

}  // namespace
