#include "ui/NSViewTouchBlocker.h"

std::shared_ptr<NSViewTouchBlocker> NSViewTouchBlocker::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSViewTouchBlocker>(new NSViewTouchBlocker(frame)));
}

// The inherited handlers would hand the event up the responder chain; ending it here is the
// whole point of the class.
void NSViewTouchBlocker::mouseDown(const std::shared_ptr<NSEvent>& /*event*/) {}
void NSViewTouchBlocker::mouseUp(const std::shared_ptr<NSEvent>& /*event*/) {}
void NSViewTouchBlocker::mouseDragged(const std::shared_ptr<NSEvent>& /*event*/) {}
