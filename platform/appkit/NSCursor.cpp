#include "platform/appkit/NSCursor.h"

#include <map>

namespace {
struct CursorState {
  std::shared_ptr<NSCursor> current;
  std::vector<std::shared_ptr<NSCursor>> stack;
};
CursorState& cursorState() {
  static CursorState s;
  return s;
}
}  // namespace

std::shared_ptr<NSCursor> NSCursor::named(const std::string& name) {
  static std::map<std::string, std::shared_ptr<NSCursor>> cursors;
  auto& slot = cursors[name];
  if (!slot) slot = std::shared_ptr<NSCursor>(new NSCursor(name));
  return slot;
}

std::shared_ptr<NSCursor> NSCursor::arrowCursor() { return named("arrow"); }
std::shared_ptr<NSCursor> NSCursor::pointingHandCursor() { return named("pointingHand"); }
std::shared_ptr<NSCursor> NSCursor::IBeamCursor() { return named("IBeam"); }
std::shared_ptr<NSCursor> NSCursor::crosshairCursor() { return named("crosshair"); }
std::shared_ptr<NSCursor> NSCursor::openHandCursor() { return named("openHand"); }
std::shared_ptr<NSCursor> NSCursor::closedHandCursor() { return named("closedHand"); }
std::shared_ptr<NSCursor> NSCursor::operationNotAllowedCursor() { return named("operationNotAllowed"); }

std::shared_ptr<NSCursor> NSCursor::currentCursor() {
  auto& s = cursorState();
  return s.current ? s.current : arrowCursor();
}

void NSCursor::resetCurrent() { cursorState() = CursorState{}; }

void NSCursor::set() { cursorState().current = sharedAs<NSCursor>(); }

void NSCursor::push() {
  auto& s = cursorState();
  s.stack.push_back(currentCursor());
  set();
}

void NSCursor::pop() {
  auto& s = cursorState();
  if (s.stack.empty()) return;
  s.current = s.stack.back();
  s.stack.pop_back();
}
