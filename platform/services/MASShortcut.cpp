#include "platform/services/MASShortcut.h"

#include "platform/foundation/NSCoder.h"

namespace {
const NSCodingRegistration shortcutRegistration{"MASShortcut", &MASShortcut::initWithCoder};

std::string keyName(std::uint16_t keyCode) {
  switch (keyCode) {
    case NSKeyCode::returnKey: return "Return";
    case NSKeyCode::tab: return "Tab";
    case NSKeyCode::space: return "Space";
    case NSKeyCode::deleteKey: return "BackSpace";
    case NSKeyCode::escape: return "Escape";
    case NSKeyCode::home: return "Home";
    case NSKeyCode::end: return "End";
    case NSKeyCode::pageUp: return "Page_Up";
    case NSKeyCode::pageDown: return "Page_Down";
    case NSKeyCode::forwardDelete: return "Delete";
    case NSKeyCode::leftArrow: return "Left";
    case NSKeyCode::rightArrow: return "Right";
    case NSKeyCode::upArrow: return "Up";
    case NSKeyCode::downArrow: return "Down";
    default: break;
  }
  // The character the key types without Shift, upper-cased for letters.
  for (char32_t c = 0x21; c < 0x7f; ++c) {
    std::uint16_t code = 0;
    bool shift = false;
    if (NSKeyCode::forCharacter(c, code, shift) && code == keyCode && !shift) {
      char ch = static_cast<char>(c);
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
      return std::string(1, ch);
    }
  }
  return "Key " + std::to_string(keyCode);
}
}  // namespace

std::shared_ptr<MASShortcut> MASShortcut::initWithKeyCode(std::uint16_t keyCode, NSEventModifierFlags modifierFlags) {
  return create(keyCode, modifierFlags & relevantModifiers);
}

std::shared_ptr<MASShortcut> MASShortcut::shortcutWithEvent(const std::shared_ptr<NSEvent>& event) {
  if (!event) return nullptr;
  return initWithKeyCode(event->keyCode(), event->modifierFlags());
}

std::shared_ptr<MASShortcut> MASShortcut::initWithCoder(NSCoder& coder) {
  auto keyCode = coder.decodeIntegerForKey(Constants::keyCodeKey);
  if (keyCode < 0 || keyCode > 0xffff) return nullptr;
  auto flags = coder.decodeIntegerForKey(Constants::modifierFlagsKey);
  return initWithKeyCode(static_cast<std::uint16_t>(keyCode), static_cast<NSEventModifierFlags>(flags));
}

void MASShortcut::encodeWithCoder(NSCoder& coder) const {
  coder.encodeInteger(keyCode_, Constants::keyCodeKey);
  coder.encodeInteger(static_cast<std::int64_t>(modifierFlags_), Constants::modifierFlagsKey);
}

std::string MASShortcut::displayName() const {
  std::string text;
  if (modifierFlags_ & NSEventModifierFlagShift) text += "Shift+";
  if (modifierFlags_ & NSEventModifierFlagCommand) text += "Ctrl+";
  if (modifierFlags_ & NSEventModifierFlagOption) text += "Alt+";
  if (modifierFlags_ & NSEventModifierFlagControl) text += "Super+";
  return text + keyName(keyCode_);
}

bool MASShortcut::isValidGlobalShortcut() const {
  return (modifierFlags_ & (NSEventModifierFlagCommand | NSEventModifierFlagControl | NSEventModifierFlagOption)) != 0;
}

bool MASShortcut::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto shortcut = asA<MASShortcut>(other);
  return shortcut && shortcut->keyCode_ == keyCode_ && shortcut->modifierFlags_ == modifierFlags_;
}
