#include "platform/appkit/NSEvent.h"

#include <algorithm>
#include <cstdio>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSTrackingArea.h"

namespace {

struct Monitor : NSObject {
  bool global = false;
  NSEventMask mask = 0;
  NSEvent::LocalHandler local;
  NSEvent::GlobalHandler globalHandler;
  std::string className() const override { return "_NSEventMonitor"; }
};

struct EventState {
  std::vector<std::shared_ptr<Monitor>> monitors;
  NSPoint mouseLocation;
  NSEventModifierFlags modifierFlags = 0;
  std::uint64_t pressedButtons = 0;
};

EventState& state() {
  // Never destroyed: the shared application, made before it, still lets go of its windows
  // (whose views remove their monitors) as the process's statics go at exit.
  static EventState& s = *new EventState();
  return s;
}

bool matches(NSEventMask mask, NSEventType type) {
  int bit = static_cast<int>(type);
  return bit > 0 && bit < 64 && (mask & (NSEventMask{1} << bit)) != 0;
}

}  // namespace

bool NSKeyCode::forCharacter(char32_t ch, std::uint16_t& keyCode, bool& needsShift) {
  static constexpr std::pair<char, std::uint16_t> plain[] = {
      {'a', 0},  {'s', 1},  {'d', 2},  {'f', 3},  {'h', 4},  {'g', 5},  {'z', 6},  {'x', 7},
      {'c', 8},  {'v', 9},  {'b', 11}, {'q', 12}, {'w', 13}, {'e', 14}, {'r', 15}, {'y', 16},
      {'t', 17}, {'1', 18}, {'2', 19}, {'3', 20}, {'4', 21}, {'6', 22}, {'5', 23}, {'=', 24},
      {'9', 25}, {'7', 26}, {'-', 27}, {'8', 28}, {'0', 29}, {']', 30}, {'o', 31}, {'u', 32},
      {'[', 33}, {'i', 34}, {'p', 35}, {'l', 37}, {'j', 38}, {'\'', 39}, {'k', 40}, {';', 41},
      {'\\', 42}, {',', 43}, {'/', 44}, {'n', 45}, {'m', 46}, {'.', 47}, {'`', 50}, {' ', 49},
      {'\r', 36}, {'\t', 48}};
  static constexpr std::pair<char, char> shifted[] = {
      {'!', '1'}, {'@', '2'}, {'#', '3'}, {'$', '4'}, {'%', '5'}, {'^', '6'}, {'&', '7'},
      {'*', '8'}, {'(', '9'}, {')', '0'}, {'_', '-'}, {'+', '='}, {'{', '['}, {'}', ']'},
      {'|', '\\'}, {':', ';'}, {'"', '\''}, {'<', ','}, {'>', '.'}, {'?', '/'}, {'~', '`'}};
  if (ch >= 0x80) return false;
  char c = static_cast<char>(ch);
  needsShift = false;
  if (c >= 'A' && c <= 'Z') {
    c = static_cast<char>(c - 'A' + 'a');
    needsShift = true;
  }
  for (auto [from, to] : shifted) {
    if (from == c) {
      c = to;
      needsShift = true;
    }
  }
  for (auto [key, code] : plain) {
    if (key == c) {
      keyCode = code;
      return true;
    }
  }
  return false;
}

std::shared_ptr<NSEvent> NSEvent::make() { return create(); }

std::shared_ptr<NSEvent> NSEvent::makeWith(NSEventType type, NSPoint location, NSEventModifierFlags modifierFlags,
                                           double timestamp, long windowNumber) {
  auto event = make();
  event->type_ = type;
  event->location_ = location;
  event->modifierFlags_ = modifierFlags;
  event->timestamp_ = timestamp;
  event->windowNumber_ = windowNumber;
  return event;
}

std::shared_ptr<NSEvent> NSEvent::mouseEventWithType(NSEventType type, NSPoint location,
                                                     NSEventModifierFlags modifierFlags, double timestamp,
                                                     long windowNumber, std::shared_ptr<NSObject> context,
                                                     long eventNumber, long clickCount, double pressure) {
  auto event = makeWith(type, location, modifierFlags, timestamp, windowNumber);
  event->context_ = std::move(context);
  event->eventNumber_ = eventNumber;
  event->clickCount_ = clickCount;
  event->pressure_ = pressure;
  return event;
}

std::shared_ptr<NSEvent> NSEvent::keyEventWithType(NSEventType type, NSPoint location,
                                                   NSEventModifierFlags modifierFlags, double timestamp,
                                                   long windowNumber, std::shared_ptr<NSObject> context,
                                                   std::string characters,
                                                   std::string charactersIgnoringModifiers, bool isARepeat,
                                                   std::uint16_t keyCode) {
  auto event = makeWith(type, location, modifierFlags, timestamp, windowNumber);
  event->context_ = std::move(context);
  event->characters_ = std::move(characters);
  event->charactersIgnoringModifiers_ = std::move(charactersIgnoringModifiers);
  event->isARepeat_ = isARepeat;
  event->keyCode_ = keyCode;
  return event;
}

std::shared_ptr<NSEvent> NSEvent::enterExitEventWithType(NSEventType type, NSPoint location,
                                                         NSEventModifierFlags modifierFlags, double timestamp,
                                                         long windowNumber,
                                                         std::shared_ptr<NSTrackingArea> trackingArea) {
  auto event = makeWith(type, location, modifierFlags, timestamp, windowNumber);
  event->trackingArea_ = std::move(trackingArea);
  return event;
}

std::shared_ptr<NSEvent> NSEvent::scrollWheelEvent(NSPoint location, NSEventModifierFlags modifierFlags,
                                                   double timestamp, long windowNumber, double deltaX,
                                                   double deltaY, bool precise) {
  auto event = makeWith(NSEventType::scrollWheel, location, modifierFlags, timestamp, windowNumber);
  event->deltaX_ = deltaX;
  event->deltaY_ = deltaY;
  event->precise_ = precise;
  return event;
}

std::shared_ptr<NSWindow> NSEvent::window() const {
  if (windowNumber_ <= 0) return nullptr;
  return NSApplication::sharedApplication()->windowWithWindowNumber(windowNumber_);
}

long NSEvent::buttonNumber() const {
  switch (type_) {
    case NSEventType::rightMouseDown:
    case NSEventType::rightMouseUp:
    case NSEventType::rightMouseDragged:
      return 1;
    case NSEventType::otherMouseDown:
    case NSEventType::otherMouseUp:
    case NSEventType::otherMouseDragged:
      return 2;
    default:
      return 0;
  }
}

std::shared_ptr<NSObject> NSEvent::userData() const {
  return trackingArea_ ? trackingArea_->userInfo() : nullptr;
}

bool NSEvent::isMouseEvent() const {
  switch (type_) {
    case NSEventType::leftMouseDown:
    case NSEventType::leftMouseUp:
    case NSEventType::rightMouseDown:
    case NSEventType::rightMouseUp:
    case NSEventType::mouseMoved:
    case NSEventType::leftMouseDragged:
    case NSEventType::rightMouseDragged:
    case NSEventType::otherMouseDown:
    case NSEventType::otherMouseUp:
    case NSEventType::otherMouseDragged:
    case NSEventType::scrollWheel:
      return true;
    default:
      return false;
  }
}

NSPoint NSEvent::mouseLocation() { return state().mouseLocation; }
NSEventModifierFlags NSEvent::currentModifierFlags() { return state().modifierFlags; }
std::uint64_t NSEvent::pressedMouseButtons() { return state().pressedButtons; }

void NSEvent::noteMouseLocation(NSPoint screenLocation) { state().mouseLocation = screenLocation; }
void NSEvent::noteModifierFlags(NSEventModifierFlags flags) { state().modifierFlags = flags; }
void NSEvent::noteMouseButton(long button, bool pressed) {
  if (button < 0 || button >= 64) return;
  auto bit = std::uint64_t{1} << button;
  if (pressed) {
    state().pressedButtons |= bit;
  } else {
    state().pressedButtons &= ~bit;
  }
}

std::shared_ptr<NSObject> NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMask mask, LocalHandler handler) {
  if (!handler) return nullptr;
  auto monitor = std::make_shared<Monitor>();
  monitor->mask = mask;
  monitor->local = std::move(handler);
  state().monitors.push_back(monitor);
  return monitor;
}

std::shared_ptr<NSObject> NSEvent::addGlobalMonitorForEventsMatchingMask(NSEventMask mask, GlobalHandler handler) {
  if (!handler) return nullptr;
  auto monitor = std::make_shared<Monitor>();
  monitor->global = true;
  monitor->mask = mask;
  monitor->globalHandler = std::move(handler);
  state().monitors.push_back(monitor);
  return monitor;
}

void NSEvent::removeMonitor(const std::shared_ptr<NSObject>& monitor) {
  auto& list = state().monitors;
  std::erase_if(list, [&](const std::shared_ptr<Monitor>& m) { return m == monitor; });
}

std::size_t NSEvent::localMonitorCount() {
  return std::ranges::count_if(state().monitors, [](const auto& m) { return !m->global; });
}

std::size_t NSEvent::globalMonitorCount() {
  return std::ranges::count_if(state().monitors, [](const auto& m) { return m->global; });
}

namespace {
bool stillInstalled(const std::shared_ptr<Monitor>& monitor) {
  return std::ranges::find(state().monitors, monitor) != state().monitors.end();
}
}  // namespace

std::shared_ptr<NSEvent> NSEvent::runLocalMonitors(std::shared_ptr<NSEvent> event) {
  // A handler may remove monitors (itself included) or add new ones while it runs; the
  // ones installed when the event arrived see it unless they were removed meanwhile.
  auto snapshot = state().monitors;
  for (const auto& monitor : snapshot) {
    if (!event) break;
    if (monitor->global || !matches(monitor->mask, event->type()) || !stillInstalled(monitor)) continue;
    event = monitor->local(event);
  }
  return event;
}

void NSEvent::runGlobalMonitors(const std::shared_ptr<NSEvent>& event) {
  if (!event) return;
  auto snapshot = state().monitors;
  for (const auto& monitor : snapshot) {
    if (!monitor->global || !matches(monitor->mask, event->type()) || !stillInstalled(monitor)) continue;
    monitor->globalHandler(event);
  }
}

void NSEvent::resetMonitorsAndState() { state() = EventState{}; }

std::string NSEvent::description() const {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "NSEvent: type=%d loc=(%g,%g) flags=0x%llx win=%ld clicks=%ld key=%u",
                static_cast<int>(type_), location_.x, location_.y,
                static_cast<unsigned long long>(modifierFlags_), windowNumber_, clickCount_, keyCode_);
  return buffer;
}
