#pragma once
// Queues of work: the main queue (the main run loop), serial queues (one block at a
// time, in order) and concurrent queues, all served by one shared pool of threads.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/NSRunLoop.h"

class DispatchQueue : public NSObject {
 public:
  enum class Kind { main, serial, concurrent };

  static std::shared_ptr<DispatchQueue> main();
  // The shared concurrent queue.
  static std::shared_ptr<DispatchQueue> global();
  static std::shared_ptr<DispatchQueue> makeSerial(std::string label);
  static std::shared_ptr<DispatchQueue> makeConcurrent(std::string label);

  // Always asynchronous, also when called from the queue itself.
  void async(std::function<void()> block);
  // For a thread that has finished its own work and would otherwise hand the block to
  // another thread and go idle: when this is a serial queue with nothing queued or running,
  // the block runs here and now, as a block of the queue (blocks queued meanwhile run after
  // it, in order); otherwise it is queued as async does. Not for a thread that holds locks or
  // must stay free for other work.
  void runHereOrAsync(std::function<void()> block);
  // Runs the block on the queue and waits for it. Called from the queue itself (or, for
  // the main queue, from the main thread) it runs the block at once instead of deadlocking.
  void sync(const std::function<void()>& block);
  // Queues the block once the clock has moved `seconds` on; the token cancels it.
  std::shared_ptr<RunLoopTimerToken> asyncAfter(double seconds, std::function<void()> block);

  // True while the calling thread runs a block of this queue (the main thread, for main()).
  bool isCurrent() const;
  const std::string& label() const { return label_; }
  Kind kind() const { return kind_; }

  GLIMDECK_OBJECT(DispatchQueue)
  ~DispatchQueue() override;

 private:
  DispatchQueue(Kind kind, std::string label) : kind_(kind), label_(std::move(label)) {}
  void drainSerial();

  Kind kind_;
  std::string label_;
  std::mutex mutex_;
  std::deque<std::function<void()>> pending_;
  bool scheduled_ = false;
};
