#include "account/UserCollections.h"

#include <mutex>

#include "platform/foundation/NSRunLoop.h"

namespace {

std::mutex& handlerMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

std::shared_ptr<UserCollections>& handlerSlot() {
  static auto* slot = new std::shared_ptr<UserCollections>();
  return *slot;
}

}  // namespace

void UserCollections::registerHandler(std::shared_ptr<UserCollections> handler) {
  std::lock_guard lock(handlerMutex());
  handlerSlot() = std::move(handler);
}

std::shared_ptr<UserCollections> UserCollections::handler() {
  std::lock_guard lock(handlerMutex());
  return handlerSlot();
}

void UserCollections::onMainThread(std::function<void(UserCollections&)> block) {
  auto run = [block = std::move(block)] {
    if (auto registered = handler()) block(*registered);
  };
  if (NSRunLoop::isMainThread()) {
    run();
    return;
  }
  NSRunLoop::main()->perform(std::move(run));
}
