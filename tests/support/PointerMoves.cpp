#include "tests/support/PointerMoves.h"

#include <X11/Xlib.h>

#include <optional>
#include <utility>

namespace {

// One connection for the whole program: the tests run in one X server.
Display* display() {
  static Display* opened = XOpenDisplay(nullptr);
  return opened;
}

// A window that has gone makes an X error, which must not end the program.
struct QuietErrors {
  QuietErrors() : previous(XSetErrorHandler([](Display*, XErrorEvent*) { return 0; })) {}
  ~QuietErrors() { XSetErrorHandler(previous); }
  int (*previous)(Display*, XErrorEvent*);
};

std::optional<std::pair<int, int>> pointerNow() {
  Display* d = display();
  if (!d) return std::nullopt;
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, x = 0, y = 0;
  unsigned int buttons = 0;
  if (!XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &buttons)) return std::nullopt;
  return std::pair{rootX, rootY};
}

bool moveToRootPoint(int x, int y, const CommandWait& wait, double timeout) {
  runCommand({"xdotool", "mousemove", std::to_string(x), std::to_string(y)}, timeout, wait);
  return wait([&] { return pointerNow() == std::pair{x, y}; }, timeout);
}

}  // namespace

bool movePointerTo(const std::string& window, int x, int y, const CommandWait& wait, double timeout) {
  Display* d = display();
  if (!d) return false;
  int rootX = x, rootY = y;
  if (!window.empty()) {
    QuietErrors quiet;
    Window child = 0;
    bool translated = XTranslateCoordinates(d, std::stoul(window), DefaultRootWindow(d), x, y, &rootX, &rootY, &child);
    XSync(d, False);
    if (!translated) return false;
  }
  return moveToRootPoint(rootX, rootY, wait, timeout);
}

bool movePointerBy(int dx, int dy, const CommandWait& wait, double timeout) {
  auto now = pointerNow();
  return now && moveToRootPoint(now->first + dx, now->second + dy, wait, timeout);
}
