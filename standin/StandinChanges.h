#pragma once
// Tells whoever keeps a copy of the stand-in's state (a file) that it changed. A changing
// operation takes a notice before its lock: the notice outlives the lock, so the observer
// runs once the operation's lock is released. It runs on the thread that made the change,
// so it only takes note; the copy is made elsewhere.

#include <functional>
#include <mutex>
#include <utility>

class StandinChanges {
 public:
  class Notice {
   public:
    explicit Notice(const StandinChanges& changes) : changes_(changes) {}
    Notice(const Notice&) = delete;
    Notice& operator=(const Notice&) = delete;
    ~Notice() { changes_.tell(); }

   private:
    const StandinChanges& changes_;
  };

  // Replaces the observer; none stops the telling. It may run on any thread.
  void setObserver(std::function<void()> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
  }
  [[nodiscard]] Notice notice() const { return Notice(*this); }

 private:
  void tell() const {
    std::function<void()> observer;
    {
      std::lock_guard lock(mutex_);
      observer = observer_;
    }
    if (observer) observer();
  }

  mutable std::mutex mutex_;
  std::function<void()> observer_;
};
