// The network loop goes idle after every lone transfer and lends its thread back; tasks
// started from other threads just as it does so must still start, or they would wait for
// some later task to wake the loop again. A task's start reaches the loop after its
// resume() has returned, so a cancel() right after may reach it first.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURLSession.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestEnvironment.h"

namespace {

// One task's end, which its chain waits for.
class Ending {
 public:
  void end() {
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }
  // Generous: only a task that nothing ends takes anywhere near this long.
  bool await() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return ended_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
};

// Four threads, each starting `each` tasks with `start` one after another and waiting for
// each to end; answers how many chains stopped at a task that never ended.
int stalledChains(int each, const std::function<void(const std::shared_ptr<Ending>&)>& start) {
  std::atomic<int> stalled{0};
  std::vector<std::thread> chains;
  for (int c = 0; c < 4; ++c) {
    chains.emplace_back([&] {
      for (int i = 0; i < each; ++i) {
        auto ending = std::make_shared<Ending>();
        start(ending);
        if (!ending->await()) {
          ++stalled;
          return;
        }
      }
    });
  }
  for (auto& chain : chains) chain.join();
  return stalled.load();
}

}  // namespace

class URLSessionLoopStressTest : public GlimdeckTest {};

TEST_F(URLSessionLoopStressTest, TasksStartedWhileTheLoopGoesIdleAllEnd) {
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  // Nothing answers: each transfer fails at once and the loop goes idle between them.
  const auto url = NSURL::URLWithString("http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/x");
  EXPECT_EQ(stalledChains(150,
                          [&](const std::shared_ptr<Ending>& ending) {
                            session->dataTaskWithURL(url, [ending](auto, auto, auto) { ending->end(); })->resume();
                          }),
            0);
}

TEST_F(URLSessionLoopStressTest, TasksCancelledAsTheyStartEndOnceAsCancelled) {
  // A server that takes connections and never answers: only the cancel ends a task.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1024), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const auto url = NSURL::URLWithString("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/silent");
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  // Shared with the completions, which a failed run may leave behind.
  struct Counts {
    std::atomic<int> cancelled{0};
    std::atomic<int> otherwise{0};
  };
  auto counts = std::make_shared<Counts>();
  // Enough tasks that a cancel which overtakes its task's start is all but sure to happen.
  constexpr int kEach = 500;
  EXPECT_EQ(stalledChains(kEach,
                          [&](const std::shared_ptr<Ending>& ending) {
                            auto task = session->dataTaskWithURL(
                                url, [counts, ending](auto, auto, const std::shared_ptr<NSError>& error) {
                                  const bool asCancelled = error && error->code() == NSURLError::cancelled;
                                  ++(asCancelled ? counts->cancelled : counts->otherwise);
                                  ending->end();
                                });
                            // Cancelled from another thread the moment it counts as running,
                            // while its start is on its way to the loop.
                            std::thread canceller([&task] {
                              while (task->state() == NSURLSessionTask::State::suspended) std::this_thread::yield();
                              task->cancel();
                            });
                            task->resume();
                            canceller.join();
                          }),
            0);
  session->finishTasksAndInvalidate();
  ::close(listener);
  EXPECT_EQ(counts->otherwise.load(), 0);
  EXPECT_EQ(counts->cancelled.load(), 4 * kEach);
}
