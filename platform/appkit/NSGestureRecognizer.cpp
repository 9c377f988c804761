#include "platform/appkit/NSGestureRecognizer.h"

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSView.h"
#include "platform/foundation/KeepAlive.h"

NSPoint NSGestureRecognizer::locationInView(const std::shared_ptr<NSView>& view) const {
  if (!lastEvent_) return NSZeroPoint;
  NSPoint base = lastEvent_->locationInWindow();
  return view ? view->convertPoint(base, nullptr) : base;
}

void NSGestureRecognizer::mouseDown(const std::shared_ptr<NSEvent>& event) { lastEvent_ = event; }
void NSGestureRecognizer::mouseDragged(const std::shared_ptr<NSEvent>& event) { lastEvent_ = event; }
void NSGestureRecognizer::mouseUp(const std::shared_ptr<NSEvent>& event) { lastEvent_ = event; }

void NSGestureRecognizer::fire() {
  auto self = sharedAs<NSObject>();
  if (action) action(self);
}

std::shared_ptr<NSClickGestureRecognizer> NSClickGestureRecognizer::initWithTarget(NSAction action) {
  auto recognizer = std::shared_ptr<NSClickGestureRecognizer>(new NSClickGestureRecognizer());
  recognizer->action = std::move(action);
  return recognizer;
}

void NSClickGestureRecognizer::mouseDown(const std::shared_ptr<NSEvent>& event) {
  NSGestureRecognizer::mouseDown(event);
  setState(NSGestureRecognizerState::possible);
}

void NSClickGestureRecognizer::mouseUp(const std::shared_ptr<NSEvent>& event) {
  NSGestureRecognizer::mouseUp(event);
  auto target = view();
  if (!isEnabled || !target || !target->window()) {
    setState(NSGestureRecognizerState::failed);
    return;
  }
  NSPoint local = target->convertPoint(event->locationInWindow(), nullptr);
  bool inside = !target->isHiddenOrHasHiddenAncestor() && NSPointInRect(local, target->bounds());
  if (!inside || event->clickCount() < numberOfClicksRequired) {
    setState(NSGestureRecognizerState::failed);
    return;
  }
  setState(NSGestureRecognizerState::ended);
  KeepAlive keep(*this);
  fire();
  setState(NSGestureRecognizerState::possible);
}
