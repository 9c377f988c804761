// Shutdowns while other threads keep handing work to the queues and the network: every
// block runs exactly once, every task ends exactly once, and the threads start again.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/ProcessShutdown.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestEnvironment.h"

class ShutdownStressTest : public GlimdeckTest {};

TEST_F(ShutdownStressTest, WorkGivenDuringShutdownsIsDoneOnceAndTasksEndOnce) {
  constexpr int kSenders = 4;
  constexpr int kEach = 200;
  std::atomic<int> ran{0}, ended{0}, endedTwice{0};
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  // Nothing answers: the transfers fail fast without a server, whose library the thread
  // sanitizer cannot see into.
  const auto url = NSURL::URLWithString("http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/x");
  auto serial = DispatchQueue::makeSerial("stress");
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s] {
      for (int i = 0; i < kEach; ++i) {
        (i % 2 ? serial : DispatchQueue::global())->async([&] { ++ran; });
        if (i % 20 == s) {
          auto calls = std::make_shared<std::atomic<int>>(0);
          session->dataTaskWithURL(url, [&, calls](auto, auto, auto) {
            if (++*calls > 1) ++endedTwice;
            ++ended;
          })->resume();
        }
      }
    });
  }
  for (int i = 0; i < 5; ++i) ProcessShutdown::run();
  for (auto& sender : senders) sender.join();
  const int tasks = kSenders * (kEach / 20);
  ASSERT_TRUE(runUntil([&] { return ran.load() == kSenders * kEach && ended.load() == tasks; }, 60));
  EXPECT_EQ(endedTwice.load(), 0);
}
