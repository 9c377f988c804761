#include "platform/services/MASShortcutBinder.h"

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/OutputSink.h"
#include "platform/services/MASShortcutMonitor.h"

namespace {
std::shared_ptr<MASShortcutBinder>& binderSlot() {
  static std::shared_ptr<MASShortcutBinder> binder;
  return binder;
}
}  // namespace

std::shared_ptr<MASShortcutBinder> MASShortcutBinder::sharedBinder() {
  auto& slot = binderSlot();
  if (!slot) slot = create();
  return slot;
}

void MASShortcutBinder::resetSharedBinder() {
  if (auto& slot = binderSlot()) {
    while (!slot->bindings_.empty()) slot->breakBindingWithDefaultsKey(slot->bindings_.begin()->first);
  }
  binderSlot().reset();
}

std::shared_ptr<MASShortcut> MASShortcutBinder::shortcutFromStoredValue(const id& value) {
  auto data = asA<NSData>(value);
  if (!data) return nullptr;
  auto decoded = NSKeyedUnarchiver::unarchivedObjectOfClass<MASShortcut>(data);
  return decoded ? *decoded : nullptr;
}

void MASShortcutBinder::bindShortcutWithDefaultsKey(std::string_view defaultsKey, std::function<void()> action) {
  breakBindingWithDefaultsKey(defaultsKey);
  std::string key(defaultsKey);
  auto defaults = NSUserDefaults::standardUserDefaults();
  Binding binding;
  binding.action = std::make_shared<std::function<void()>>(std::move(action));
  std::weak_ptr<MASShortcutBinder> weak = sharedAs<MASShortcutBinder>();
  binding.observation = defaults->observeValueForKey(key, [weak, key](const id&, const id& newValue) {
    if (auto binder = weak.lock()) binder->apply(key, newValue);
  });
  bindings_.emplace(key, std::move(binding));
  apply(key, defaults->objectForKey(key));
}

void MASShortcutBinder::breakBindingWithDefaultsKey(std::string_view defaultsKey) {
  auto it = bindings_.find(defaultsKey);
  if (it == bindings_.end()) return;
  if (it->second.shortcut) MASShortcutMonitor::sharedMonitor()->unregisterShortcut(it->second.shortcut);
  bindings_.erase(it);
}

std::shared_ptr<MASShortcut> MASShortcutBinder::shortcutForDefaultsKey(std::string_view defaultsKey) const {
  auto it = bindings_.find(defaultsKey);
  return it == bindings_.end() ? nullptr : it->second.shortcut;
}

void MASShortcutBinder::apply(const std::string& key, const id& value) {
  auto it = bindings_.find(key);
  if (it == bindings_.end()) return;
  auto& binding = it->second;
  auto monitor = MASShortcutMonitor::sharedMonitor();
  auto shortcut = shortcutFromStoredValue(value);
  if (binding.shortcut && shortcut && binding.shortcut->isEqual(shortcut)) return;
  if (binding.shortcut) monitor->unregisterShortcut(binding.shortcut);
  binding.shortcut.reset();
  if (!shortcut) return;
  auto action = binding.action;
  auto held = monitor->registerShortcut(shortcut, [action] {
    if (*action) (*action)();
  });
  if (!held) {
    OutputSink::print(std::string(Constants::failurePrefix) + shortcut->displayName() + ": " +
                      held.error()->localizedDescription());
    return;
  }
  binding.shortcut = shortcut;
}
