#include "platform/host/HostKeys.h"

#include <glib.h>

#include <array>

namespace HostKeys {

namespace {
struct KeyRow {
  unsigned keysym;
  std::uint16_t keyCode;
  char32_t special;  // 0: the key types text
};

// X keysyms (X11/keysymdef.h values) against the kit's ANSI key positions.
constexpr auto kKeys = std::to_array<KeyRow>({
    {'a', 0, 0},       {'s', 1, 0},       {'d', 2, 0},       {'f', 3, 0},       {'h', 4, 0},
    {'g', 5, 0},       {'z', 6, 0},       {'x', 7, 0},       {'c', 8, 0},       {'v', 9, 0},
    {'b', 11, 0},      {'q', 12, 0},      {'w', 13, 0},      {'e', 14, 0},      {'r', 15, 0},
    {'y', 16, 0},      {'t', 17, 0},      {'1', 18, 0},      {'2', 19, 0},      {'3', 20, 0},
    {'4', 21, 0},      {'6', 22, 0},      {'5', 23, 0},      {'=', 24, 0},      {'9', 25, 0},
    {'7', 26, 0},      {'-', 27, 0},      {'8', 28, 0},      {'0', 29, 0},      {']', 30, 0},
    {'o', 31, 0},      {'u', 32, 0},      {'[', 33, 0},      {'i', 34, 0},      {'p', 35, 0},
    {'l', 37, 0},      {'j', 38, 0},      {'\'', 39, 0},     {'k', 40, 0},      {';', 41, 0},
    {'\\', 42, 0},     {',', 43, 0},      {'/', 44, 0},      {'n', 45, 0},      {'m', 46, 0},
    {'.', 47, 0},      {'`', 50, 0},      {' ', 49, 0},
    {0xff0d, NSKeyCode::returnKey, NSKeyCharacter::newline},
    {0xff8d, NSKeyCode::keypadEnter, 0x03},
    {0xff09, NSKeyCode::tab, NSKeyCharacter::tab},
    {0xfe20, NSKeyCode::tab, NSKeyCharacter::backTab},  // ISO_Left_Tab: Shift-Tab
    {0xff08, NSKeyCode::deleteKey, NSKeyCharacter::deleteBackward},
    {0xff1b, NSKeyCode::escape, NSKeyCharacter::escape},
    {0xffff, NSKeyCode::forwardDelete, NSKeyCharacter::forwardDelete},
    {0xff50, NSKeyCode::home, 0xF729},
    {0xff57, NSKeyCode::end, 0xF72B},
    {0xff55, NSKeyCode::pageUp, 0xF72C},
    {0xff56, NSKeyCode::pageDown, 0xF72D},
    {0xff51, NSKeyCode::leftArrow, NSKeyCharacter::leftArrow},
    {0xff52, NSKeyCode::upArrow, NSKeyCharacter::upArrow},
    {0xff53, NSKeyCode::rightArrow, NSKeyCharacter::rightArrow},
    {0xff54, NSKeyCode::downArrow, NSKeyCharacter::downArrow},
    {0xffe1, NSKeyCode::shift, 0},    {0xffe3, NSKeyCode::command, 0},  // Shift_L, Control_L
    {0xffe9, NSKeyCode::option, 0},                                    // Alt_L
});

unsigned lowered(unsigned keysym) { return keysym >= 'A' && keysym <= 'Z' ? keysym - 'A' + 'a' : keysym; }
}  // namespace

std::optional<std::uint16_t> keyCodeForKeysym(unsigned keysym) {
  keysym = lowered(keysym);
  for (auto& row : kKeys) {
    if (row.keysym == keysym) return row.keyCode;
  }
  return std::nullopt;
}

unsigned keysymForKeyCode(std::uint16_t keyCode) {
  for (auto& row : kKeys) {
    if (row.keyCode == keyCode) return row.keysym;
  }
  return 0;
}

std::string specialCharactersForKeysym(unsigned keysym) {
  for (auto& row : kKeys) {
    if (row.keysym == keysym && row.special) return utf8(row.special);
  }
  return {};
}

NSEventModifierFlags modifierFlagsFromDesktop(unsigned state) {
  NSEventModifierFlags flags = 0;
  if (state & DesktopModifiers::shift) flags |= NSEventModifierFlagShift;
  if (state & DesktopModifiers::lock) flags |= NSEventModifierFlagCapsLock;
  if (state & DesktopModifiers::control) flags |= NSEventModifierFlagCommand;
  if (state & DesktopModifiers::alt) flags |= NSEventModifierFlagOption;
  if (state & (DesktopModifiers::super | DesktopModifiers::mod4)) flags |= NSEventModifierFlagControl;
  return flags;
}

unsigned x11ModifiersFromFlags(NSEventModifierFlags flags) {
  unsigned mask = 0;
  if (flags & NSEventModifierFlagShift) mask |= DesktopModifiers::shift;
  if (flags & NSEventModifierFlagCommand) mask |= DesktopModifiers::control;
  if (flags & NSEventModifierFlagOption) mask |= DesktopModifiers::alt;
  if (flags & NSEventModifierFlagControl) mask |= DesktopModifiers::mod4;
  return mask;
}

std::string utf8(char32_t c) {
  char buffer[8] = {};
  int length = g_unichar_to_utf8(static_cast<gunichar>(c), buffer);
  return std::string(buffer, static_cast<std::size_t>(length));
}

// Button1Mask is bit 8, the next buttons the bits after it.
unsigned buttonMask(unsigned button) { return button >= 1 && button <= 3 ? (1u << 8) << (button - 1) : 0; }

}  // namespace HostKeys
