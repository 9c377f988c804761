#include "platform/foundation/PerformRequests.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/foundation/NSRunLoop.h"

namespace {

struct Request {
  std::uint64_t number;
  std::string key;
  std::shared_ptr<RunLoopTimerToken> token;
};

// Pending requests by target. Targets are compared by ownership, not address, so a new
// object that happens to reuse a released one's memory never inherits its requests.
class Registry {
 public:
  void add(const std::weak_ptr<NSObject>& target, std::string key, std::function<void()> block, double delay) {
    std::lock_guard lock(mutex_);
    std::uint64_t number = next_++;
    auto token = NSRunLoop::main()->scheduleAfter(delay, [this, target, number, block = std::move(block)] {
      if (take(target, number) && !target.expired()) block();
    });
    requests_[target].push_back(Request{number, std::move(key), std::move(token)});
  }

  void cancel(const std::shared_ptr<NSObject>& target, std::optional<std::string_view> key) {
    std::vector<Request> dropped;  // released after the lock
    std::lock_guard lock(mutex_);
    auto found = requests_.find(std::weak_ptr<NSObject>(target));
    if (found == requests_.end()) return;
    auto& pending = found->second;
    for (auto it = pending.begin(); it != pending.end();) {
      if (!key || it->key == *key) {
        it->token->cancel();
        dropped.push_back(std::move(*it));
        it = pending.erase(it);
      } else {
        ++it;
      }
    }
    if (pending.empty()) requests_.erase(found);
  }

 private:
  // Removes the request as it runs; false when it was cancelled meanwhile.
  bool take(const std::weak_ptr<NSObject>& target, std::uint64_t number) {
    std::lock_guard lock(mutex_);
    auto found = requests_.find(target);
    if (found == requests_.end()) return false;
    auto& pending = found->second;
    for (auto it = pending.begin(); it != pending.end(); ++it) {
      if (it->number == number) {
        pending.erase(it);
        if (pending.empty()) requests_.erase(found);
        return true;
      }
    }
    return false;
  }

  std::mutex mutex_;
  std::map<std::weak_ptr<NSObject>, std::vector<Request>, std::owner_less<>> requests_;
  std::uint64_t next_ = 0;
};

Registry& registry() {
  // Never destroyed: requests may still fall due while the process exits.
  static Registry* instance = new Registry();
  return *instance;
}

}  // namespace

void PerformRequests::perform(const std::weak_ptr<NSObject>& target, std::string key, std::function<void()> block,
                              double delay) {
  if (!block) return;
  registry().add(target, std::move(key), std::move(block), delay);
}

void PerformRequests::cancel(const std::shared_ptr<NSObject>& target) {
  if (target) registry().cancel(target, std::nullopt);
}

void PerformRequests::cancel(const std::shared_ptr<NSObject>& target, std::string_view key) {
  if (target) registry().cancel(target, key);
}
