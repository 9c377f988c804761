#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestEnvironment.h"

class TimerTest : public GlimdeckTest {
 protected:
  double start_ = 0;
  std::vector<double> firings_;
  void SetUp() override {
    GlimdeckTest::SetUp();
    start_ = clock().now();
  }
  NSTimer::Block record() {
    return [this](const std::shared_ptr<NSTimer>&) { firings_.push_back(clock().now() - start_); };
  }
};

TEST_F(TimerTest, RepeatingTimerFiresEveryPeriodOnceInOrderWithoutDrift) {
  auto timer = NSTimer::scheduledTimerWithTimeInterval(1.5, true, record());
  advance(1.4);
  EXPECT_TRUE(firings_.empty());
  advance(5.0);  // to 6.4: periods at 1.5, 3.0, 4.5, 6.0
  EXPECT_EQ(firings_, (std::vector<double>{1.5, 3.0, 4.5, 6.0}));
  EXPECT_DOUBLE_EQ(timer->fireDate()->timeIntervalSince1970() - start_, 7.5);
  EXPECT_TRUE(timer->isValid());
  timer->invalidate();
}

TEST_F(TimerTest, OneShotTimerFiresOnceAndIsThenInvalid) {
  auto timer = NSTimer::scheduledTimerWithTimeInterval(2.0, false, record());
  advance(10.0);
  EXPECT_EQ(firings_, (std::vector<double>{2.0}));
  EXPECT_FALSE(timer->isValid());
  timer->fire();  // an invalid timer does nothing
  EXPECT_EQ(firings_.size(), 1u);
}

TEST_F(TimerTest, FireRunsNowAndKeepsARepeatingScheduleButEndsAOneShot) {
  struct Case {
    bool repeats;
    std::vector<double> expected;
    bool validAfter;
  };
  for (const Case& c : {Case{true, {0.0, 10.0, 20.0}, true}, Case{false, {0.0}, false}}) {
    SCOPED_TRACE(c.repeats ? "repeating" : "one-shot");
    firings_.clear();
    start_ = clock().now();
    auto timer = NSTimer::scheduledTimerWithTimeInterval(10.0, c.repeats, record());
    timer->fire();
    EXPECT_EQ(timer->isValid(), c.validAfter);
    advance(25.0);
    EXPECT_EQ(firings_, c.expected);
    timer->invalidate();
  }
}

TEST_F(TimerTest, DailyTimerFiredAtOnceThenEveryDayUntilInvalidated) {
  int syncs = 0;
  auto timer = NSTimer::scheduledTimerWithTimeInterval(86'400.0, true, [&](const std::shared_ptr<NSTimer>&) { ++syncs; });
  timer->fire();
  EXPECT_EQ(syncs, 1);
  advance(86'400.0 * 3);
  EXPECT_EQ(syncs, 4);
  timer->invalidate();
  advance(86'400.0 * 3);
  EXPECT_EQ(syncs, 4);
}

TEST_F(TimerTest, InvalidateFromInsideTheBlockStopsIt) {
  int count = 0;
  NSTimer::scheduledTimerWithTimeInterval(1.0, true, [&](const std::shared_ptr<NSTimer>& timer) {
    if (++count == 3) timer->invalidate();
  });
  advance(10.0);
  EXPECT_EQ(count, 3);
}

TEST_F(TimerTest, RunLoopKeepsAScheduledTimerAliveAndInvalidateReleasesTheBlock) {
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> watch = captured;
  std::weak_ptr<NSTimer> weakTimer =
      NSTimer::scheduledTimerWithTimeInterval(1.0, true, [captured](const std::shared_ptr<NSTimer>&) { ++*captured; });
  captured.reset();
  advance(2.0);
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(*watch.lock(), 2);
  ASSERT_FALSE(weakTimer.expired());
  weakTimer.lock()->invalidate();
  EXPECT_TRUE(watch.expired());
}

TEST_F(TimerTest, UnscheduledTimerWaitsUntilAddedAndAddingTwiceFiresOnce) {
  auto timer = NSTimer::timerWithTimeInterval(1.0, false, record(), NSString::make("info"));
  advance(5.0);
  EXPECT_TRUE(firings_.empty());
  // Its fire date was set when it was made, so once added it is already due.
  NSRunLoop::main()->addTimer(timer);
  NSRunLoop::main()->addTimer(timer);
  advance(0.0);
  EXPECT_EQ(firings_, (std::vector<double>{5.0}));
  ASSERT_TRUE(asA<NSString>(timer->userInfo()));
  EXPECT_EQ(asA<NSString>(timer->userInfo())->string(), "info");
}

TEST_F(TimerTest, SetFireDateMovesTheScheduleAndRepeatsFromThere) {
  auto timer = NSTimer::scheduledTimerWithTimeInterval(10.0, true, record());
  timer->setFireDate(NSDate::dateWithTimeIntervalSince1970(start_ + 3.0));
  advance(24.0);
  EXPECT_EQ(firings_, (std::vector<double>{3.0, 13.0, 23.0}));
  timer->invalidate();
}

TEST_F(TimerTest, NonsenseIntervalsAreClampedInsteadOfSpinning) {
  for (double interval : {-5.0, 0.0, std::nan("")}) {
    int count = 0;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(interval, true, [&](const std::shared_ptr<NSTimer>&) { ++count; });
    EXPECT_DOUBLE_EQ(timer->timeInterval(), NSTimer::kMinimumInterval);
    advance(0.00105);
    EXPECT_GE(count, 9);
    EXPECT_LE(count, 11);
    timer->invalidate();
  }
}

TEST_F(TimerTest, TimersAndDelayedBlocksInterleaveInDeadlineOrder) {
  std::vector<std::string> order;
  auto timer = NSTimer::scheduledTimerWithTimeInterval(1.0, true, [&](const std::shared_ptr<NSTimer>&) {
    order.push_back("timer");
  });
  DispatchQueue::main()->asyncAfter(1.5, [&] { order.push_back("block"); });
  advance(2.0);
  EXPECT_EQ(order, (std::vector<std::string>{"timer", "block", "timer"}));
  timer->invalidate();
}
