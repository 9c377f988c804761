#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestEnvironment.h"

namespace {

// An operation that stays executing after start() returns, until finishNow() is called,
// the way an operation waiting for a network reply does.
class PendingOperation : public NSOperation {
 public:
  static std::shared_ptr<PendingOperation> make(std::string id) {
    auto operation = std::shared_ptr<PendingOperation>(new PendingOperation());
    operation->id = std::move(id);
    return operation;
  }
  void start() override {
    setExecuting(true);
    setFinished(false);
    started.store(true);
  }
  void finishNow() { finish(); }
  bool isEqual(const std::shared_ptr<NSObject>& other) const override {
    auto that = asA<PendingOperation>(other);
    return that && that->id == id;
  }

  std::string id;
  std::atomic<bool> started{false};

 private:
  PendingOperation() = default;
};

// Counts how many run at once and the largest overlap seen.
struct Overlap {
  std::atomic<int> now{0};
  std::atomic<int> most{0};
  void enter() {
    int running = ++now;
    int seen = most.load();
    while (running > seen && !most.compare_exchange_weak(seen, running)) {
    }
  }
  void leave() { --now; }
};

}  // namespace

class OperationQueueTest : public GlimdeckTest {};

TEST_F(OperationQueueTest, SerialQueueRunsOperationsOneAtATimeInOrder) {
  auto queue = NSOperationQueue::make();
  queue->setName("Local/Server Collection Synchronization Queue");
  queue->setMaxConcurrentOperationCount(1);
  std::mutex mutex;
  std::vector<int> order;
  Overlap overlap;
  for (int i = 0; i < 100; ++i) {
    queue->addOperationWithBlock([&, i] {
      overlap.enter();
      {
        std::lock_guard lock(mutex);
        order.push_back(i);
      }
      overlap.leave();
    });
  }
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(queue->operationCount(), 0u);
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(overlap.most.load(), 1);
  EXPECT_EQ(queue->name(), "Local/Server Collection Synchronization Queue");
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 1);
}

TEST_F(OperationQueueTest, AsynchronousOperationHoldsItsSlotUntilItFinishes) {
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(3);
  std::vector<std::shared_ptr<PendingOperation>> operations;
  for (int i = 0; i < 5; ++i) {
    operations.push_back(PendingOperation::make("source-" + std::to_string(i)));
    queue->addOperation(operations.back());
  }
  auto startedCount = [&] {
    int count = 0;
    for (auto& operation : operations) count += operation->started.load();
    return count;
  };
  ASSERT_TRUE(runUntil([&] { return startedCount() == 3; }));
  // start() has returned on all three, yet the other two still wait.
  drainMainQueue();
  EXPECT_EQ(startedCount(), 3);
  EXPECT_EQ(queue->operationCount(), 5u);
  EXPECT_TRUE(operations[0]->isExecuting());
  EXPECT_FALSE(operations[3]->started.load());

  operations[1]->finishNow();
  ASSERT_TRUE(runUntil([&] { return operations[3]->started.load(); }));
  EXPECT_FALSE(operations[4]->started.load());
  EXPECT_EQ(queue->operationCount(), 4u);
  for (int i : {0, 2, 3}) operations[i]->finishNow();
  ASSERT_TRUE(runUntil([&] { return operations[4]->started.load(); }));
  operations[4]->finishNow();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(startedCount(), 5);
}

TEST_F(OperationQueueTest, OperationsSnapshotHoldsWaitingAndExecutingInOrderForDuplicateChecks) {
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(1);
  auto first = PendingOperation::make("a");
  auto second = PendingOperation::make("b");
  queue->addOperation(first);
  queue->addOperation(second);
  ASSERT_TRUE(runUntil([&] { return first->started.load(); }));

  auto snapshot = queue->operations();
  ASSERT_EQ(snapshot.size(), 2u);
  EXPECT_EQ(snapshot[0], first);
  EXPECT_EQ(snapshot[1], second);
  auto containsEqual = [&](const std::shared_ptr<NSObject>& candidate) {
    for (auto& queued : queue->operations()) {
      if (queued->isEqual(candidate)) return true;
    }
    return false;
  };
  EXPECT_TRUE(containsEqual(PendingOperation::make("a")));
  EXPECT_FALSE(containsEqual(PendingOperation::make("c")));

  first->finishNow();
  ASSERT_TRUE(runUntil([&] { return second->started.load(); }));
  // Finished operations have left the list: an equal report may be queued again.
  EXPECT_FALSE(containsEqual(PendingOperation::make("a")));
  second->finishNow();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(queue->operations().empty());
}

TEST_F(OperationQueueTest, CancelledOperationsFinishWithoutRunningAndStillComplete) {
  auto queue = NSOperationQueue::make();
  queue->setSuspended(true);
  std::atomic<int> ran{0};
  std::atomic<int> completed{0};
  std::vector<std::shared_ptr<NSOperation>> operations;
  for (int i = 0; i < 4; ++i) {
    auto operation = NSBlockOperation::blockOperationWithBlock([&] { ++ran; });
    operation->setCompletionBlock([&] { ++completed; });
    operations.push_back(operation);
    queue->addOperation(operation);
  }
  operations[0]->cancel();
  EXPECT_TRUE(operations[0]->isCancelled());
  EXPECT_EQ(queue->operationCount(), 4u);
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran.load(), 3);
  EXPECT_EQ(completed.load(), 4);

  queue->setSuspended(true);
  for (int i = 0; i < 3; ++i) queue->addOperationWithBlock([&] { ++ran; });
  queue->cancelAllOperations();
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran.load(), 3);
  for (auto& operation : operations) EXPECT_TRUE(operation->isFinished());
}

TEST_F(OperationQueueTest, SuspendedQueueStartsNothing) {
  auto queue = NSOperationQueue::make();
  queue->setSuspended(true);
  EXPECT_TRUE(queue->isSuspended());
  auto operation = PendingOperation::make("held");
  queue->addOperation(operation);
  drainMainQueue();
  EXPECT_FALSE(runUntil([&] { return operation->started.load(); }, 0.05));
  queue->setSuspended(false);
  ASSERT_TRUE(runUntil([&] { return operation->started.load(); }));
  operation->finishNow();
  queue->waitUntilAllOperationsAreFinished();
}

TEST_F(OperationQueueTest, DependenciesHoldAnOperationBackUntilTheyFinish) {
  auto queue = NSOperationQueue::make();
  auto other = NSOperationQueue::make();
  auto first = PendingOperation::make("first");
  std::atomic<bool> secondRan{false};
  auto second = NSBlockOperation::blockOperationWithBlock([&] { secondRan = true; });
  second->addDependency(first);
  second->addDependency(second);  // ignored
  EXPECT_EQ(second->dependencies().size(), 1u);
  EXPECT_FALSE(second->isReady());
  queue->addOperation(second);
  other->addOperation(first);
  ASSERT_TRUE(runUntil([&] { return first->started.load(); }));
  EXPECT_FALSE(runUntil([&] { return secondRan.load(); }, 0.05));
  first->finishNow();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(secondRan.load());
}

TEST_F(OperationQueueTest, MainQueueRunsOperationsOnTheMainThreadAsynchronously) {
  auto queue = NSOperationQueue::mainQueue();
  EXPECT_EQ(queue, NSOperationQueue::mainQueue());
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 1);
  std::vector<int> order;
  bool onMain = true;
  for (int i = 0; i < 3; ++i) {
    queue->addOperationWithBlock([&, i] {
      onMain = onMain && NSRunLoop::isMainThread() && NSOperationQueue::currentQueue() == queue;
      order.push_back(i);
    });
  }
  EXPECT_TRUE(order.empty());
  drainMainQueue();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(onMain);
}

TEST_F(OperationQueueTest, AsynchronousWorkOnTheManualClockFinishesWithoutSleeping) {
  // Each operation finishes five seconds after it starts, on a delayed main-queue block.
  class DelayedOperation : public NSOperation {
   public:
    static std::shared_ptr<DelayedOperation> make() { return std::shared_ptr<DelayedOperation>(new DelayedOperation()); }
    void start() override {
      setExecuting(true);
      auto self = sharedAs<DelayedOperation>();
      DispatchQueue::main()->asyncAfter(5.0, [self] { self->finish(); });
    }

   private:
    DelayedOperation() = default;
  };
  auto queue = NSOperationQueue::mainQueue();
  std::vector<std::shared_ptr<NSOperation>> operations;
  for (int i = 0; i < 3; ++i) {
    operations.push_back(DelayedOperation::make());
    queue->addOperation(operations.back());
  }
  drainMainQueue();
  EXPECT_EQ(queue->operationCount(), 3u);
  advance(5.0);
  EXPECT_TRUE(operations[0]->isFinished());
  EXPECT_FALSE(operations[1]->isFinished());
  advance(10.0);
  EXPECT_TRUE(operations[2]->isFinished());
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST_F(OperationQueueTest, AnOperationIsQueuedOnceAndAFinishedOneNotAtAll) {
  auto queue = NSOperationQueue::make();
  auto other = NSOperationQueue::make();
  std::atomic<int> runs{0};
  auto operation = NSBlockOperation::blockOperationWithBlock([&] { ++runs; });
  queue->setSuspended(true);
  queue->addOperation(operation);
  queue->addOperation(operation);
  other->addOperation(operation);
  queue->addOperation(nullptr);
  EXPECT_EQ(queue->operationCount(), 1u);
  EXPECT_EQ(other->operationCount(), 0u);
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  other->addOperation(operation);
  EXPECT_EQ(other->operationCount(), 0u);
  EXPECT_EQ(runs.load(), 1);
}

TEST_F(OperationQueueTest, QueueLetGoByItsOwnerStillRunsItsOperations) {
  std::atomic<int> runs{0};
  std::weak_ptr<NSOperationQueue> watch;
  {
    auto queue = NSOperationQueue::make();
    watch = queue;
    for (int i = 0; i < 10; ++i) queue->addOperationWithBlock([&] { ++runs; });
  }
  ASSERT_TRUE(runUntil([&] { return runs.load() == 10; }));
  EXPECT_TRUE(runUntil([&] { return watch.expired(); }));
}

TEST_F(OperationQueueTest, AddOperationsCanWaitAndPlainOperationsRunTheirBlocksInOrder) {
  auto queue = NSOperationQueue::make();
  std::vector<std::string> seen;
  auto operation = NSBlockOperation::blockOperationWithBlock([&] { seen.push_back("one"); });
  operation->addExecutionBlock([&] { seen.push_back("two"); });
  operation->setName("pair");
  queue->addOperations({operation}, true);
  EXPECT_TRUE(operation->isFinished());
  EXPECT_FALSE(operation->isExecuting());
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(operation->name(), "pair");
}

TEST_F(OperationQueueTest, OperationsKnowTheirQueueAndWaitingFromInsideReturns) {
  auto queue = NSOperationQueue::make();
  queue->setQualityOfService(NSQualityOfService::userInitiated);
  EXPECT_EQ(queue->qualityOfService(), NSQualityOfService::userInitiated);
  std::shared_ptr<NSOperationQueue> seen;
  queue->addOperationWithBlock([&] {
    seen = NSOperationQueue::currentQueue();
    seen->waitUntilAllOperationsAreFinished();
  });
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(seen, queue);
  EXPECT_EQ(NSOperationQueue::currentQueue(), NSOperationQueue::mainQueue());
}

TEST_F(OperationQueueTest, StartedByHandAPlainOperationRunsOnceOnTheCallingThread) {
  std::thread::id ranOn;
  int runs = 0;
  auto operation = NSBlockOperation::blockOperationWithBlock([&] {
    ranOn = std::this_thread::get_id();
    ++runs;
  });
  bool completed = false;
  operation->setCompletionBlock([&] { completed = operation->isFinished(); });
  operation->start();
  operation->start();
  operation->waitUntilFinished();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(completed);
}

TEST_F(OperationQueueTest, OperationKeepingItsOwnFlagsFreesItsSlotWhenItReportsFinishing) {
  // Keeps its state in fields of its own, stored before the change is announced.
  class FlagOperation : public NSOperation {
   public:
    static std::shared_ptr<FlagOperation> make() { return std::shared_ptr<FlagOperation>(new FlagOperation()); }
    bool isExecuting() const override { return executing.load(); }
    bool isFinished() const override { return finished.load(); }
    void start() override {
      setExecutingFlag(true);
      setFinishedFlag(false);
      auto self = sharedAs<FlagOperation>();
      DispatchQueue::global()->async([self] {
        self->setExecutingFlag(false);
        self->setFinishedFlag(true);
      });
    }
    void setExecutingFlag(bool value) {
      executing = value;
      setExecuting(value);
    }
    void setFinishedFlag(bool value) {
      finished = value;
      setFinished(value);
    }
    std::atomic<bool> executing{false};
    std::atomic<bool> finished{false};

   private:
    FlagOperation() = default;
  };
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(1);
  std::vector<std::shared_ptr<FlagOperation>> operations;
  for (int i = 0; i < 5; ++i) {
    operations.push_back(FlagOperation::make());
    queue->addOperation(operations.back());
  }
  queue->waitUntilAllOperationsAreFinished();
  for (auto& operation : operations) {
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
  }
}
