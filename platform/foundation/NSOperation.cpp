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
                     [](const std::shared_ptr<NSOperation>& dependency) { return dependency->finished_.load(); });
}

void NSOperation::cancel() {
  if (finished_.load() || cancelled_.exchange(true)) return;
  notifyListeners();
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
    if (auto dependent = self.lock()) dependent->notifyListeners();
  });
}

void NSOperation::removeDependency(const std::shared_ptr<NSOperation>& operation) {
  {
    std::lock_guard lock(mutex_);
    auto found = std::find(dependencies_.begin(), dependencies_.end(), operation);
    if (found == dependencies_.end()) return;
    dependencies_.erase(found);
  }
  notifyListeners();
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
  finishedChanged_.wait(lock, [this] { return settled_; });
}

bool NSOperation::isSettled() const {
  std::lock_guard lock(mutex_);
  return settled_;
}

void NSOperation::setExecuting(bool executing) { executing_.store(executing); }

void NSOperation::setFinished(bool finished) {
  if (!finished) return;  // an operation never comes back from finishing
  std::function<void()> completion;
  std::vector<Listener> listeners;
  {
    std::lock_guard lock(mutex_);
    if (finished_.exchange(true)) return;
    completion = std::move(completionBlock_);  // runs once, and lets go of what it holds
    listeners.swap(listeners_);
  }
  // The completion block runs before anybody waiting is released and before the queue
  // lets the operation go, so whoever waited for the operation or its queue also sees
  // what the block did.
  if (completion) completion();
  {
    std::lock_guard lock(mutex_);
    settled_ = true;
  }
  finishedChanged_.notify_all();
  for (auto& listener : listeners) listener();
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

void NSOperation::notifyListeners() {
  std::vector<Listener> listeners;
  {
    std::lock_guard lock(mutex_);
    listeners = listeners_;
  }
  for (auto& listener : listeners) listener();
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
