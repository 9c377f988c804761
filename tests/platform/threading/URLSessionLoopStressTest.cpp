// The network loop goes idle after every lone transfer and lends its thread back; tasks
// started from other threads just as it does so must still start, or they would wait for
// some later task to wake the loop again.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/NSURLSession.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestEnvironment.h"

class URLSessionLoopStressTest : public GlimdeckTest {};

TEST_F(URLSessionLoopStressTest, TasksStartedWhileTheLoopGoesIdleAllEnd) {
  constexpr int kChains = 4;
  constexpr int kEach = 150;
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  // Nothing answers: each transfer fails at once and the loop goes idle between them.
  const auto url = NSURL::URLWithString("http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/x");
  std::atomic<int> ended{0};
  std::atomic<int> stalled{0};
  std::vector<std::thread> chains;
  for (int c = 0; c < kChains; ++c) {
    chains.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        struct Done {
          std::mutex mutex;
          std::condition_variable changed;
          bool ended = false;
        };
        auto done = std::make_shared<Done>();
        session->dataTaskWithURL(url, [done](auto, auto, auto) {
          std::lock_guard lock(done->mutex);
          done->ended = true;
          done->changed.notify_all();
        })->resume();
        std::unique_lock lock(done->mutex);
        // Generous: only a task nobody starts takes anywhere near this long.
        if (!done->changed.wait_for(lock, std::chrono::seconds(30), [&] { return done->ended; })) {
          ++stalled;
          return;
        }
        ++ended;
      }
    });
  }
  for (auto& chain : chains) chain.join();
  EXPECT_EQ(stalled.load(), 0);
  EXPECT_EQ(ended.load(), kChains * kEach);
}
