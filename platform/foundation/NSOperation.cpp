#include "platform/foundation/NSOperation.h"

#include <algorithm>

void NSOperation::start() {
  if (finished_.load() || started_.exchange(true)) return;
  if (!isReady()) {
    // Not ours to run yet; the queue (or the caller) can try again once it is.
    started_.store(false);
    refused_.store(true);
    return;
  }
  if (!cancelled_.load()) {
    setExecuting(true);
    main();
  }
  finish();
}

bool NSOperation::isReady() const {
  if (cancelled_.load()) return true;
  std::lock_guard lock(mutex_);
  return std::all_of(dependencies_.begin(), dependencies_.end(),
                     [](const std::shared_ptr<NSOperation>& dependency) { return dependency->isFinished(); });
}

void NSOperation::cancel() {
  if (finished_.load() || cancelled_.exchange(true)) return;
  notifyListeners(false);
}

void NSOperation::addDependency(const std::shared_ptr<NSOperation>& operation) {
  if (!operation || operation.get() == this) return;
  {
    std::lock_guard lock(mutex_);
    if (std::find(dependencies_.begin(), dependencies_.end(), operation) != dependencies_.end()) return;
    dependencies_.push_back(operation);
  }
  std::weak_ptr<NSOperation> self = sharedAs<NSOperation>();
  operation->addListener([self] {
    if (auto dependent = self.lock()) dependent->notifyListeners(false);
  });
}

void NSOperation::removeDependency(const std::shared_ptr<NSOperation>& operation) {
  {
    std::lock_guard lock(mutex_);
    auto found = std::find(dependencies_.begin(), dependencies_.end(), operation);
    if (found == dependencies_.end()) return;
    dependencies_.erase(found);
  }
  notifyListeners(false);
}

std::vector<std::shared_ptr<NSOperation>> NSOperation::dependencies() const {
  std::lock_guard lock(mutex_);
  return dependencies_;
}

std::function<void()> NSOperation::completionBlock() const {
  std::lock_guard lock(mutex_);
  return completionBlock_;
}

void NSOperation::setCompletionBlock(std::function<void()> block) {
  std::lock_guard lock(mutex_);
  completionBlock_ = std::move(block);
}

std::string NSOperation::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void NSOperation::setName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

void NSOperation::waitUntilFinished() {
  std::unique_lock lock(mutex_);
  finishedChanged_.wait(lock, [this] { return finished_.load(); });
}

void NSOperation::setExecuting(bool executing) { executing_.store(executing); }

void NSOperation::setFinished(bool finished) {
  if (!finished) return;  // an operation never comes back from finishing
  {
    std::lock_guard lock(mutex_);
    if (finished_.exchange(true)) return;
  }
  finishedChanged_.notify_all();
  notifyListeners(true);
}

void NSOperation::finish() {
  setExecuting(false);
  setFinished(true);
}

bool NSOperation::addListener(Listener listener) {
  std::lock_guard lock(mutex_);
  if (finished_.load()) return false;
  listeners_.push_back(std::move(listener));
  return true;
}

void NSOperation::notifyListeners(bool finished) {
  std::vector<Listener> listeners;
  std::function<void()> completion;
  {
    std::lock_guard lock(mutex_);
    if (finished) {
      listeners.swap(listeners_);
      // Run once, and let go of whatever the block holds.
      completion = std::move(completionBlock_);
    } else {
      listeners = listeners_;
    }
  }
  for (auto& listener : listeners) listener();
  if (completion) completion();
}

bool NSOperation::claimForQueue() {
  if (finished_.load()) return false;
  return !queued_.exchange(true);
}

std::shared_ptr<NSBlockOperation> NSBlockOperation::blockOperationWithBlock(std::function<void()> block) {
  auto operation = std::shared_ptr<NSBlockOperation>(new NSBlockOperation());
  operation->addExecutionBlock(std::move(block));
  return operation;
}

void NSBlockOperation::addExecutionBlock(std::function<void()> block) {
  if (!block) return;
  std::lock_guard lock(blocksMutex_);
  blocks_.push_back(std::move(block));
}

void NSBlockOperation::main() {
  std::vector<std::function<void()>> blocks;
  {
    std::lock_guard lock(blocksMutex_);
    blocks = blocks_;
  }
  for (auto& block : blocks) block();
}
