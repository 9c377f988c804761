#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestEnvironment.h"

class MainQueueTest : public GlimdeckTest {};

TEST_F(MainQueueTest, MainQueueIsAsynchronousEvenFromTheMainThread) {
  std::vector<int> order;
  DispatchQueue::main()->async([&] { order.push_back(2); });
  order.push_back(1);
  drainMainQueue();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST_F(MainQueueTest, DelayedBlocksRunInDeadlineOrderOnlyWhenTheClockReachesThem) {
  std::vector<int> order;
  DispatchQueue::main()->asyncAfter(2.0, [&] { order.push_back(2); });
  DispatchQueue::main()->asyncAfter(1.0, [&] {
    order.push_back(1);
    // Scheduled by a due block, and itself due before the target: runs within the same advance.
    DispatchQueue::main()->asyncAfter(0.5, [&] { order.push_back(15); });
  });
  auto cancelled = DispatchQueue::main()->asyncAfter(1.2, [&] { order.push_back(99); });
  cancelled->cancel();
  advance(0.9);
  EXPECT_TRUE(order.empty());
  advance(1.1);
  EXPECT_EQ(order, (std::vector<int>{1, 15, 2}));
}

TEST_F(MainQueueTest, SerialQueuesRunInOrderOneAtATime) {
  auto queue = DispatchQueue::makeSerial("test.serial");
  std::vector<int> seen;
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  for (int i = 0; i < 200; ++i) {
    queue->async([&, i] {
      if (running.fetch_add(1) != 0) overlapped = true;
      seen.push_back(i);
      running.fetch_sub(1);
    });
  }
  queue->sync([] {});
  ASSERT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
  EXPECT_FALSE(overlapped);
}

TEST_F(MainQueueTest, RunUntilWaitsForBlocksFromOtherThreads) {
  std::atomic<bool> done{false};
  DispatchQueue::global()->async([&] {
    DispatchQueue::main()->async([&] { done = NSRunLoop::isMainThread(); });
  });
  EXPECT_TRUE(runUntil([&] { return done.load(); }, 5.0));
}

TEST_F(MainQueueTest, SyncOnTheOwnQueueDoesNotDeadlock) {
  auto queue = DispatchQueue::makeSerial("test.reentrant");
  int value = 0;
  queue->sync([&] { queue->sync([&] { value = 7; }); });
  EXPECT_EQ(value, 7);
  DispatchQueue::main()->sync([&] { value = 8; });
  EXPECT_EQ(value, 8);
}
