// The global shortcut on a real X server: pressed anywhere (with the lock keys on or off)
// it runs its action; every key that types its keysym is held; a key another client holds
// is refused as "shortcut taken".

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "platform/appkit/NSEvent.h"
#include "platform/foundation/OutputSink.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/GlobalHotKeys.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

int lastXError = 0;

// Another client of the same X server, as a second application would be.
class OtherClient {
 public:
  OtherClient() : display_(XOpenDisplay(nullptr)) {}
  ~OtherClient() {
    if (display_) XCloseDisplay(display_);
  }
  Display* display() const { return display_; }
  // The X error its grab of the key meets (0 when the grab is its own).
  int grab(int keycode, unsigned modifiers) {
    lastXError = 0;
    auto previous = XSetErrorHandler([](Display*, XErrorEvent* e) {
      lastXError = e->error_code;
      return 0;
    });
    XGrabKey(display_, keycode, modifiers, DefaultRootWindow(display_), False, GrabModeAsync, GrabModeAsync);
    XSync(display_, False);
    XSetErrorHandler(previous);
    if (!lastXError) XUngrabKey(display_, keycode, modifiers, DefaultRootWindow(display_));
    XSync(display_, False);
    return lastXError;
  }

 private:
  Display* display_;
};

class HostShortcutTest : public HostTest {};

TEST_F(HostShortcutTest, TheShortcutRunsItsActionFromAnywhereWhateverTheLockKeys) {
  int presses = 0;
  auto token = host->hotKeys()->registerHotKey(NSKeyCode::g, NSEventModifierFlagShift | NSEventModifierFlagCommand,
                                               [&] { ++presses; });
  ASSERT_TRUE(token.has_value()) << token.error()->localizedDescription();

  // Plain `xdotool key`: aiming it at a window would go around the grab.
  run({"xdotool", "key", "shift+ctrl+g"});
  EXPECT_TRUE(runUntil([&] { return presses == 1; }));
  run({"xdotool", "key", "Caps_Lock", "shift+ctrl+g", "Caps_Lock"});
  EXPECT_TRUE(runUntil([&] { return presses == 2; })) << "with CapsLock on";
  run({"xdotool", "key", "Num_Lock", "shift+ctrl+g", "Num_Lock"});
  EXPECT_TRUE(runUntil([&] { return presses == 3; })) << "with NumLock on";
  run({"xdotool", "key", "ctrl+g", "g"});
  runUntil([&] { return presses > 3; }, 0.3);
  EXPECT_EQ(presses, 3) << "other modifiers are other keys";

  host->hotKeys()->unregisterHotKey(*token);
  OtherClient other;
  ASSERT_NE(other.display(), nullptr);
  int keycode = XKeysymToKeycode(other.display(), XK_g);
  EXPECT_EQ(other.grab(keycode, ShiftMask | ControlMask), 0) << "unregistering gives the key back";
}

TEST_F(HostShortcutTest, EveryKeyThatTypesTheKeysymIsHeldWithAndWithoutLocks) {
  OtherClient other;
  ASSERT_NE(other.display(), nullptr);
  // A second key that types "j" too, as some layouts have.
  constexpr int kSpare = 250;
  KeySym j = XK_j;
  XChangeKeyboardMapping(other.display(), kSpare, 1, &j, 1);
  XSync(other.display(), False);
  runUntil([&] { return false; }, 0.1);  // the host hears of the new map

  auto token = host->hotKeys()->registerHotKey(NSKeyCode::j, NSEventModifierFlagOption, [] {});
  ASSERT_TRUE(token.has_value());
  int usual = XKeysymToKeycode(other.display(), XK_j);
  EXPECT_EQ(other.grab(usual, Mod1Mask), BadAccess);
  EXPECT_EQ(other.grab(kSpare, Mod1Mask), BadAccess);
  EXPECT_EQ(other.grab(usual, Mod1Mask | LockMask), BadAccess);
  EXPECT_EQ(other.grab(usual, Mod1Mask | Mod2Mask), BadAccess) << "NumLock (Mod2 in Xvfb's map)";
  EXPECT_EQ(other.grab(usual, Mod1Mask | ShiftMask), 0) << "other modifiers stay free";

  KeySym none = NoSymbol;
  XChangeKeyboardMapping(other.display(), kSpare, 1, &none, 1);
  XSync(other.display(), False);
}

TEST_F(HostShortcutTest, AKeyAnotherApplicationHoldsIsReportedAsTaken) {
  std::vector<std::string> lines;
  OutputSink::setSink([&](std::string_view line) { lines.emplace_back(line); });
  OtherClient other;
  ASSERT_NE(other.display(), nullptr);
  int keycode = XKeysymToKeycode(other.display(), XK_k);
  XGrabKey(other.display(), keycode, ControlMask, DefaultRootWindow(other.display()), False, GrabModeAsync,
           GrabModeAsync);
  XSync(other.display(), False);

  auto taken = host->hotKeys()->registerHotKey(NSKeyCode::k, NSEventModifierFlagCommand, [] {});
  ASSERT_FALSE(taken.has_value());
  EXPECT_EQ(taken.error()->localizedDescription(), GlobalHotKeys::Constants::shortcutTaken);
  EXPECT_EQ(taken.error()->code(), GlobalHotKeys::taken);
  EXPECT_EQ(host->hotKeys()->count(), 0u);
  EXPECT_EQ(lines, std::vector<std::string>{"Global shortcut: shortcut taken."});
  // Nothing of ours is left holding the key's other lock combinations.
  EXPECT_EQ(other.grab(keycode, ControlMask | LockMask), 0);

  auto odd = host->hotKeys()->registerHotKey(0x7F, NSEventModifierFlagCommand, [] {});
  ASSERT_FALSE(odd.has_value());
  EXPECT_EQ(odd.error()->code(), GlobalHotKeys::unsupportedKey);
  OutputSink::setSink(nullptr);
}

}  // namespace
