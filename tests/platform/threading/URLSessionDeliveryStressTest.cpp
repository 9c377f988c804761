// Where and how often completions run, whatever the queue a session delivers on and however
// the thread that started the task waits for it. A lone transfer's outcome is delivered by the
// thread that ended it, and a task started from elsewhere meanwhile is left to that thread for
// when it is done: every completion must still run once, on its session's queue, one at a time
// on a serial queue, and a completion that waits for another thread's task must not wait for
// ever.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NSURLSession.h"
#include "tests/support/StandinFixture.h"

namespace {

enum class QueueKind { ownSerial, givenSerial, concurrent, main };
// How the thread that starts a task waits for its completion.
enum class Wait {
  blocks,     // a thread of its own blocks on a condition until the completion tells it
  pumpsMain,  // the main thread runs its run loop until the completion has run
  chains,     // nobody waits: each completion starts the next task
};

std::shared_ptr<DispatchQueue> queueOf(QueueKind kind) {
  switch (kind) {
    case QueueKind::ownSerial: return nullptr;
    case QueueKind::givenSerial: return DispatchQueue::makeSerial("delivery test");
    case QueueKind::concurrent: return DispatchQueue::makeConcurrent("delivery test");
    case QueueKind::main: return DispatchQueue::main();
  }
  return nullptr;
}

// What the completions of one run saw.
struct Tally {
  std::atomic<int> calls{0};
  std::atomic<int> wrongQueue{0};
  std::atomic<int> failed{0};
  std::atomic<int> overlapping{0};  // a completion began while another of the session ran
  std::atomic<int> inside{0};
  std::mutex mutex;
  std::vector<int> order;  // each chain's tasks by number, as their completions ran
};

// A task's completion, which its starter waits for.
struct Awaited {
  std::mutex mutex;
  std::condition_variable done;
  int calls = 0;
  // Told with the lock held: the waiter may let this go as soon as it may lock.
  void tell() {
    std::lock_guard lock(mutex);
    ++calls;
    done.notify_one();
  }
  // Whether the completion ran within `seconds`.
  bool wait(int seconds) {
    std::unique_lock lock(mutex);
    return done.wait_for(lock, std::chrono::seconds(seconds), [&] { return calls > 0; });
  }
};

}  // namespace

class URLSessionDeliveryStressTest : public StandinTest {
 protected:
  std::shared_ptr<NSURL> bytesURL(int n) { return NSURL::URLWithString(standinURL("/_standin/bytes?n=" + std::to_string(n))); }

  // Starts task `number` of `session`; its completion records itself in `tally`, then runs `then`.
  void start(const std::shared_ptr<NSURLSession>& session, Tally& tally, int number, std::function<void()> then) {
    const int size = 100 + number % 7;
    session->dataTaskWithURL(bytesURL(size), [&tally, session, number, size, then](auto data, auto, auto error) {
      if (tally.inside.fetch_add(1) > 0) ++tally.overlapping;
      if (!session->delegateQueue()->isCurrent()) ++tally.wrongQueue;
      if (error || !data || data->length() != static_cast<std::size_t>(size)) ++tally.failed;
      {
        std::lock_guard lock(tally.mutex);
        tally.order.push_back(number);
      }
      --tally.inside;
      if (then) then();
      // Last: once every completion has counted itself the test may let `tally` go.
      ++tally.calls;
    })->resume();
  }
};

TEST_F(URLSessionDeliveryStressTest, EveryCompletionRunsOnceOnItsQueueHoweverItsCallerWaits) {
  struct Row {
    QueueKind queue;
    Wait wait;
    int chains;  // started together, each from a thread of its own unless pumping the main queue
  };
  const Row rows[] = {
      {QueueKind::ownSerial, Wait::blocks, 1},      {QueueKind::ownSerial, Wait::blocks, 3},
      {QueueKind::ownSerial, Wait::pumpsMain, 1},   {QueueKind::ownSerial, Wait::chains, 2},
      {QueueKind::givenSerial, Wait::blocks, 2},    {QueueKind::givenSerial, Wait::chains, 1},
      {QueueKind::concurrent, Wait::blocks, 2},     {QueueKind::concurrent, Wait::chains, 2},
      {QueueKind::main, Wait::pumpsMain, 1},        {QueueKind::main, Wait::chains, 2},
  };
  constexpr int kEach = 40;
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "queue " << static_cast<int>(row.queue) << ", wait "
                                      << static_cast<int>(row.wait) << ", chains " << row.chains);
    auto session = NSURLSession::sessionWithConfiguration(nullptr, nullptr, queueOf(row.queue));
    Tally tally;
    const int total = kEach * row.chains;
    // Each chain's next step, for chains: the completions call it until the row's end.
    std::vector<std::function<void(int)>> next(row.chains);
    switch (row.wait) {
      case Wait::blocks: {
        std::vector<std::thread> threads;
        for (int c = 0; c < row.chains; ++c) {
          threads.emplace_back([&, c] {
            for (int i = 0; i < kEach; ++i) {
              auto awaited = std::make_shared<Awaited>();
              start(session, tally, c * kEach + i, [awaited] { awaited->tell(); });
              if (!awaited->wait(30)) return;
            }
          });
        }
        for (auto& thread : threads) thread.join();
        break;
      }
      case Wait::pumpsMain:
        for (int i = 0; i < kEach; ++i) {
          std::atomic<bool> ran{false};
          start(session, tally, i, [&ran] { ran = true; });
          ASSERT_TRUE(runUntil([&] { return ran.load(); }, 30));
        }
        break;
      case Wait::chains: {
        for (int c = 0; c < row.chains; ++c) {
          next[c] = [&, c](int i) {
            start(session, tally, c * kEach + i, [&, c, i] {
              if (i + 1 < kEach) next[c](i + 1);
            });
          };
        }
        for (int c = 0; c < row.chains; ++c) next[c](0);
        break;
      }
    }
    EXPECT_TRUE(runUntil([&] { return tally.calls.load() >= total; }, 60));
    drainMainQueue();
    EXPECT_EQ(tally.calls.load(), total);
    EXPECT_EQ(tally.wrongQueue.load(), 0);
    EXPECT_EQ(tally.failed.load(), 0);
    if (row.queue != QueueKind::concurrent) {
      EXPECT_EQ(tally.overlapping.load(), 0);
    }
    // Each chain's tasks ran one after another, so their completions came in their order.
    std::vector<int> last(row.chains, -1);
    std::lock_guard lock(tally.mutex);
    for (int number : tally.order) {
      const int chain = number / kEach;
      EXPECT_EQ(number, last[chain] + 1 + (last[chain] < 0 ? chain * kEach : 0)) << "task " << number;
      last[chain] = number;
    }
  }
}

// A completion that waits for a task another thread starts while it runs: that task is left to
// the delivering thread at first, and must start elsewhere once it is plain that the thread is
// still busy.
TEST_F(URLSessionDeliveryStressTest, ACompletionWaitingForAnotherThreadsTaskIsNotLeftWaiting) {
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  auto other = NSURLSession::sessionWithConfiguration(nullptr);
  constexpr int kRounds = 20;
  std::atomic<int> done{0};
  std::atomic<int> unanswered{0};
  for (int round = 0; round < kRounds; ++round) {
    Awaited finished;
    session->dataTaskWithURL(bytesURL(50), [&](auto, auto, auto) {
      // Another thread starts a task now, and this completion waits for its completion.
      Awaited inner;
      std::thread starter(
          [&] { other->dataTaskWithURL(bytesURL(10), [&](auto, auto, auto) { inner.tell(); })->resume(); });
      if (!inner.wait(30)) ++unanswered;
      starter.join();
      finished.tell();
    })->resume();
    ASSERT_TRUE(finished.wait(60));
    ++done;
  }
  EXPECT_EQ(done.load(), kRounds);
  EXPECT_EQ(unanswered.load(), 0);
}
