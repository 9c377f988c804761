#include "platform/foundation/DispatchQueue.h"

#include <chrono>
#include <condition_variable>
#include <future>
#include <list>
#include <thread>
#include <utility>
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
    // The thread that went idle last takes the work: its caches, and the buffers it keeps
    // for the next reply, are the warmest. A thread told of work leaves the idle stack at
    // once, so two blocks queued back to back are never both promised to one thread.
    if (!idleStack_.empty()) {
      Worker* worker = idleStack_.back();
      idleStack_.pop_back();
      worker->told = true;
      // Told after the lock is let go, so that the thread woken does not wake only to wait for it.
      lock.unlock();
      worker->wake.notify_one();
    } else if (live_ < kMaxThreads) {
      ++live_;
      auto& worker = spareWorker();
      worker.thread = std::thread([this, &worker] { serve(worker); });
      ProcessShutdown::armAtExit();
    }
  }

 private:
  static constexpr int kMaxThreads = 256;

  struct Worker {
    std::thread thread;
    std::condition_variable wake;
    bool told = false;  // taken off the idle stack for work (or to leave)
    bool done = false;
  };

  // With the mutex held. A record whose thread has left is used again rather than freed: a
  // submitter tells its thread of work after letting the lock go, so the record's condition
  // may still be signalled after that thread has taken the work, finished and left in a stop.
  // A late signal to a record's next thread is only a spurious wake-up.
  Worker& spareWorker() {
    for (auto& worker : workers_) {
      if (worker.done && !worker.thread.joinable()) {
        worker.told = false;
        worker.done = false;
        return worker;
      }
    }
    return workers_.emplace_back();
  }

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
        self.told = false;
        idleStack_.push_back(&self);
        changed_.notify_all();
        self.wake.wait(lock, [&] { return self.told; });
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
      for (Worker* worker : std::exchange(idleStack_, {})) {
        worker->told = true;
        worker->wake.notify_one();
      }
      // A thread stuck past the deadline stays (and, after the final stop, stays idle).
      changed_.wait_until(lock, deadline, [&] { return live_ == self; });
      for (auto& worker : workers_) {
        if (worker.done && worker.thread.joinable()) finished.push_back(std::move(worker.thread));
      }
      if (!final) stopping_ = false;
    }
    for (auto& thread : finished) thread.join();
    dropped.clear();
  }

  static thread_local bool onWorker;

  std::mutex mutex_;
  std::condition_variable changed_;  // a thread went idle or left
  std::deque<std::function<void()>> work_;
  std::list<Worker> workers_;
  std::vector<Worker*> idleStack_;  // idle threads not yet told of work, the latest last
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

void DispatchQueue::runHereOrAsync(std::function<void()> block) {
  if (kind_ != Kind::serial) return async(std::move(block));
  {
    std::lock_guard lock(mutex_);
    if (scheduled_ || !pending_.empty()) {
      pending_.push_back(std::move(block));
      return;
    }
    scheduled_ = true;
  }
  {
    CurrentQueueScope scope(this);
    block();
    block = nullptr;  // its captures go while it still counts as this queue's
  }
  {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) {
      scheduled_ = false;
      return;
    }
  }
  pool().submit([self = sharedAs<DispatchQueue>()] { self->drainSerial(); });
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
