#pragma once
// Input events: mouse, keyboard, scroll wheel and pointer tracking, with the monitors an
// application installs to watch its own events (which they may swallow) or the events
// that go to other applications.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSWindow;
class NSTrackingArea;

enum class NSEventType : int {
  leftMouseDown = 1,
  leftMouseUp = 2,
  rightMouseDown = 3,
  rightMouseUp = 4,
  mouseMoved = 5,
  leftMouseDragged = 6,
  rightMouseDragged = 7,
  mouseEntered = 8,
  mouseExited = 9,
  keyDown = 10,
  keyUp = 11,
  flagsChanged = 12,
  appKitDefined = 13,
  systemDefined = 14,
  applicationDefined = 15,
  periodic = 16,
  cursorUpdate = 17,
  scrollWheel = 22,
  otherMouseDown = 25,
  otherMouseUp = 26,
  otherMouseDragged = 27,
};

using NSEventMask = std::uint64_t;
constexpr NSEventMask NSEventMaskFromType(NSEventType type) { return NSEventMask{1} << static_cast<int>(type); }
constexpr NSEventMask NSEventMaskLeftMouseDown = NSEventMaskFromType(NSEventType::leftMouseDown);
constexpr NSEventMask NSEventMaskLeftMouseUp = NSEventMaskFromType(NSEventType::leftMouseUp);
constexpr NSEventMask NSEventMaskRightMouseDown = NSEventMaskFromType(NSEventType::rightMouseDown);
constexpr NSEventMask NSEventMaskRightMouseUp = NSEventMaskFromType(NSEventType::rightMouseUp);
constexpr NSEventMask NSEventMaskMouseMoved = NSEventMaskFromType(NSEventType::mouseMoved);
constexpr NSEventMask NSEventMaskLeftMouseDragged = NSEventMaskFromType(NSEventType::leftMouseDragged);
constexpr NSEventMask NSEventMaskRightMouseDragged = NSEventMaskFromType(NSEventType::rightMouseDragged);
constexpr NSEventMask NSEventMaskMouseEntered = NSEventMaskFromType(NSEventType::mouseEntered);
constexpr NSEventMask NSEventMaskMouseExited = NSEventMaskFromType(NSEventType::mouseExited);
constexpr NSEventMask NSEventMaskKeyDown = NSEventMaskFromType(NSEventType::keyDown);
constexpr NSEventMask NSEventMaskKeyUp = NSEventMaskFromType(NSEventType::keyUp);
constexpr NSEventMask NSEventMaskFlagsChanged = NSEventMaskFromType(NSEventType::flagsChanged);
constexpr NSEventMask NSEventMaskScrollWheel = NSEventMaskFromType(NSEventType::scrollWheel);
constexpr NSEventMask NSEventMaskOtherMouseDown = NSEventMaskFromType(NSEventType::otherMouseDown);
constexpr NSEventMask NSEventMaskOtherMouseUp = NSEventMaskFromType(NSEventType::otherMouseUp);
constexpr NSEventMask NSEventMaskAny = ~NSEventMask{0};

using NSEventModifierFlags = std::uint64_t;
constexpr NSEventModifierFlags NSEventModifierFlagCapsLock = 1u << 16;
constexpr NSEventModifierFlags NSEventModifierFlagShift = 1u << 17;
constexpr NSEventModifierFlags NSEventModifierFlagControl = 1u << 18;
constexpr NSEventModifierFlags NSEventModifierFlagOption = 1u << 19;
constexpr NSEventModifierFlags NSEventModifierFlagCommand = 1u << 20;
constexpr NSEventModifierFlags NSEventModifierFlagNumericPad = 1u << 21;
constexpr NSEventModifierFlags NSEventModifierFlagHelp = 1u << 22;
constexpr NSEventModifierFlags NSEventModifierFlagFunction = 1u << 23;
constexpr NSEventModifierFlags NSEventModifierFlagDeviceIndependentFlagsMask = 0xffff0000u;

// Virtual key codes of the keyboard (the positions of an ANSI layout).
struct NSKeyCode {
  static constexpr std::uint16_t a = 0, s = 1, d = 2, f = 3, h = 4, g = 5, z = 6, x = 7, c = 8,
                                 v = 9, b = 11, q = 12, w = 13, e = 14, r = 15, y = 16, t = 17,
                                 o = 31, u = 32, i = 34, p = 35, l = 37, j = 38, k = 40, n = 45,
                                 m = 46;
  static constexpr std::uint16_t returnKey = 36, tab = 48, space = 49, deleteKey = 51, escape = 53,
                                 command = 55, shift = 56, option = 58, control = 59,
                                 keypadEnter = 76, home = 115, pageUp = 116, forwardDelete = 117,
                                 end = 119, pageDown = 121, leftArrow = 123, rightArrow = 124,
                                 downArrow = 125, upArrow = 126;
  // The key that types the character on an ANSI layout (with shift for the upper row), or
  // empty when no single key does.
  static bool forCharacter(char32_t character, std::uint16_t& keyCode, bool& needsShift);
};

// The characters some special keys deliver.
struct NSKeyCharacter {
  static constexpr char32_t newline = U'\r', tab = U'\t', backTab = 0x19, deleteBackward = 0x7f,
                            escape = 0x1b, upArrow = 0xF700, downArrow = 0xF701,
                            leftArrow = 0xF702, rightArrow = 0xF703, forwardDelete = 0xF728;
};

class NSEvent : public NSObject {
 public:
  // An empty event (type 0 is not a real type; handlers that only need "an event" take it).
  static std::shared_ptr<NSEvent> make();

  static std::shared_ptr<NSEvent> mouseEventWithType(NSEventType type, NSPoint location,
                                                     NSEventModifierFlags modifierFlags, double timestamp,
                                                     long windowNumber, std::shared_ptr<NSObject> context,
                                                     long eventNumber, long clickCount, double pressure);
  static std::shared_ptr<NSEvent> keyEventWithType(NSEventType type, NSPoint location,
                                                   NSEventModifierFlags modifierFlags, double timestamp,
                                                   long windowNumber, std::shared_ptr<NSObject> context,
                                                   std::string characters,
                                                   std::string charactersIgnoringModifiers, bool isARepeat,
                                                   std::uint16_t keyCode);
  static std::shared_ptr<NSEvent> enterExitEventWithType(NSEventType type, NSPoint location,
                                                         NSEventModifierFlags modifierFlags, double timestamp,
                                                         long windowNumber,
                                                         std::shared_ptr<NSTrackingArea> trackingArea);
  static std::shared_ptr<NSEvent> scrollWheelEvent(NSPoint location, NSEventModifierFlags modifierFlags,
                                                   double timestamp, long windowNumber, double deltaX,
                                                   double deltaY, bool precise);

  NSEventType type() const { return type_; }
  NSEventModifierFlags modifierFlags() const { return modifierFlags_; }
  double timestamp() const { return timestamp_; }
  long windowNumber() const { return windowNumber_; }
  // The window the event belongs to, found by its number; empty for events of other
  // applications and for windows that have gone.
  std::shared_ptr<NSWindow> window() const;
  std::shared_ptr<NSObject> context() const { return context_; }
  long eventNumber() const { return eventNumber_; }
  long clickCount() const { return clickCount_; }
  double pressure() const { return pressure_; }
  long buttonNumber() const;
  // In the window's base coordinates (origin at the bottom left); screen coordinates when
  // the event has no window.
  NSPoint locationInWindow() const { return location_; }
  const std::string& characters() const { return characters_; }
  const std::string& charactersIgnoringModifiers() const { return charactersIgnoringModifiers_; }
  bool isARepeat() const { return isARepeat_; }
  std::uint16_t keyCode() const { return keyCode_; }
  double deltaX() const { return deltaX_; }
  double deltaY() const { return deltaY_; }
  double scrollingDeltaX() const { return deltaX_; }
  double scrollingDeltaY() const { return deltaY_; }
  bool hasPreciseScrollingDeltas() const { return precise_; }
  std::shared_ptr<NSTrackingArea> trackingArea() const { return trackingArea_; }
  std::shared_ptr<NSObject> userData() const;

  bool isMouseEvent() const;
  bool isKeyEvent() const { return type_ == NSEventType::keyDown || type_ == NSEventType::keyUp; }

  // The pointer's place on the screen (origin at the bottom left of the main screen).
  static NSPoint mouseLocation();
  static NSEventModifierFlags currentModifierFlags();
  static std::uint64_t pressedMouseButtons();
  static double doubleClickInterval() { return 0.5; }

  // A handler of events of this application: answers the event to hand on (possibly another
  // one), or empty to swallow it.
  using LocalHandler = std::function<std::shared_ptr<NSEvent>(const std::shared_ptr<NSEvent>&)>;
  // A handler of events that other applications receive; it can only watch them.
  using GlobalHandler = std::function<void(const std::shared_ptr<NSEvent>&)>;

  // Install a monitor; the answer is the token to remove it with (empty without a handler).
  static std::shared_ptr<NSObject> addLocalMonitorForEventsMatchingMask(NSEventMask mask, LocalHandler handler);
  static std::shared_ptr<NSObject> addGlobalMonitorForEventsMatchingMask(NSEventMask mask, GlobalHandler handler);
  static void removeMonitor(const std::shared_ptr<NSObject>& monitor);
  static std::size_t localMonitorCount();
  static std::size_t globalMonitorCount();

  // Runs the local monitors in the order they were installed; each sees what the one before
  // handed on. Empty when one of them swallowed the event.
  static std::shared_ptr<NSEvent> runLocalMonitors(std::shared_ptr<NSEvent> event);
  // Shows an event that went to another application to the global monitors.
  static void runGlobalMonitors(const std::shared_ptr<NSEvent>& event);
  // Forgets every monitor and the pointer state (between tests).
  static void resetMonitorsAndState();
  // What the system knows about the pointer and modifier keys; the application sets it as
  // events arrive.
  static void noteMouseLocation(NSPoint screenLocation);
  static void noteModifierFlags(NSEventModifierFlags flags);
  static void noteMouseButton(long button, bool pressed);

  GLIMDECK_OBJECT(NSEvent)
  std::string description() const override;

 protected:
  NSEvent() = default;
  static std::shared_ptr<NSEvent> makeWith(NSEventType type, NSPoint location, NSEventModifierFlags modifierFlags,
                                           double timestamp, long windowNumber);

 private:
  NSEventType type_ = NSEventType{0};
  NSEventModifierFlags modifierFlags_ = 0;
  double timestamp_ = 0;
  long windowNumber_ = 0;
  std::shared_ptr<NSObject> context_;
  long eventNumber_ = 0;
  long clickCount_ = 0;
  double pressure_ = 0;
  NSPoint location_;
  std::string characters_;
  std::string charactersIgnoringModifiers_;
  bool isARepeat_ = false;
  std::uint16_t keyCode_ = 0;
  double deltaX_ = 0, deltaY_ = 0;
  bool precise_ = false;
  std::shared_ptr<NSTrackingArea> trackingArea_;
};
