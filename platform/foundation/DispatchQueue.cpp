#include "platform/foundation/DispatchQueue.h"

#include <condition_variable>
#include <future>
#include <thread>
#include <vector>

namespace {

// Threads that serve every serial and concurrent queue. A new thread starts when work
// arrives and none is idle, so a blocked block never starves the others.
class WorkerPool {
 public:
  void submit(std::function<void()> work) {
    std::unique_lock lock(mutex_);
    work_.push_back(std::move(work));
    if (idle_ == 0 && threads_ < kMaxThreads) {
      ++threads_;
      std::thread([this] { serve(); }).detach();
    } else {
      ready_.notify_one();
    }
  }

 private:
  static constexpr int kMaxThreads = 256;

  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      while (work_.empty()) {
        ++idle_;
        ready_.wait(lock);
        --idle_;
      }
      auto work = std::move(work_.front());
      work_.pop_front();
      lock.unlock();
      work();
      work = nullptr;  // release captures outside the lock
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> work_;
  int idle_ = 0;
  int threads_ = 0;
};

WorkerPool& pool() {
  // Never destroyed: detached workers may still be running when the process exits.
  static WorkerPool* instance = new WorkerPool();
  return *instance;
}

thread_local const DispatchQueue* currentQueue = nullptr;

struct CurrentQueueScope {
  const DispatchQueue* saved;
  explicit CurrentQueueScope(const DispatchQueue* queue) : saved(currentQueue) { currentQueue = queue; }
  ~CurrentQueueScope() { currentQueue = saved; }
};

}  // namespace

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
  static const std::shared_ptr<DispatchQueue> queue(new DispatchQueue(Kind::main, "main"));
  return queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global() {
  static const std::shared_ptr<DispatchQueue> queue(new DispatchQueue(Kind::concurrent, "global"));
  return queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label) {
  return std::shared_ptr<DispatchQueue>(new DispatchQueue(Kind::serial, std::move(label)));
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeConcurrent(std::string label) {
  return std::shared_ptr<DispatchQueue>(new DispatchQueue(Kind::concurrent, std::move(label)));
}

DispatchQueue::~DispatchQueue() = default;

void DispatchQueue::async(std::function<void()> block) {
  switch (kind_) {
    case Kind::main:
      NSRunLoop::main()->perform(std::move(block));
      return;
    case Kind::concurrent:
      pool().submit([self = sharedAs<DispatchQueue>(), block = std::move(block)] {
        CurrentQueueScope scope(self.get());
        block();
      });
      return;
    case Kind::serial: {
      std::lock_guard lock(mutex_);
      pending_.push_back(std::move(block));
      if (scheduled_) return;
      scheduled_ = true;
    }
      pool().submit([self = sharedAs<DispatchQueue>()] { self->drainSerial(); });
      return;
  }
}

void DispatchQueue::drainSerial() {
  CurrentQueueScope scope(this);
  // A bounded batch, then back to the pool, so one busy queue cannot hold a thread for ever.
  for (int i = 0; i < 64; ++i) {
    std::function<void()> block;
    {
      std::lock_guard lock(mutex_);
      if (pending_.empty()) {
        scheduled_ = false;
        return;
      }
      block = std::move(pending_.front());
      pending_.pop_front();
    }
    block();
  }
  pool().submit([self = sharedAs<DispatchQueue>()] { self->drainSerial(); });
}

void DispatchQueue::sync(const std::function<void()>& block) {
  if (isCurrent() || (kind_ == Kind::main && NSRunLoop::isMainThread())) {
    block();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  async([&] {
    block();
    done.set_value();
  });
  finished.wait();
}

std::shared_ptr<RunLoopTimerToken> DispatchQueue::asyncAfter(double seconds, std::function<void()> block) {
  if (kind_ == Kind::main) return NSRunLoop::main()->scheduleAfter(seconds, std::move(block));
  return NSRunLoop::main()->scheduleAfter(
      seconds, [self = sharedAs<DispatchQueue>(), block = std::move(block)]() mutable { self->async(std::move(block)); });
}

bool DispatchQueue::isCurrent() const {
  if (kind_ == Kind::main) return NSRunLoop::isMainThread();
  return currentQueue == this;
}
