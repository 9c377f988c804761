#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestEnvironment.h"

namespace {

// Finishes on another thread of the pool, after start() has returned.
class HandOffOperation : public NSOperation {
 public:
  static std::shared_ptr<HandOffOperation> make(std::atomic<int>& running, std::atomic<int>& most) {
    return std::shared_ptr<HandOffOperation>(new HandOffOperation(running, most));
  }
  void start() override {
    setExecuting(true);
    int now = ++running_;
    int seen = most_.load();
    while (now > seen && !most_.compare_exchange_weak(seen, now)) {
    }
    auto self = sharedAs<HandOffOperation>();
    DispatchQueue::global()->async([self] {
      --self->running_;
      self->finish();
    });
  }

 private:
  HandOffOperation(std::atomic<int>& running, std::atomic<int>& most) : running_(running), most_(most) {}
  std::atomic<int>& running_;
  std::atomic<int>& most_;
};

}  // namespace

class OperationQueueStressTest : public GlimdeckTest {};

TEST_F(OperationQueueStressTest, ManyProducersNeverExceedTheLimitAndEveryOperationFinishes) {
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(3);
  std::atomic<int> running{0};
  std::atomic<int> most{0};
  std::atomic<int> completed{0};
  constexpr int kProducers = 6;
  constexpr int kEach = 200;
  std::vector<std::thread> producers;
  std::vector<std::vector<std::shared_ptr<NSOperation>>> made(kProducers);
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kEach; ++i) {
        auto operation = HandOffOperation::make(running, most);
        operation->setCompletionBlock([&] { ++completed; });
        made[p].push_back(operation);
        queue->addOperation(operation);
        // Snapshots while others add and finish, as a duplicate filter does.
        if (i % 16 == 0) (void)queue->operations();
      }
    });
  }
  for (auto& producer : producers) producer.join();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_LE(most.load(), 3);
  EXPECT_EQ(completed.load(), kProducers * kEach);
  EXPECT_EQ(queue->operationCount(), 0u);
  for (auto& list : made) {
    for (auto& operation : list) EXPECT_TRUE(operation->isFinished());
  }
}

TEST_F(OperationQueueStressTest, CancellingWhileProducersAddLeavesNothingBehind) {
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(2);
  std::atomic<int> ran{0};
  std::atomic<int> finished{0};
  std::atomic<bool> producing{true};
  std::thread canceller([&] {
    while (producing.load()) {
      queue->cancelAllOperations();
      queue->setSuspended(true);
      queue->setSuspended(false);
    }
  });
  std::vector<std::thread> producers;
  for (int p = 0; p < 4; ++p) {
    producers.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        auto operation = NSBlockOperation::blockOperationWithBlock([&] { ++ran; });
        operation->setCompletionBlock([&] { ++finished; });
        queue->addOperation(operation);
      }
    });
  }
  for (auto& producer : producers) producer.join();
  producing = false;
  canceller.join();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(finished.load(), 1200);
  EXPECT_LE(ran.load(), 1200);
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST_F(OperationQueueStressTest, ChainsOfDependenciesAcrossQueuesRunInOrder) {
  auto first = NSOperationQueue::make();
  auto second = NSOperationQueue::make();
  constexpr int kLength = 200;
  std::atomic<int> next{0};
  std::atomic<bool> outOfOrder{false};
  std::vector<std::shared_ptr<NSOperation>> chain;
  for (int i = 0; i < kLength; ++i) {
    auto operation = NSBlockOperation::blockOperationWithBlock([&, i] {
      if (next.load() != i) outOfOrder = true;
      next = i + 1;
    });
    if (!chain.empty()) operation->addDependency(chain.back());
    chain.push_back(operation);
  }
  // Added back to front, alternating queues, from two threads.
  std::thread a([&] {
    for (int i = kLength - 1; i >= 0; i -= 2) first->addOperation(chain[i]);
  });
  std::thread b([&] {
    for (int i = kLength - 2; i >= 0; i -= 2) second->addOperation(chain[i]);
  });
  a.join();
  b.join();
  first->waitUntilAllOperationsAreFinished();
  second->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(next.load(), kLength);
  EXPECT_FALSE(outOfOrder.load());
}
