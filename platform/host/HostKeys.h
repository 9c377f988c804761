#pragma once
// The keyboard as the desktop (X keysyms, GDK modifier masks) and as the kit (ANSI-position
// key codes, modifier flags) name it. Linux puts Control where the kit puts Command (copy
// is Control-C), so the two swap places: Control ↔ Command, Super ↔ Control, Alt ↔ Option.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NSEvent.h"

namespace HostKeys {

// The desktop's modifier bits that the kit's flags stand for (GDK/X masks share values).
struct DesktopModifiers {
  static constexpr unsigned shift = 1u << 0;    // ShiftMask
  static constexpr unsigned lock = 1u << 1;     // LockMask
  static constexpr unsigned control = 1u << 2;  // ControlMask
  static constexpr unsigned alt = 1u << 3;      // Mod1Mask
  static constexpr unsigned super = 1u << 26;   // GDK_SUPER_MASK (Mod4 on X)
  static constexpr unsigned mod4 = 1u << 6;     // Mod4Mask
};

// The kit's key code of the key that types the keysym; empty for keys the kit has no code for.
std::optional<std::uint16_t> keyCodeForKeysym(unsigned keysym);
// The keysym a kit key code stands for (lower case for letters); 0 when none.
unsigned keysymForKeyCode(std::uint16_t keyCode);
// What the kit's key events carry as characters for keys that type no text (arrows,
// Return, Delete...); empty for text keys.
std::string specialCharactersForKeysym(unsigned keysym);

NSEventModifierFlags modifierFlagsFromDesktop(unsigned state);
// The X modifier mask of kit flags (Super as Mod4); CapsLock is left out, a grab masks it.
unsigned x11ModifiersFromFlags(NSEventModifierFlags flags);

std::string utf8(char32_t character);

// The desktop's state bit of pointer button 1, 2 or 3 (GDK/X masks share values); 0 for others.
unsigned buttonMask(unsigned button);

}  // namespace HostKeys
