#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestEnvironment.h"

class NotificationStressTest : public GlimdeckTest {};

TEST_F(NotificationStressTest, PostingWhileObserversComeAndGoDeliversEveryPostToTheSteadyObserver) {
  auto center = NSNotificationCenter::make();
  constexpr int kPosters = 6;
  constexpr int kPosts = 1500;
  std::atomic<int> steady{0};
  std::atomic<int> transient{0};
  auto token = center->addObserverForName("tick", nullptr, nullptr,
                                          [&](const std::shared_ptr<NSNotification>&) { ++steady; });
  std::atomic<bool> posting{true};
  std::vector<std::thread> churners;
  for (int c = 0; c < 3; ++c) {
    churners.emplace_back([&] {
      while (posting.load()) {
        auto mine = center->addObserverForName("tick", nullptr, nullptr,
                                               [&](const std::shared_ptr<NSNotification>&) { ++transient; });
        auto other = center->addObserverForName("", nullptr, nullptr, [&](const std::shared_ptr<NSNotification>&) {});
        center->removeObserver(other);
      }
    });
  }
  std::vector<std::thread> posters;
  for (int p = 0; p < kPosters; ++p) {
    posters.emplace_back([&] {
      for (int i = 0; i < kPosts; ++i) center->postNotificationName("tick", nullptr);
    });
  }
  for (auto& poster : posters) poster.join();
  posting = false;
  for (auto& churner : churners) churner.join();
  EXPECT_EQ(steady.load(), kPosters * kPosts);
}

TEST_F(NotificationStressTest, ObserversRemovingEachOtherFromManyThreadsNeverCrash) {
  auto center = NSNotificationCenter::make();
  constexpr int kThreads = 6;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&center] {
      for (int round = 0; round < 300; ++round) {
        // The observer drops its own token when first called, from whichever thread posts.
        struct Holder {
          std::mutex mutex;
          id token;
        };
        auto holder = std::make_shared<Holder>();
        auto made = center->addObserverForName("n", nullptr, nullptr, [holder](const std::shared_ptr<NSNotification>&) {
          id dropped;
          std::lock_guard lock(holder->mutex);
          dropped = std::move(holder->token);
        });
        {
          std::lock_guard lock(holder->mutex);
          holder->token = std::move(made);
        }
        center->postNotificationName("n", nullptr);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::atomic<int> calls{0};
  auto last = center->addObserverForName("n", nullptr, nullptr, [&](const std::shared_ptr<NSNotification>&) { ++calls; });
  center->postNotificationName("n", nullptr);
  EXPECT_EQ(calls.load(), 1);
}

TEST_F(NotificationStressTest, QueuedDeliveriesFromManyThreadsAllArriveOnTheMainThread) {
  auto center = NSNotificationCenter::make();
  int delivered = 0;  // touched on the main thread only
  bool allOnMain = true;
  auto token = center->addObserverForName("loginStateChanged", nullptr, NSOperationQueue::mainQueue(),
                                          [&](const std::shared_ptr<NSNotification>&) {
                                            allOnMain = allOnMain && NSRunLoop::isMainThread();
                                            ++delivered;
                                          });
  std::vector<std::thread> posters;
  for (int p = 0; p < 4; ++p) {
    posters.emplace_back([&] {
      for (int i = 0; i < 200; ++i) center->postNotificationName("loginStateChanged", nullptr);
    });
  }
  EXPECT_TRUE(runUntil([&] { return delivered == 800; }, 30.0));
  for (auto& poster : posters) poster.join();
  EXPECT_TRUE(allOnMain);
}
