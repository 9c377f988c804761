#pragma once
// Shortcuts that reach the application from anywhere on the desktop. On X the key is
// grabbed on the root window for every key that types its keysym, with and without
// CapsLock and NumLock, so the lock keys never hide it; a key another client holds is
// refused as "shortcut taken". On Wayland the desktop portal's GlobalShortcuts binds it
// where the desktop offers the portal; elsewhere one line says the shortcut is off.

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/appkit/NSEvent.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

class GlobalHotKeys : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view errorDomain = "GlimdeckDesktopErrorDomain";
    static constexpr std::string_view shortcutTaken = "shortcut taken";
    static constexpr std::string_view noSuchKey = "This key cannot be a shortcut.";
    static constexpr std::string_view noPortalLine =
        "Global shortcut: this desktop offers no GlobalShortcuts portal; the shortcut is off.";
  };
  enum Code : long { taken = 1, unsupportedKey = 2, unavailable = 3 };

  using Registered = std::expected<std::shared_ptr<NSObject>, std::shared_ptr<NSError>>;

  static std::shared_ptr<GlobalHotKeys> make(bool x11);
  ~GlobalHotKeys() override;

  // The key (the kit's key code) with the modifiers, pressed anywhere, runs the action on
  // the main thread. The answer is the token that unregisters it.
  Registered registerHotKey(std::uint16_t keyCode, NSEventModifierFlags modifierFlags, std::function<void()> action);
  void unregisterHotKey(const std::shared_ptr<NSObject>& token);
  void unregisterAll();
  std::size_t count() const { return bindings_.size(); }

  // The X event filter's way in: true when the event was a registered shortcut's key.
  bool handleX(void* xevent);

  std::string className() const override { return "GlobalHotKeys"; }

 private:
  struct Binding;
  GlobalHotKeys() = default;
  Registered grabOnX(std::uint16_t keyCode, NSEventModifierFlags flags, std::function<void()> action);
  Registered bindThroughPortal(std::uint16_t keyCode, NSEventModifierFlags flags, std::function<void()> action);
  void release(Binding& binding);

  bool x11_ = false;
  bool filterInstalled_ = false;
  bool toldNoPortal_ = false;
  unsigned numLockMask_ = 0;
  std::vector<std::shared_ptr<Binding>> bindings_;
  std::shared_ptr<class ShortcutPortal> portal_;
};
