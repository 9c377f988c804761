#include "platform/appkit/NSResponder.h"

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSTouchBar.h"

#define GLIMDECK_PASS_ON(name)                                  \
  void NSResponder::name(const std::shared_ptr<NSEvent>& event) { \
    if (auto next = nextResponder()) next->name(event);         \
  }

GLIMDECK_PASS_ON(mouseDown)
GLIMDECK_PASS_ON(mouseUp)
GLIMDECK_PASS_ON(mouseDragged)
GLIMDECK_PASS_ON(mouseMoved)
GLIMDECK_PASS_ON(mouseEntered)
GLIMDECK_PASS_ON(mouseExited)
GLIMDECK_PASS_ON(rightMouseDown)
GLIMDECK_PASS_ON(rightMouseUp)
GLIMDECK_PASS_ON(rightMouseDragged)
GLIMDECK_PASS_ON(otherMouseDown)
GLIMDECK_PASS_ON(otherMouseUp)
GLIMDECK_PASS_ON(scrollWheel)
GLIMDECK_PASS_ON(keyDown)
GLIMDECK_PASS_ON(keyUp)
GLIMDECK_PASS_ON(flagsChanged)
GLIMDECK_PASS_ON(cursorUpdate)

#undef GLIMDECK_PASS_ON

bool NSResponder::tryToPerform(std::string_view selector, const std::shared_ptr<NSObject>& sender) {
  if (respondsToCommand(selector)) {
    performCommand(selector, sender);
    return true;
  }
  if (auto next = nextResponder()) return next->tryToPerform(selector, sender);
  return false;
}

void NSResponder::doCommandBySelector(std::string_view selector) {
  auto self = sharedAs<NSResponder>();
  tryToPerform(selector, self);
}

void NSResponder::dispatchEventByType(const std::shared_ptr<NSEvent>& event) {
  switch (event->type()) {
    case NSEventType::leftMouseDown: mouseDown(event); break;
    case NSEventType::leftMouseUp: mouseUp(event); break;
    case NSEventType::leftMouseDragged: mouseDragged(event); break;
    case NSEventType::mouseMoved: mouseMoved(event); break;
    case NSEventType::mouseEntered: mouseEntered(event); break;
    case NSEventType::mouseExited: mouseExited(event); break;
    case NSEventType::rightMouseDown: rightMouseDown(event); break;
    case NSEventType::rightMouseUp: rightMouseUp(event); break;
    case NSEventType::rightMouseDragged: rightMouseDragged(event); break;
    case NSEventType::otherMouseDown: otherMouseDown(event); break;
    case NSEventType::otherMouseUp: otherMouseUp(event); break;
    case NSEventType::scrollWheel: scrollWheel(event); break;
    case NSEventType::keyDown: keyDown(event); break;
    case NSEventType::keyUp: keyUp(event); break;
    case NSEventType::flagsChanged: flagsChanged(event); break;
    case NSEventType::cursorUpdate: cursorUpdate(event); break;
    default: break;
  }
}

std::shared_ptr<NSTouchBar> NSResponder::touchBar() {
  if (!touchBarMade_) {
    touchBarMade_ = true;
    touchBar_ = makeTouchBar();
  }
  return touchBar_;
}

void NSResponder::setTouchBar(std::shared_ptr<NSTouchBar> touchBar) {
  touchBarMade_ = true;
  touchBar_ = std::move(touchBar);
}
