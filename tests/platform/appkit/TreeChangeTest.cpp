// The change numbers that let a walk pass by what did not change: every change to a layer,
// its sublayers, its mask or a gradient's colours, and every change to a view, its layer
// or its subviews, gives the view and all above it a new number; a layer or view that left
// the tree no longer does.

#include <gtest/gtest.h>

#include <functional>

#include "platform/appkit/NSView.h"
#include "platform/foundation/NSNumber.h"
#include "platform/quartz/CABasicAnimation.h"
#include "platform/quartz/CAGradientLayer.h"
#include "platform/quartz/CALayer.h"
#include "tests/support/UISimulator.h"

namespace {

class TreeChangeTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    top = NSView::initWithFrame(NSMakeRect(0, 0, 200, 100));
    host = NSView::initWithFrame(NSMakeRect(10, 10, 80, 60));
    host->setWantsLayer(true);
    top->addSubview(host);
    leaf = NSView::initWithFrame(NSMakeRect(5, 5, 20, 20));
    host->addSubview(leaf);
    sub = CALayer::layer();
    deep = CALayer::layer();
    sub->addSublayer(deep);
    host->layer()->addSublayer(sub);
    gradient = CAGradientLayer::layer();
    sub->addSublayer(gradient);
    mask = CALayer::layer();
    maskPart = CALayer::layer();
    mask->addSublayer(maskPart);
    host->layer()->setMask(mask);
  }
  std::shared_ptr<NSView> top, host, leaf;
  std::shared_ptr<CALayer> sub, deep, mask, maskPart;
  std::shared_ptr<CAGradientLayer> gradient;
};

struct Change {
  const char* what;
  std::function<void()> make;
};

TEST_F(TreeChangeTest, EveryChangeBelowGivesTheViewsAboveANewNumber) {
  auto fade = CABasicAnimation::animationWithKeyPath("opacity");
  fade->toValue = NSNumber::numberWithDouble(0.5);
  const Change changes[] = {
      {"a deep layer moves", [&] { deep->setPosition({3, 4}); }},
      {"a deep layer resizes", [&] { deep->setBounds(NSMakeRect(0, 0, 7, 9)); }},
      {"its anchor moves", [&] { deep->setAnchorPoint({0, 0}); }},
      {"its frame is set", [&] { deep->setFrame(NSMakeRect(1, 2, 3, 4)); }},
      {"it comes forward", [&] { deep->setZPosition(2); }},
      {"its geometry flips", [&] { deep->setGeometryFlipped(true); }},
      {"its background changes", [&] { deep->setBackgroundColor(CGColor{1, 0, 0, 1}); }},
      {"its corners round", [&] { deep->setCornerRadius(3); }},
      {"its border widens", [&] { deep->setBorderWidth(2); }},
      {"its border changes colour", [&] { deep->setBorderColor(CGColor{0, 1, 0, 1}); }},
      {"it fades", [&] { deep->setOpacity(0.5); }},
      {"it is hidden", [&] { deep->setHidden(true); }},
      {"it masks to its bounds", [&] { deep->setMasksToBounds(true); }},
      {"its shadow changes colour", [&] { deep->setShadowColor(CGColor{0, 0, 1, 1}); }},
      {"its shadow shows", [&] { deep->setShadowOpacity(1); }},
      {"its shadow moves", [&] { deep->setShadowOffset({2, 2}); }},
      {"its shadow blurs", [&] { deep->setShadowRadius(6); }},
      {"its contents are placed", [&] { deep->setContentsGravity(kCAGravityCenter); }},
      {"its contents scale", [&] { deep->setContentsScale(2); }},
      {"it asks for display", [&] { deep->setNeedsDisplay(); }},
      {"a property is set by key", [&] { deep->setValueForKeyPath("cornerRadius", NSNumber::numberWithDouble(5)); }},
      {"an animation starts", [&] { deep->addAnimation(fade, "fade"); }},
      {"it is taken away", [&] { deep->removeAnimationForKey("fade"); }},
      {"all animations are taken away", [&] {
         deep->addAnimation(fade, "fade");
         deep->removeAllAnimations();
       }},
      {"a gradient's colours change", [&] { gradient->colors = {CGColor{1, 1, 1, 1}, CGColor{0, 0, 0, 1}}; }},
      {"its stops change", [&] { gradient->locations = {0.2, 0.8}; }},
      {"its start moves", [&] { gradient->startPoint = {0, 0.5}; }},
      {"its end moves", [&] { gradient->endPoint = {1, 0.5}; }},
      {"a part of the mask changes", [&] { maskPart->setOpacity(0.3); }},
      {"a layer is added deep down", [&] { deep->addSublayer(CALayer::layer()); }},
      {"the sublayers are replaced", [&] { deep->setSublayers({CALayer::layer()}); }},
      {"the mask goes", [&] { host->layer()->setMask(nullptr); }},
      {"a subview moves", [&] { leaf->setFrameOrigin({6, 6}); }},
      {"its content shifts", [&] { leaf->setBoundsOrigin({1, 1}); }},
      {"it flips", [&] { leaf->setFlipped(true); }},
      {"it fades", [&] { leaf->setAlphaValue(0.5); }},
      {"it is hidden", [&] { leaf->setHidden(true); }},
      {"it asks for display", [&] { leaf->setNeedsDisplay(true); }},
      {"it wants a layer", [&] { leaf->setWantsLayer(true); }},
      {"its layer changes", [&] { leaf->layer()->setOpacity(0.2); }},
      {"it gets another layer", [&] { leaf->setLayer(CALayer::layer()); }},
      {"a view is added inside it", [&] { leaf->addSubview(NSView::initWithFrame(NSMakeRect(0, 0, 4, 4))); }},
      {"and removed", [&] { leaf->subviews().front()->removeFromSuperview(); }},
      {"the subviews are set", [&] { host->setSubviews({leaf}); }},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.what);
    const auto before = std::pair{top->treeChange(), host->treeChange()};
    change.make();
    EXPECT_NE(top->treeChange(), before.first);
    EXPECT_NE(host->treeChange(), before.second);
  }
}

TEST_F(TreeChangeTest, WhatLeftTheTreeNoLongerTellsIt) {
  auto layerOfLeaf = CALayer::layer();
  leaf->setWantsLayer(true);
  auto first = leaf->layer();
  leaf->setLayer(layerOfLeaf);
  deep->removeFromSuperlayer();
  host->layer()->setMask(nullptr);
  leaf->removeFromSuperview();
  const auto before = std::pair{top->treeChange(), host->treeChange()};
  const auto leafBefore = leaf->treeChange();
  first->setOpacity(0.5);
  deep->setOpacity(0.5);
  maskPart->setOpacity(0.5);
  EXPECT_EQ(leaf->treeChange(), leafBefore) << "a layer the view let go of";
  leaf->setAlphaValue(0.5);
  EXPECT_NE(leaf->treeChange(), leafBefore);
  EXPECT_EQ(top->treeChange(), before.first);
  EXPECT_EQ(host->treeChange(), before.second);
}

TEST_F(TreeChangeTest, NoTwoTreesShareANumber) {
  auto other = NSView::initWithFrame(NSMakeRect(0, 0, 10, 10));
  EXPECT_NE(other->treeChange(), top->treeChange());
  EXPECT_NE(CALayer::layer()->treeChange(), CALayer::layer()->treeChange());
}

}  // namespace
