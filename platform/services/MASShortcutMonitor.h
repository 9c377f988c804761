#pragma once
// The shortcuts the application holds system-wide. A desktop host installs a registrar that
// grabs them on the desktop; without one (headless) they are held in the process only and
// reach their actions through pressShortcut, as keys of the desktop would.

#include <expected>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/services/MASShortcut.h"

class MASShortcutMonitor : public NSObject {
 public:
  using Registered = std::expected<void, std::shared_ptr<NSError>>;

  // The desktop's side: holds a key with its modifiers and runs the action when pressed.
  class Registrar {
   public:
    using Token = std::expected<std::shared_ptr<NSObject>, std::shared_ptr<NSError>>;
    virtual ~Registrar() = default;
    virtual Token registerHotKey(std::uint16_t keyCode, NSEventModifierFlags flags, std::function<void()> action) = 0;
    virtual void unregisterHotKey(const std::shared_ptr<NSObject>& token) = 0;
  };

  static std::shared_ptr<MASShortcutMonitor> sharedMonitor();
  // Forgets every shortcut and the registrar (between tests).
  static void resetSharedMonitor();

  // Held shortcuts move to the new registrar (empty: back into the process only).
  void setRegistrar(std::shared_ptr<Registrar> registrar);

  // Holds the shortcut; one already held is replaced. A registrar's refusal (another
  // program holds the key) is the answer, and the shortcut is not held.
  Registered registerShortcut(const std::shared_ptr<MASShortcut>& shortcut, std::function<void()> action);
  void unregisterShortcut(const std::shared_ptr<MASShortcut>& shortcut);
  bool isShortcutRegistered(const std::shared_ptr<MASShortcut>& shortcut) const;
  std::size_t count() const { return entries_.size(); }

  // The key pressed with these modifiers: runs the action of the shortcut it is, if any.
  bool pressShortcut(std::uint16_t keyCode, NSEventModifierFlags flags);

  GLIMDECK_OBJECT(MASShortcutMonitor)

 private:
  struct Entry {
    std::shared_ptr<MASShortcut> shortcut;
    std::shared_ptr<std::function<void()>> action;
    std::shared_ptr<NSObject> token;
  };
  MASShortcutMonitor() = default;
  Registrar::Token grab(const Entry& entry);

  std::shared_ptr<Registrar> registrar_;
  std::vector<Entry> entries_;
};
