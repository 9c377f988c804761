#include "platform/services/MASShortcutMonitor.h"

#include <algorithm>

namespace {
std::shared_ptr<MASShortcutMonitor>& monitorSlot() {
  static std::shared_ptr<MASShortcutMonitor> monitor;
  return monitor;
}
}  // namespace

std::shared_ptr<MASShortcutMonitor> MASShortcutMonitor::sharedMonitor() {
  auto& slot = monitorSlot();
  if (!slot) slot = create();
  return slot;
}

void MASShortcutMonitor::resetSharedMonitor() {
  if (auto& slot = monitorSlot()) {
    while (!slot->entries_.empty()) slot->unregisterShortcut(slot->entries_.front().shortcut);
  }
  monitorSlot().reset();
}

MASShortcutMonitor::Registrar::Token MASShortcutMonitor::grab(const Entry& entry) {
  if (!registrar_) return std::shared_ptr<NSObject>();
  // The registrar may outlive this entry: it holds the action, not the entry.
  auto action = entry.action;
  return registrar_->registerHotKey(entry.shortcut->keyCode(), entry.shortcut->modifierFlags(), [action] {
    if (action && *action) (*action)();
  });
}

void MASShortcutMonitor::setRegistrar(std::shared_ptr<Registrar> registrar) {
  if (registrar_) {
    for (auto& entry : entries_) {
      if (entry.token) registrar_->unregisterHotKey(entry.token);
      entry.token.reset();
    }
  }
  registrar_ = std::move(registrar);
  for (auto& entry : entries_) {
    // A key another program holds stays in the process only; the desktop said so already.
    if (auto token = grab(entry)) entry.token = *token;
  }
}

MASShortcutMonitor::Registered MASShortcutMonitor::registerShortcut(const std::shared_ptr<MASShortcut>& shortcut,
                                                                    std::function<void()> action) {
  if (!shortcut) return {};
  unregisterShortcut(shortcut);
  Entry entry{shortcut, std::make_shared<std::function<void()>>(std::move(action)), nullptr};
  auto token = grab(entry);
  if (!token) return std::unexpected(token.error());
  entry.token = *token;
  entries_.push_back(std::move(entry));
  return {};
}

void MASShortcutMonitor::unregisterShortcut(const std::shared_ptr<MASShortcut>& shortcut) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.shortcut->isEqual(shortcut); });
  if (it == entries_.end()) return;
  if (registrar_ && it->token) registrar_->unregisterHotKey(it->token);
  entries_.erase(it);
}

bool MASShortcutMonitor::isShortcutRegistered(const std::shared_ptr<MASShortcut>& shortcut) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.shortcut->isEqual(shortcut); });
}

bool MASShortcutMonitor::pressShortcut(std::uint16_t keyCode, NSEventModifierFlags flags) {
  auto pressed = MASShortcut::initWithKeyCode(keyCode, flags);
  for (auto& entry : entries_) {
    if (entry.shortcut->isEqual(pressed)) {
      auto action = entry.action;
      if (*action) (*action)();
      return true;
    }
  }
  return false;
}
