#pragma once
// A callback that runs at most once, whichever of several paths calls it first.

#include <atomic>
#include <functional>
#include <memory>

template <typename... Args>
std::function<void(Args...)> onceOnly(std::function<void(Args...)> callback) {
  if (!callback) return [](Args...) {};
  auto called = std::make_shared<std::atomic<bool>>(false);
  return [called, callback = std::move(callback)](Args... args) {
    if (!called->exchange(true)) callback(std::move(args)...);
  };
}
