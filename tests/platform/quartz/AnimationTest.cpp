#include <cmath>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/quartz/CAAnimationGroup.h"
#include "platform/quartz/CABasicAnimation.h"
#include "platform/quartz/CALayer.h"
#include "platform/quartz/CATransaction.h"
#include "tests/support/TestEnvironment.h"

namespace {

// The manual clock counts seconds since 1970 in a double: about 1e-7 s of resolution.
constexpr double kClockPrecision = 1e-6;

class AnimationTest : public GlimdeckTest {
 protected:
  void TearDown() override {
    CATransaction::reset();
    GlimdeckTest::TearDown();
  }
  static double opacityOf(const std::shared_ptr<CALayer>& layer) { return layer->presentationLayer()->opacity(); }
};

struct StopLog : CAAnimationDelegate {
  std::vector<bool> stops;
  int starts = 0;
  void animationDidStart(const std::shared_ptr<CAAnimation>&) override { ++starts; }
  void animationDidStop(const std::shared_ptr<CAAnimation>&, bool finished) override { stops.push_back(finished); }
};

std::shared_ptr<CABasicAnimation> fade(double from, double to, double duration) {
  auto a = CABasicAnimation::animationWithKeyPath("opacity");
  a->fromValue = NSNumber::numberWithDouble(from);
  a->toValue = NSNumber::numberWithDouble(to);
  a->duration = duration;
  return a;
}

TEST_F(AnimationTest, TimingFunctionsPace) {
  auto linear = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear);
  auto ease = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut);
  auto in = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn);
  for (double t : {0.0, 0.1, 0.5, 0.9, 1.0}) EXPECT_NEAR(linear->valueAt(t), t, kClockPrecision);
  EXPECT_NEAR(ease->valueAt(0.5), 0.5, kClockPrecision);
  EXPECT_LT(ease->valueAt(0.2), 0.2);
  EXPECT_GT(ease->valueAt(0.8), 0.8);
  EXPECT_LT(in->valueAt(0.5), 0.5);
  EXPECT_EQ(ease->valueAt(-3), 0);
  EXPECT_EQ(ease->valueAt(NAN), 0);
  EXPECT_EQ(ease->valueAt(7), 1);
}

TEST_F(AnimationTest, PresentationValuesFollowTheClock) {
  auto layer = CALayer::layer();
  auto animation = fade(0, 1, 2.0);
  auto log = std::make_shared<StopLog>();
  animation->delegate = log;
  layer->addAnimation(animation, "fade");
  animation->duration = 50;  // the layer holds a copy
  layer->setOpacity(1);
  EXPECT_DOUBLE_EQ(opacityOf(layer), 0);
  advance(0.5);
  EXPECT_NEAR(opacityOf(layer), 0.25, kClockPrecision);
  EXPECT_EQ(log->starts, 1);
  advance(1.0);
  EXPECT_NEAR(opacityOf(layer), 0.75, kClockPrecision);
  EXPECT_TRUE(log->stops.empty());
  advance(0.5);
  EXPECT_FALSE(layer->hasAnimations());
  EXPECT_DOUBLE_EQ(opacityOf(layer), 1);  // the model value again
  EXPECT_EQ(log->stops, std::vector<bool>{true});
}

TEST_F(AnimationTest, SameKeyReplacesAndRemovalStopsUnfinished) {
  auto layer = CALayer::layer();
  auto log = std::make_shared<StopLog>();
  auto first = fade(0, 1, 1);
  first->delegate = log;
  layer->addAnimation(first, "value");
  advance(0.5);
  layer->addAnimation(fade(1, 0, 1), "value");
  drainMainQueue();
  EXPECT_EQ(log->stops, std::vector<bool>{false});
  EXPECT_EQ(layer->animationKeys(), std::vector<std::string>{"value"});
  EXPECT_NEAR(opacityOf(layer), 1, kClockPrecision);
  advance(0.5);
  EXPECT_NEAR(opacityOf(layer), 0.5, kClockPrecision);
  layer->removeAllAnimations();
  EXPECT_FALSE(layer->hasAnimations());
  advance(5);
  EXPECT_EQ(log->stops, std::vector<bool>{false});
}

TEST_F(AnimationTest, MissingValuesComeFromTheLayer) {
  auto layer = CALayer::layer();
  layer->setBounds(NSMakeRect(0, 0, 10, 10));
  auto grow = CABasicAnimation::animationWithKeyPath("bounds");
  grow->toValue = NSValue::valueWithRect(NSMakeRect(0, 0, 30, 50));
  grow->duration = 1;
  layer->addAnimation(grow, "bounds");
  advance(0.5);
  EXPECT_EQ(layer->presentationLayer()->bounds(), NSMakeRect(0, 0, 20, 30));
  auto by = CABasicAnimation::animationWithKeyPath("position.x");
  by->byValue = NSNumber::numberWithDouble(10);
  by->duration = 1;
  layer->addAnimation(by, "x");
  advance(0.25);
  EXPECT_NEAR(layer->presentationLayer()->position().x, 2.5, kClockPrecision);
}

TEST_F(AnimationTest, RepeatsReversesAndFillsForwards) {
  auto layer = CALayer::layer();
  auto a = fade(0, 1, 1);
  a->autoreverses = true;
  a->repeatCount = 2;
  a->removedOnCompletion = false;
  a->fillMode = std::string(kCAFillModeForwards);
  layer->addAnimation(a, "pulse");
  struct Step {
    double advanceBy, opacity;
  } steps[] = {{0.5, 0.5}, {0.5, 1}, {0.25, 0.75}, {1.0, 0.25}, {0.25, 0.5}, {1.75, 0}};
  for (const auto& s : steps) {
    advance(s.advanceBy);
    EXPECT_NEAR(opacityOf(layer), s.opacity, kClockPrecision);
  }
  EXPECT_TRUE(layer->hasAnimations());  // kept: not removed on completion
}

TEST_F(AnimationTest, GroupTimesChildrenFromItsStartAndCutsAtItsDuration) {
  auto layer = CALayer::layer();
  auto first = fade(0, 1, 1);
  auto second = fade(0, 1, 1);
  second->beginTime = 1;
  auto group = CAAnimationGroup::animation();
  group->animations = {first, second};
  // Without its own duration the group lasts the default quarter second.
  layer->addAnimation(group, "value");
  advance(0.2);
  EXPECT_NEAR(opacityOf(layer), 0.2, kClockPrecision);
  advance(0.1);
  EXPECT_FALSE(layer->hasAnimations());

  auto log = std::make_shared<StopLog>();
  group->duration = 2;
  group->delegate = log;
  layer->setOpacity(0.9);
  layer->addAnimation(group, "value");
  advance(1.5);
  EXPECT_NEAR(opacityOf(layer), 0.5, kClockPrecision);  // the second child, half way
  advance(0.5);
  EXPECT_EQ(log->stops, std::vector<bool>{true});
  EXPECT_DOUBLE_EQ(opacityOf(layer), 0.9);
}

TEST_F(AnimationTest, TransactionDurationAndCompletion) {
  auto layer = CALayer::layer();
  int completions = 0;
  CATransaction::begin();
  CATransaction::setAnimationDuration(0.4);
  CATransaction::setDisableActions(true);
  EXPECT_TRUE(CATransaction::disableActions());
  CATransaction::setCompletionBlock([&] { ++completions; });
  layer->addAnimation(fade(0, 1, 0), "opacity");  // takes the transaction's duration
  CATransaction::commit();
  EXPECT_FALSE(CATransaction::disableActions());
  EXPECT_DOUBLE_EQ(layer->animationForKey("opacity")->duration, 0.4);
  advance(0.39);
  EXPECT_EQ(completions, 0);
  advance(0.01);
  EXPECT_EQ(completions, 1);

  // A transaction without animations still completes after its duration; one whose
  // animation outlasts it waits for the animation.
  CATransaction::begin();
  CATransaction::setAnimationDuration(0.3);
  CATransaction::setCompletionBlock([&] { ++completions; });
  CATransaction::commit();
  CATransaction::begin();
  CATransaction::setAnimationDuration(0.1);
  CATransaction::setCompletionBlock([&] { ++completions; });
  layer->addAnimation(fade(0, 1, 1), "long");
  CATransaction::commit();
  advance(0.3);
  EXPECT_EQ(completions, 2);
  advance(0.7);
  EXPECT_EQ(completions, 3);
  CATransaction::commit();  // unbalanced: nothing happens
  EXPECT_EQ(CATransaction::depth(), 0);
}

TEST_F(AnimationTest, NestedTransactionsWaitForInnerAnimations) {
  auto layer = CALayer::layer();
  bool outerDone = false;
  CATransaction::begin();
  CATransaction::setAnimationDuration(0.1);
  CATransaction::setCompletionBlock([&] { outerDone = true; });
  CATransaction::begin();
  EXPECT_DOUBLE_EQ(CATransaction::animationDuration(), 0.1);
  layer->addAnimation(fade(0, 1, 2), "inner");
  CATransaction::commit();
  CATransaction::commit();
  advance(1.9);
  EXPECT_FALSE(outerDone);
  advance(0.1);
  EXPECT_TRUE(outerDone);
}

}  // namespace

#include "platform/appkit/NSAnimationContext.h"

namespace {

TEST_F(AnimationTest, AnimationGroupsCompleteAfterTheirDuration) {
  // The default quarter second, the checkbox fill's case.
  std::vector<std::string> events;
  NSAnimationContext::runAnimationGroup([&](NSAnimationContext& context) {
    EXPECT_TRUE(NSAnimationContext::isGrouping());
    EXPECT_DOUBLE_EQ(context.duration(), 0.25);
    events.push_back("changes");
  }, [&] { events.push_back("done 0.25"); });
  EXPECT_FALSE(NSAnimationContext::isGrouping());
  // The overlay fade: a set duration, and a layer animation inside takes it.
  auto layer = CALayer::layer();
  NSAnimationContext::runAnimationGroup([&](NSAnimationContext& context) {
    context.setDuration(0.4);
    EXPECT_EQ(NSAnimationContext::currentContext().get(), &context);
    layer->addAnimation(fade(0, 1, 0), "fade");
  }, [&] { events.push_back("done 0.4"); });
  NSAnimationContext::runAnimationGroup(nullptr, nullptr);  // nothing to do, nothing breaks
  EXPECT_DOUBLE_EQ(layer->animationForKey("fade")->duration, 0.4);
  EXPECT_EQ(events, std::vector<std::string>{"changes"});
  advance(0.25);
  EXPECT_EQ(events, (std::vector<std::string>{"changes", "done 0.25"}));
  advance(0.15);
  EXPECT_EQ(events, (std::vector<std::string>{"changes", "done 0.25", "done 0.4"}));
  EXPECT_DOUBLE_EQ(NSAnimationContext::currentContext()->duration(), 0.25);
}

}  // namespace
