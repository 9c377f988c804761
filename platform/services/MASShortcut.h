#pragma once
// A keyboard shortcut: a key (the kit's key code) with its modifier flags, archivable so it
// can be kept in the user defaults, and readable as text for a person.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/appkit/NSEvent.h"
#include "platform/foundation/NSCoding.h"

class MASShortcut : public NSObject, public NSCoding {
 public:
  struct Constants {
    static constexpr std::string_view keyCodeKey = "KeyCode";
    static constexpr std::string_view modifierFlagsKey = "ModifierFlags";
  };
  // Only these modifiers take part in a shortcut; lock keys and the like are dropped.
  static constexpr NSEventModifierFlags relevantModifiers =
      NSEventModifierFlagShift | NSEventModifierFlagControl | NSEventModifierFlagOption | NSEventModifierFlagCommand;

  static std::shared_ptr<MASShortcut> initWithKeyCode(std::uint16_t keyCode, NSEventModifierFlags modifierFlags);
  // The shortcut of a key-down event.
  static std::shared_ptr<MASShortcut> shortcutWithEvent(const std::shared_ptr<NSEvent>& event);
  static std::shared_ptr<MASShortcut> initWithCoder(NSCoder& coder);
  void encodeWithCoder(NSCoder& coder) const override;

  std::uint16_t keyCode() const { return keyCode_; }
  NSEventModifierFlags modifierFlags() const { return modifierFlags_; }
  // The key as the desktop names it with its modifiers, as "Shift+Ctrl+G" (the kit's Command
  // is the desktop's Control, its Control the Super key).
  std::string displayName() const;
  // A global shortcut needs Command, Control or Option: a key with Shift alone types.
  bool isValidGlobalShortcut() const;

  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  GLIMDECK_OBJECT(MASShortcut)

 private:
  MASShortcut(std::uint16_t keyCode, NSEventModifierFlags flags) : keyCode_(keyCode), modifierFlags_(flags) {}
  std::uint16_t keyCode_;
  NSEventModifierFlags modifierFlags_;
};
