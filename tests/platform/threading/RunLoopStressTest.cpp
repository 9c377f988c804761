#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestEnvironment.h"

namespace {
class Target : public NSObject {
 public:
  static std::shared_ptr<Target> make() { return std::shared_ptr<Target>(new Target()); }
  int calls = 0;  // main thread only

 private:
  Target() = default;
};
}  // namespace

class RunLoopStressTest : public GlimdeckTest {};

TEST_F(RunLoopStressTest, BlocksFromManyThreadsReachTheMainQueueOnceEachAndInEachSendersOrder) {
  constexpr int kSenders = 6;
  constexpr int kEach = 500;
  std::vector<int> lastSeen(kSenders, -1);  // main thread only
  int received = 0;
  bool ordered = true;
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s] {
      for (int i = 0; i < kEach; ++i) {
        DispatchQueue::main()->async([&, s, i] {
          ordered = ordered && lastSeen[s] == i - 1;
          lastSeen[s] = i;
          ++received;
        });
      }
    });
  }
  EXPECT_TRUE(runUntil([&] { return received == kSenders * kEach; }, 30.0));
  for (auto& sender : senders) sender.join();
  EXPECT_TRUE(ordered);
}

TEST_F(RunLoopStressTest, SerialQueueFedByManyThreadsRunsOneBlockAtATime) {
  auto queue = DispatchQueue::makeSerial("stress.serial");
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  int total = 0;  // guarded by the queue itself
  std::vector<std::thread> senders;
  for (int s = 0; s < 6; ++s) {
    senders.emplace_back([&] {
      for (int i = 0; i < 400; ++i) {
        queue->async([&] {
          if (inside.fetch_add(1) != 0) overlapped = true;
          ++total;
          inside.fetch_sub(1);
        });
      }
    });
  }
  for (auto& sender : senders) sender.join();
  int seen = 0;
  queue->sync([&] { seen = total; });
  EXPECT_EQ(seen, 2400);
  EXPECT_FALSE(overlapped.load());
}

TEST_F(RunLoopStressTest, BlocksRunHereOrQueuedFromManyThreadsRunOneAtATimeInEachSendersOrder) {
  auto queue = DispatchQueue::makeSerial("stress.here");
  constexpr int kSenders = 6;
  constexpr int kEach = 400;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::vector<int> lastSeen(kSenders, -1);  // guarded by the queue itself
  bool ordered = true;                      // the same
  int total = 0;                            // the same
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s] {
      for (int i = 0; i < kEach; ++i) {
        auto block = [&, s, i] {
          if (inside.fetch_add(1) != 0) overlapped = true;
          ordered = ordered && lastSeen[s] == i - 1;
          lastSeen[s] = i;
          ++total;
          inside.fetch_sub(1);
        };
        if (i % 3 == 0) {
          queue->async(block);
        } else {
          queue->runHereOrAsync(block);
        }
      }
    });
  }
  for (auto& sender : senders) sender.join();
  queue->sync([] {});
  queue->sync([&] {
    EXPECT_EQ(total, kSenders * kEach);
    EXPECT_TRUE(ordered);
  });
  EXPECT_FALSE(overlapped);
}

TEST_F(RunLoopStressTest, TimersAndDelayedPerformsCancelledFromOtherThreadsWhileTheClockMoves) {
  constexpr int kTimers = 40;
  std::vector<std::shared_ptr<NSTimer>> timers;
  std::atomic<int> ticks{0};
  for (int i = 0; i < kTimers; ++i) {
    timers.push_back(NSTimer::scheduledTimerWithTimeInterval(0.5 + i * 0.01, true,
                                                             [&](const std::shared_ptr<NSTimer>&) { ++ticks; }));
  }
  std::vector<std::shared_ptr<Target>> targets;
  for (int i = 0; i < 40; ++i) targets.push_back(Target::make());

  std::atomic<bool> done{false};
  std::thread invalidator([&] {
    for (auto& timer : timers) timer->invalidate();
  });
  std::thread performer([&] {
    for (int round = 0; round < 20 && !done.load(); ++round) {
      for (auto& target : targets) {
        PerformRequests::perform<Target>(target, "hide", [](Target& t) { ++t.calls; }, 0.25);
        if (round % 2) PerformRequests::cancel(target, "hide");
      }
    }
  });
  for (int step = 0; step < 200; ++step) advance(0.05);
  invalidator.join();
  done = true;
  performer.join();
  advance(1.0);
  for (auto& timer : timers) EXPECT_FALSE(timer->isValid());
  int before = ticks.load();
  advance(10.0);
  EXPECT_EQ(ticks.load(), before);
}
