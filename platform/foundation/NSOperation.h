#pragma once
// A unit of work with a life: ready, executing, finished (or cancelled on the way).
// A plain operation overrides main(); start() runs it and finishes. An asynchronous one
// overrides start(), calls setExecuting(true), and later finish() (or setExecuting(false)
// then setFinished(true)) from whatever thread its work completes on; a queue keeps its
// slot taken until then.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSOperationQueue;

class NSOperation : public NSObject {
 public:
  static std::shared_ptr<NSOperation> make() { return create(); }

  // Runs main() unless cancelled, then finishes. Starting an operation that has already
  // started, or one that is not ready, does nothing.
  virtual void start();
  // The work of a plain operation.
  virtual void main() {}
  virtual bool isAsynchronous() const { return false; }

  // A subclass that keeps flags of its own may answer these from them; it still calls
  // setExecuting()/setFinished() below, which is how its queue hears of the change.
  virtual bool isExecuting() const { return executing_.load(); }
  virtual bool isFinished() const { return finished_.load(); }
  bool isCancelled() const { return cancelled_.load(); }
  // True once every dependency has finished; a cancelled operation is always ready, so
  // that a queue can start it and let it finish at once.
  bool isReady() const;

  // Asks the operation to stop. A plain operation that has not started will skip main();
  // an asynchronous one is expected to look at isCancelled() itself.
  virtual void cancel();

  // `operation` must finish before this one is ready. An operation is never made to wait
  // for itself.
  void addDependency(const std::shared_ptr<NSOperation>& operation);
  void removeDependency(const std::shared_ptr<NSOperation>& operation);
  std::vector<std::shared_ptr<NSOperation>> dependencies() const;

  // Runs once, on the thread that finishes the operation, before waiters are released and
  // before the queue lets the operation go (so it must not wait for its own queue).
  std::function<void()> completionBlock() const;
  void setCompletionBlock(std::function<void()> block);

  std::string name() const;
  void setName(std::string name);

  // Blocks the calling thread until the operation has finished.
  void waitUntilFinished();

  GLIMDECK_OBJECT(NSOperation)

 protected:
  NSOperation() = default;

  // The state setters an asynchronous operation drives; each change is announced to the
  // queue and to operations that depend on this one. Finishing happens once.
  void setExecuting(bool executing);
  void setFinished(bool finished);
  // Ends the operation: not executing, then finished.
  void finish();

 private:
  friend class NSOperationQueue;
  using Listener = std::function<void()>;
  // Calls `listener` whenever the operation may have become ready, and once when it has
  // finished (after its completion block); then the listeners are dropped. Returns false
  // (and keeps nothing) when the operation has already finished.
  bool addListener(Listener listener);
  // Tells the listeners that readiness may have changed.
  void notifyListeners();
  // Finished, and the completion block has run.
  bool isSettled() const;
  // Marks the operation as belonging to a queue; false when it already does, or has finished.
  bool claimForQueue();

  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> started_{false};
  std::atomic<bool> queued_{false};
  // Set when start() found the operation not ready (a dependency added after the queue
  // chose it), so the queue puts it back instead of holding its slot for ever.
  std::atomic<bool> refused_{false};

  mutable std::mutex mutex_;
  std::condition_variable finishedChanged_;
  std::vector<std::shared_ptr<NSOperation>> dependencies_;
  std::vector<Listener> listeners_;
  bool settled_ = false;
  std::function<void()> completionBlock_;
  std::string name_;
};

// An operation that runs blocks, one after the other, in the order they were added.
class NSBlockOperation : public NSOperation {
 public:
  static std::shared_ptr<NSBlockOperation> blockOperationWithBlock(std::function<void()> block);
  void addExecutionBlock(std::function<void()> block);

  void main() override;
  GLIMDECK_OBJECT(NSBlockOperation)

 private:
  NSBlockOperation() = default;
  std::mutex blocksMutex_;
  std::vector<std::function<void()>> blocks_;
};
