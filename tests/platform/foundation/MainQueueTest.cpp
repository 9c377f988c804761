#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <condition_variable>
#include <mutex>
#include <thread>
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

TEST_F(MainQueueTest, RunHereOrAsyncRunsAtOnceOnAnIdleSerialQueueAndOtherwiseQueuesInOrder) {
  auto queue = DispatchQueue::makeSerial("test.here");
  bool ranHere = false;
  bool asTheQueue = false;
  queue->runHereOrAsync([&] {
    ranHere = true;
    asTheQueue = queue->isCurrent();
  });
  EXPECT_TRUE(ranHere);
  EXPECT_TRUE(asTheQueue);
  EXPECT_FALSE(queue->isCurrent());

  // Behind a block that runs (or waits to), it waits its turn like any other.
  std::vector<int> seen;  // touched by the queue's blocks only
  std::promise<void> release;
  auto gate = release.get_future().share();
  queue->async([gate, &seen] {
    gate.wait();
    seen.push_back(1);
  });
  queue->runHereOrAsync([&] { seen.push_back(2); });
  queue->async([&] { seen.push_back(3); });
  release.set_value();
  queue->sync([] {});
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));

  // What a block run here queues runs after it, in order.
  std::vector<int> order;
  queue->runHereOrAsync([&] {
    queue->async([&] { order.push_back(3); });
    queue->async([&] { order.push_back(4); });
    order.push_back(1);
    queue->sync([&] { order.push_back(2); });  // on its own queue: at once
  });
  // The worker that ran the barrier above may not have let the queue go yet, so the block
  // may have been queued instead, with this barrier behind it but ahead of 3 and 4: a
  // second one comes after them either way.
  queue->sync([] {});
  queue->sync([] {});
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));

  // The main and concurrent queues never run it on the caller's thread.
  std::atomic<int> ran{0};
  DispatchQueue::main()->runHereOrAsync([&] { ++ran; });
  EXPECT_EQ(ran.load(), 0);
  std::promise<void> concurrentRan;
  DispatchQueue::global()->runHereOrAsync([&, caller = std::this_thread::get_id()] {
    if (std::this_thread::get_id() != caller) ++ran;
    concurrentRan.set_value();
  });
  concurrentRan.get_future().wait();
  EXPECT_TRUE(runUntil([&] { return ran.load() == 2; }, 5.0));
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

TEST_F(MainQueueTest, ConcurrentQueueRunsEveryWaitingBlockSideBySide) {
  // Each round queues one block more than the threads the last round left idle, back to back,
  // and every block waits for all of its round to have started: only a thread for each gets
  // them through, however slowly the idle threads wake.
  auto queue = DispatchQueue::makeConcurrent("test.concurrent");
  for (int round = 1; round <= 12; ++round) {
    std::mutex mutex;
    std::condition_variable allStarted;
    int started = 0;
    std::atomic<int> through{0};
    for (int i = 0; i <= round; ++i) {
      queue->async([&, round] {
        std::unique_lock lock(mutex);
        if (++started == round + 1) allStarted.notify_all();
        if (allStarted.wait_for(lock, std::chrono::seconds(20), [&] { return started == round + 1; })) ++through;
      });
    }
    ASSERT_TRUE(runUntil([&] { return through.load() == round + 1; }, 30.0)) << "round " << round;
  }
}

TEST_F(MainQueueTest, DelayedBlockForAWorkerQueueRunsOnThatQueueOnceDue) {
  auto queue = DispatchQueue::makeSerial("test.delayed");
  std::atomic<bool> ranOnQueue{false};
  std::atomic<bool> ran{false};
  queue->asyncAfter(3.0, [&] {
    ranOnQueue = queue->isCurrent() && !NSRunLoop::isMainThread();
    ran = true;
  });
  advance(2.9);
  queue->sync([] {});
  EXPECT_FALSE(ran.load());
  advance(0.1);
  queue->sync([] {});
  EXPECT_TRUE(ran.load());
  EXPECT_TRUE(ranOnQueue.load());
  EXPECT_FALSE(queue->isCurrent());
}

TEST_F(MainQueueTest, RunOnceRunsWhatIsQueuedButLeavesManualClockWorkToAdvance) {
  auto loop = NSRunLoop::main();
  EXPECT_FALSE(loop->runOnce());
  int ran = 0;
  auto token = loop->scheduleAfter(0.0, [&] { ran += 10; });
  loop->perform([&] { ++ran; });
  EXPECT_EQ(loop->pendingBlockCount(), 1u);
  EXPECT_TRUE(loop->runOnce());
  EXPECT_EQ(ran, 1);
  advance(0.0);
  EXPECT_EQ(ran, 11);
  token->cancel();  // after it ran: harmless
  EXPECT_TRUE(token->isCancelled());
}

TEST_F(MainQueueTest, BlocksQueuedByBlocksRunInTheSameDrain) {
  std::vector<int> order;
  DispatchQueue::main()->async([&] {
    order.push_back(1);
    DispatchQueue::main()->async([&] {
      order.push_back(3);
      DispatchQueue::main()->async([&] { order.push_back(4); });
    });
    order.push_back(2);
  });
  drainMainQueue();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(MainQueueTest, RunReturnsOnStopAfterRunningWhatWasQueuedBefore) {
  std::vector<int> order;
  DispatchQueue::main()->async([&] { order.push_back(1); });
  DispatchQueue::main()->async([&] { NSRunLoop::main()->stop(); });
  NSRunLoop::main()->run();
  EXPECT_EQ(order, (std::vector<int>{1}));
}

TEST_F(MainQueueTest, WorkerWaitingOnTheMainQueueIsServedWhileTheMainThreadPumps) {
  auto queue = DispatchQueue::makeSerial("test.hop");
  std::atomic<bool> done{false};
  int value = 0;
  queue->async([&] {
    DispatchQueue::main()->sync([&] { value = NSRunLoop::isMainThread() ? 42 : -1; });
    done = true;
  });
  EXPECT_TRUE(runUntil([&] { return done.load(); }));
  EXPECT_EQ(value, 42);
}

TEST_F(MainQueueTest, RunUntilKeepsItsDeadlineWhileWorkKeepsArriving) {
  // A block that queues itself again, as a stream of desktop events never ends.
  std::function<void()> again;
  int turns = 0;
  again = [&] {
    ++turns;
    NSRunLoop::main()->perform(again);
  };
  NSRunLoop::main()->perform(again);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(NSRunLoop::main()->runUntil([] { return false; }, 0.05));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "it came back";
  EXPECT_GT(turns, 0);
  NSRunLoop::main()->reset();
}

TEST_F(MainQueueTest, AnOperationWhoseTurnTheRunLoopForgotNeitherRunsNorHoldsUpTheMainQueue) {
  // A reply that hops to the main queue just as a test ends lands between drain and reset.
  std::vector<int> ran;
  NSOperationQueue::mainQueue()->addOperationWithBlock([&] { ran.push_back(1); });
  NSRunLoop::main()->reset();
  NSOperationQueue::mainQueue()->addOperationWithBlock([&] { ran.push_back(2); });
  EXPECT_TRUE(runUntil([&] { return !ran.empty(); }));
  drainMainQueue();
  EXPECT_EQ(ran, std::vector<int>{2});
  EXPECT_EQ(NSOperationQueue::mainQueue()->operationCount(), 0u);
}
