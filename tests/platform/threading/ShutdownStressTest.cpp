// Shutdowns while other threads keep handing work to the queues and the network: every
// block runs exactly once, every task ends exactly once, and the threads start again.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/ProcessShutdown.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A loopback address nothing listens on: the transfers fail fast without a server, whose
// library the thread sanitizer cannot see into.
std::string unanswered() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";
}

}  // namespace

class ShutdownStressTest : public GlimdeckTest {};

TEST_F(ShutdownStressTest, WorkGivenDuringShutdownsIsDoneOnceAndTasksEndOnce) {
  constexpr int kSenders = 4;
  constexpr int kEach = 200;
  std::atomic<int> ran{0}, ended{0}, endedTwice{0};
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  const auto url = NSURL::URLWithString(unanswered());
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
