#pragma once
// What several benchmark programs share: one in-process stand-in and a countdown of
// completions that the benchmark thread waits for.

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "standin/StandinServer.h"

namespace bench {

inline StandinServer& server() {
  static std::shared_ptr<StandinServer> instance = [] {
    auto made = StandinServer::make();
    if (!made->start(0)) std::abort();
    return made;
  }();
  return *instance;
}

class Countdown {
 public:
  explicit Countdown(int count) : left_(count) {}
  void done() {
    std::lock_guard lock(mutex_);
    if (--left_ == 0) finished_.notify_all();
  }
  void wait() {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return left_ <= 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  int left_;
};

}  // namespace bench
