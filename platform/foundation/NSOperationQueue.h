#pragma once
// Runs operations in the order they were added, as many at a time as the queue allows
// (1 makes it serial), each on a thread of the shared worker pool; the main queue runs
// them one at a time on the main run loop. An operation keeps its slot until it has
// finished, which for an asynchronous one is long after start() has returned.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSOperation.h"

enum class NSQualityOfService : long {
  userInteractive = 0x21,
  userInitiated = 0x19,
  utility = 0x11,
  background = 0x09,
  defaultService = -1,
};

class NSOperationQueue : public NSObject {
 public:
  static constexpr long defaultMaxConcurrentOperationCount = -1;

  static std::shared_ptr<NSOperationQueue> make();
  static std::shared_ptr<NSOperationQueue> mainQueue();
  // The queue running the calling thread's operation; the main queue on the main thread
  // outside any operation; otherwise empty.
  static std::shared_ptr<NSOperationQueue> currentQueue();

  std::string name() const;
  void setName(std::string name);
  // How many operations may run at once; -1 (the default) sets no limit, 1 makes the
  // queue serial, 0 holds everything back.
  long maxConcurrentOperationCount() const;
  void setMaxConcurrentOperationCount(long count);
  // Recorded for callers that set it; every queue shares one pool of threads.
  NSQualityOfService qualityOfService() const { return qualityOfService_.load(); }
  void setQualityOfService(NSQualityOfService quality) { qualityOfService_.store(quality); }

  // Queues the operation. One that is already on a queue, or has finished, is ignored.
  void addOperation(const std::shared_ptr<NSOperation>& operation);
  void addOperations(const std::vector<std::shared_ptr<NSOperation>>& operations, bool waitUntilFinished);
  void addOperationWithBlock(std::function<void()> block);

  // The operations waiting and executing, in the order they were added. Finished ones
  // have already left.
  std::vector<std::shared_ptr<NSOperation>> operations() const;
  std::size_t operationCount() const;

  void cancelAllOperations();
  // Blocks until the queue is empty. On the main thread it keeps the main run loop going
  // meanwhile, so operations that hop to the main queue can still finish. Called from one
  // of this queue's own operations it returns at once rather than wait for itself.
  void waitUntilAllOperationsAreFinished();

  bool isSuspended() const;
  // A suspended queue starts nothing new; operations already running go on.
  void setSuspended(bool suspended);

  GLIMDECK_OBJECT(NSOperationQueue)

 private:
  struct Entry {
    std::shared_ptr<NSOperation> operation;
    bool started = false;
  };

  explicit NSOperationQueue(bool main) : main_(main) {}
  // Starts as many ready operations as the limit allows.
  void startReadyOperations();
  void run(const std::shared_ptr<NSOperation>& operation);
  // An operation of this queue finished or may have become ready.
  void operationChanged(const NSOperation* operation);
  // The main run loop forgot the operation's turn unrun: it is cancelled and its slot freed.
  void turnForgotten(const std::shared_ptr<NSOperation>& operation);
  bool isEmpty() const;

  const bool main_;
  mutable std::mutex mutex_;
  std::condition_variable emptied_;
  std::vector<Entry> entries_;
  long running_ = 0;
  long maxConcurrent_ = defaultMaxConcurrentOperationCount;
  bool suspended_ = false;
  std::string name_;
  std::atomic<NSQualityOfService> qualityOfService_{NSQualityOfService::defaultService};
  // A queue with work keeps itself alive until the work is done, as its owner may let go
  // of it right after adding an operation.
  std::shared_ptr<NSOperationQueue> keepAlive_;
};
