#include "platform/foundation/DispatchQueue.h"

#include <chrono>
#include <condition_variable>
#include <future>
#include <list>
#include <thread>
#include <vector>

#include "platform/foundation/ProcessShutdown.h"

namespace {

// Threads that serve every serial and concurrent queue. A new thread starts when work
// arrives and none is idle, so a blocked block never starves the others. A shutdown lets
// the threads finish what is queued, then joins them; after the final one, work is dropped.
class WorkerPool {
 public:
  WorkerPool() {
    ProcessShutdown::registerStopper(ProcessShutdown::Stage::workers, [this](bool final) { stop(final); });
  }

  void submit(std::function<void()> work) {
    std::unique_lock lock(mutex_);
    if (closed_) {
      lock.unlock();
      return;  // the process is leaving; `work` goes with this frame
    }
    work_.push_back(std::move(work));
    // An idle thread that was told of earlier work still counts as idle until it wakes, so
    // compare the waiting work with the idle threads rather than test for none idle: two
    // blocks queued back to back must not both be promised to one waking thread.
    if (work_.size() > static_cast<std::size_t>(idle_) && live_ < kMaxThreads) {
      ++live_;
      auto& worker = workers_.emplace_back();
      worker.thread = std::thread([this, &worker] { serve(worker); });
      ProcessShutdown::armAtExit();
    } else {
      // Told after the lock is let go, so that the thread woken does not wake only to wait for it.
      lock.unlock();
      ready_.notify_one();
    }
  }

 private:
  static constexpr int kMaxThreads = 256;

  struct Worker {
    std::thread thread;
    bool done = false;
  };

  void serve(Worker& self) {
    onWorker = true;
    std::unique_lock lock(mutex_);
    for (;;) {
      while (work_.empty()) {
        if (stopping_) {
          self.done = true;
          --live_;
          changed_.notify_all();
          return;
        }
        ++idle_;
        changed_.notify_all();
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

  void stop(bool final) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(ProcessShutdown::kWorkerDrainSeconds));
    std::deque<std::function<void()>> dropped;
    std::vector<std::thread> finished;
    {
      std::unique_lock lock(mutex_);
      // A shutdown called from a block (exit() inside one) does not wait for itself.
      const int self = onWorker ? 1 : 0;
      const bool drained =
          changed_.wait_until(lock, deadline, [&] { return work_.empty() && idle_ + self == live_; });
      if (!drained && !final) return;  // still busy: leave the threads to it
      dropped.swap(work_);
      if (final) closed_ = true;
      stopping_ = true;
      ready_.notify_all();
      // A thread stuck past the deadline stays (and, after the final stop, stays idle).
      changed_.wait_until(lock, deadline, [&] { return live_ == self; });
      for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done) {
          finished.push_back(std::move(it->thread));
          it = workers_.erase(it);
        } else {
          ++it;
        }
      }
      if (!final) stopping_ = false;
    }
    for (auto& thread : finished) thread.join();
    dropped.clear();
  }

  static thread_local bool onWorker;

  std::mutex mutex_;
  std::condition_variable ready_;    // work arrived, or the threads should leave
  std::condition_variable changed_;  // a thread went idle or left
  std::deque<std::function<void()>> work_;
  std::list<Worker> workers_;
  int idle_ = 0;
  int live_ = 0;
  bool stopping_ = false;
  bool closed_ = false;
};

thread_local bool WorkerPool::onWorker = false;

WorkerPool& pool() {
  // Never destroyed: see ProcessShutdown.h.
  static WorkerPool* const instance = new WorkerPool();
  return *instance;
}

thread_local const DispatchQueue* currentQueue = nullptr;

struct CurrentQueueScope {
  const DispatchQueue* saved;
  explicit CurrentQueueScope(const DispatchQueue* queue) : saved(currentQueue) { currentQueue = queue; }
  ~CurrentQueueScope() { currentQueue = saved; }
};

}  // namespace

// Never destroyed, as every process-wide object the worker threads reach (ProcessShutdown.h).
std::shared_ptr<DispatchQueue> DispatchQueue::main() {
  static const auto* const queue = new std::shared_ptr<DispatchQueue>(new DispatchQueue(Kind::main, "main"));
  return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global() {
  static const auto* const queue =
      new std::shared_ptr<DispatchQueue>(new DispatchQueue(Kind::concurrent, "global"));
  return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label) {
  return create(Kind::serial, std::move(label));
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeConcurrent(std::string label) {
  return create(Kind::concurrent, std::move(label));
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
