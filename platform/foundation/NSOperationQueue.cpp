#include "platform/foundation/NSOperationQueue.h"

#include <algorithm>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSRunLoop.h"

namespace {

thread_local NSOperationQueue* runningQueue = nullptr;

struct RunningQueueScope {
  NSOperationQueue* saved;
  explicit RunningQueueScope(NSOperationQueue* queue) : saved(runningQueue) { runningQueue = queue; }
  ~RunningQueueScope() { runningQueue = saved; }
};

}  // namespace

std::shared_ptr<NSOperationQueue> NSOperationQueue::make() {
  return create(false);
}

std::shared_ptr<NSOperationQueue> NSOperationQueue::mainQueue() {
  // Never destroyed: operations on other threads reach it (ProcessShutdown.h).
  static const std::shared_ptr<NSOperationQueue>& queue = *new std::shared_ptr<NSOperationQueue>([] {
    auto made = std::shared_ptr<NSOperationQueue>(new NSOperationQueue(true));
    made->name_ = "NSOperationQueue Main Queue";
    made->maxConcurrent_ = 1;
    return made;
  }());
  return queue;
}

std::shared_ptr<NSOperationQueue> NSOperationQueue::currentQueue() {
  if (runningQueue) return runningQueue->sharedAs<NSOperationQueue>();
  if (NSRunLoop::isMainThread()) return mainQueue();
  return nullptr;
}

std::string NSOperationQueue::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void NSOperationQueue::setName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

long NSOperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard lock(mutex_);
  return maxConcurrent_;
}

void NSOperationQueue::setMaxConcurrentOperationCount(long count) {
  {
    std::lock_guard lock(mutex_);
    maxConcurrent_ = count < 0 ? defaultMaxConcurrentOperationCount : count;
  }
  startReadyOperations();
}

bool NSOperationQueue::isSuspended() const {
  std::lock_guard lock(mutex_);
  return suspended_;
}

void NSOperationQueue::setSuspended(bool suspended) {
  {
    std::lock_guard lock(mutex_);
    suspended_ = suspended;
  }
  if (!suspended) startReadyOperations();
}

void NSOperationQueue::addOperation(const std::shared_ptr<NSOperation>& operation) {
  if (!operation || !operation->claimForQueue()) return;
  {
    std::lock_guard lock(mutex_);
    entries_.push_back(Entry{operation, false});
    if (!keepAlive_) keepAlive_ = sharedAs<NSOperationQueue>();
  }
  std::weak_ptr<NSOperationQueue> weakSelf = sharedAs<NSOperationQueue>();
  const NSOperation* raw = operation.get();
  bool listening = operation->addListener([weakSelf, raw] {
    if (auto queue = weakSelf.lock()) queue->operationChanged(raw);
  });
  // Finished by someone else before we could listen: let it go now.
  if (!listening) operationChanged(raw);
  startReadyOperations();
}

void NSOperationQueue::addOperations(const std::vector<std::shared_ptr<NSOperation>>& operations,
                                     bool waitUntilFinished) {
  for (const auto& operation : operations) addOperation(operation);
  if (!waitUntilFinished) return;
  auto allFinished = [&] {
    return std::all_of(operations.begin(), operations.end(),
                       [](const std::shared_ptr<NSOperation>& operation) { return !operation || operation->isSettled(); });
  };
  if (NSRunLoop::isMainThread()) {
    while (!NSRunLoop::main()->runUntil(allFinished, 1.0)) {
    }
    return;
  }
  for (const auto& operation : operations) {
    if (operation && operation->queued_.load()) operation->waitUntilFinished();
  }
}

void NSOperationQueue::addOperationWithBlock(std::function<void()> block) {
  addOperation(NSBlockOperation::blockOperationWithBlock(std::move(block)));
}

void NSOperationQueue::startReadyOperations() {
  std::vector<std::shared_ptr<NSOperation>> ready;
  {
    std::lock_guard lock(mutex_);
    if (suspended_) return;
    for (auto& entry : entries_) {
      if (maxConcurrent_ >= 0 && running_ >= maxConcurrent_) break;
      if (entry.started || !entry.operation->isReady()) continue;
      entry.started = true;
      ++running_;
      ready.push_back(entry.operation);
    }
  }
  for (const auto& operation : ready) run(operation);
}

void NSOperationQueue::run(const std::shared_ptr<NSOperation>& operation) {
  auto work = [self = sharedAs<NSOperationQueue>(), operation] {
    {
      RunningQueueScope scope(self.get());
      operation->start();
    }
    if (operation->refused_.exchange(false)) {
      {
        std::lock_guard lock(self->mutex_);
        auto found = std::find_if(self->entries_.begin(), self->entries_.end(),
                                  [&](const Entry& entry) { return entry.operation == operation; });
        if (found != self->entries_.end() && found->started) {
          found->started = false;
          --self->running_;
        }
      }
      self->startReadyOperations();
    }
  };
  if (main_) {
    // The run loop may forget a queued block without running it (its reset between tests).
    // Unnoticed, the operation would hold the main queue's only slot for ever and nothing
    // queued after it would run.
    struct Turn {
      std::weak_ptr<NSOperationQueue> queue;
      std::shared_ptr<NSOperation> operation;
      bool ran = false;
      ~Turn() {
        if (ran) return;
        if (auto owner = queue.lock()) owner->turnForgotten(operation);
      }
    };
    auto turn = std::make_shared<Turn>();
    turn->queue = sharedAs<NSOperationQueue>();
    turn->operation = operation;
    NSRunLoop::main()->perform([turn, work = std::move(work)] {
      turn->ran = true;
      work();
    });
  } else {
    DispatchQueue::global()->async(std::move(work));
  }
}

void NSOperationQueue::turnForgotten(const std::shared_ptr<NSOperation>& operation) {
  // Cancelled, it finishes at once when its next turn comes and leaves the queue.
  operation->cancel();
  {
    std::lock_guard lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [&](const Entry& entry) { return entry.operation == operation; });
    if (found == entries_.end() || !found->started) return;
    found->started = false;
    --running_;
  }
  startReadyOperations();
}

void NSOperationQueue::operationChanged(const NSOperation* operation) {
  std::shared_ptr<NSOperationQueue> released;  // may be the last reference: dropped after the lock
  std::shared_ptr<NSOperation> finished;
  {
    std::lock_guard lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [&](const Entry& entry) { return entry.operation.get() == operation; });
    if (found != entries_.end() && found->operation->finished_.load()) {
      finished = std::move(found->operation);
      if (found->started) --running_;
      entries_.erase(found);
      if (entries_.empty()) released = std::move(keepAlive_);
    }
  }
  if (finished) emptied_.notify_all();
  startReadyOperations();
}

std::vector<std::shared_ptr<NSOperation>> NSOperationQueue::operations() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<NSOperation>> snapshot;
  snapshot.reserve(entries_.size());
  for (const auto& entry : entries_) snapshot.push_back(entry.operation);
  return snapshot;
}

std::size_t NSOperationQueue::operationCount() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

bool NSOperationQueue::isEmpty() const { return operationCount() == 0; }

void NSOperationQueue::cancelAllOperations() {
  for (const auto& operation : operations()) operation->cancel();
}

void NSOperationQueue::waitUntilAllOperationsAreFinished() {
  if (runningQueue == this) return;
  if (NSRunLoop::isMainThread()) {
    while (!NSRunLoop::main()->runUntil([this] { return isEmpty(); }, 1.0)) {
    }
    return;
  }
  std::unique_lock lock(mutex_);
  emptied_.wait(lock, [this] { return entries_.empty(); });
}
