#pragma once
// Delayed calls aimed at an object: run a block on the main run loop after a delay, and
// cancel the pending ones for that object, all of them or those of one key (the name of
// the action). The target is held weakly: a request whose target is gone does nothing.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

class PerformRequests {
 public:
  // Runs `block` on the main run loop `delay` seconds from now, unless the target has been
  // released or the request cancelled by then. Safe from any thread. The block must not
  // hold the target strongly, or the target lives until the request has run.
  static void perform(const std::weak_ptr<NSObject>& target, std::string key, std::function<void()> block,
                      double delay);

  // The same, handing the still living target to the action.
  template <typename T>
  static void perform(const std::shared_ptr<T>& target, std::string key, std::function<void(T&)> action,
                      double delay) {
    std::weak_ptr<T> weak = target;
    perform(std::weak_ptr<NSObject>(target), std::move(key),
            [weak, action = std::move(action)] {
              if (auto strong = weak.lock()) action(*strong);
            },
            delay);
  }

  // Drops every pending request aimed at the target.
  static void cancel(const std::shared_ptr<NSObject>& target);
  // Drops the target's pending requests made with this key.
  static void cancel(const std::shared_ptr<NSObject>& target, std::string_view key);
};
