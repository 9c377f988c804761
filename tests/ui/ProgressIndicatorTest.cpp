// The pie progress display: its geometry as drawn, animated and immediate value changes,
// the repeating sweep, and the self-hiding spinner.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/quartz/CABasicAnimation.h"
#include "platform/foundation/NSNumber.h"
#include "platform/render/RecordingContext.h"
#include "tests/support/UISimulator.h"
#include "ui/NSProgressIndicatorSelfHiding.h"
#include "ui/ProgressIndicator.h"

namespace {

constexpr double pi = std::numbers::pi;

class ProgressIndicatorTest : public UITest {
 protected:
  std::shared_ptr<ProgressIndicator> makeIndicator(NSRect frame = NSMakeRect(0, 0, 40, 20)) {
    auto indicator = ProgressIndicator::initWithFrame(frame);
    indicator->setColor(NSColor::redColor());
    return indicator;
  }
  // What the indicator draws now, with its animations at the clock's time.
  std::vector<Recorded::AddArc> arcs(const std::shared_ptr<ProgressIndicator>& indicator) {
    RecordingContext context;
    ViewTreeRenderer::drawView(indicator, context);
    std::vector<Recorded::AddArc> out;
    for (auto& [arc, state] : context.all<Recorded::AddArc>()) out.push_back(arc);
    return out;
  }
  double sweep(const Recorded::AddArc& arc) { return (arc.endAngle - arc.startAngle) / (2 * pi); }
};

TEST_F(ProgressIndicatorTest, APieIsAThirdOfTheSmallerSideAroundTheCentreFromTheTop) {
  struct Case {
    NSRect frame;
    double value;
    double radius, cx, cy, fraction;
  } cases[] = {
      {NSMakeRect(0, 0, 40, 20), 0.25, 20.0 / 3, 20, 10, 0.25},
      {NSMakeRect(0, 0, 30, 60), 1.0, 10, 15, 30, 1.0},
      {NSMakeRect(0, 0, 40, 20), 1.7, 20.0 / 3, 20, 10, 1.0},  // drawn values are clamped
  };
  for (const auto& c : cases) {
    auto indicator = makeIndicator(c.frame);
    indicator->setValue(c.value, false, 0);
    auto drawn = arcs(indicator);
    ASSERT_EQ(drawn.size(), 1u) << c.value;
    EXPECT_DOUBLE_EQ(drawn[0].radius, c.radius);
    EXPECT_DOUBLE_EQ(drawn[0].centre.x, c.cx);
    EXPECT_DOUBLE_EQ(drawn[0].centre.y, c.cy);
    EXPECT_DOUBLE_EQ(drawn[0].startAngle, -pi / 2);
    EXPECT_FALSE(drawn[0].clockwise);
    EXPECT_NEAR(sweep(drawn[0]), c.fraction, 1e-12);
  }
}

TEST_F(ProgressIndicatorTest, EmptyAndNegativeValuesDrawNothingAndThePieTakesTheColour) {
  auto indicator = makeIndicator();
  indicator->setValue(-0.5, false, 0);
  EXPECT_TRUE(arcs(indicator).empty());
  indicator->setValue(0, false, 0);
  EXPECT_TRUE(arcs(indicator).empty());

  indicator->setColor(NSColor::colorWithRed(0, 0, 1, 1));
  indicator->setValue(0.5, false, 0);
  RecordingContext context;
  ViewTreeRenderer::drawView(indicator, context);
  auto fills = context.all<Recorded::FillPath>();
  ASSERT_FALSE(fills.empty());
  EXPECT_EQ(fills.back().second.fillColor, (CGColor{0, 0, 1, 1}));
}

TEST_F(ProgressIndicatorTest, AnimatedChangesMoveThePieOverTheClockAndTheLaterOneWins) {
  auto indicator = makeIndicator();
  indicator->setValue(0.5, true, 1.0);
  EXPECT_DOUBLE_EQ(indicator->value(), 0.5) << "the model value is the target at once";
  indicator->setValue(1.0, true, 1.0);
  auto animation = asA<CABasicAnimation>(indicator->progressLayer()->animationForKey("value"));
  ASSERT_TRUE(animation);
  EXPECT_DOUBLE_EQ(asA<NSNumber>(animation->fromValue)->doubleValue(), 0.5) << "starts from the first target";
  EXPECT_EQ(indicator->progressLayer()->animationKeys().size(), 1u);

  ui.advance(0.5);
  auto halfway = arcs(indicator);
  ASSERT_EQ(halfway.size(), 1u);
  EXPECT_GT(sweep(halfway[0]), 0.5);
  EXPECT_LT(sweep(halfway[0]), 1.0);
  ui.advance(0.6);
  auto done = arcs(indicator);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_NEAR(sweep(done[0]), 1.0, 1e-12);
}

TEST_F(ProgressIndicatorTest, TheUnknownAmountSweepRepeatsUntilStopped) {
  auto indicator = makeIndicator();
  indicator->stop();
  EXPECT_TRUE(indicator->isHidden()) << "stop without start only hides";

  indicator->start();
  EXPECT_FALSE(indicator->isHidden());
  for (double t : {0.5, 2.0, 2.0, 2.0}) {
    ui.advance(t);
    auto drawn = arcs(indicator);
    ASSERT_EQ(drawn.size(), 1u) << "still sweeping after " << t;
    EXPECT_GT(sweep(drawn[0]), 0.0);
    EXPECT_LT(sweep(drawn[0]), 1.0);
  }
  indicator->stop();
  EXPECT_TRUE(indicator->isHidden());
  EXPECT_FALSE(indicator->progressLayer()->hasAnimations());
}

TEST_F(ProgressIndicatorTest, TheSelfHidingSpinnerIsVisibleExactlyWhileItAnimates) {
  auto spinner = NSProgressIndicatorSelfHiding::initWithFrame(NSMakeRect(0, 0, 16, 16));
  spinner->setHidden(true);
  spinner->startAnimation(nullptr);
  EXPECT_FALSE(spinner->isHidden());
  EXPECT_TRUE(spinner->isAnimating());
  spinner->stopAnimation(nullptr);
  EXPECT_TRUE(spinner->isHidden());
  EXPECT_FALSE(spinner->isAnimating());
}

}  // namespace
