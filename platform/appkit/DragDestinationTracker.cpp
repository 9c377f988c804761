#include "platform/appkit/DragDestinationTracker.h"

#include <algorithm>

#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

std::shared_ptr<NSDraggingSource> NSDraggingInfo::draggingSource() const {
  auto session = session_.lock();
  return session ? session->source() : nullptr;
}

std::shared_ptr<DragDestinationTracker> DragDestinationTracker::forOtherApplication(
    std::shared_ptr<NSPasteboard> pasteboard, NSDragOperation sourceMask) {
  auto tracker = std::shared_ptr<DragDestinationTracker>(new DragDestinationTracker());
  tracker->info_ = std::shared_ptr<NSDraggingInfo>(new NSDraggingInfo());
  tracker->info_->sequenceNumber_ = NSDraggingSession::nextSequenceNumber();
  tracker->info_->pasteboard_ = std::move(pasteboard);
  tracker->info_->sourceMask_ = sourceMask;
  return tracker;
}

std::shared_ptr<DragDestinationTracker> DragDestinationTracker::forSession(
    const std::shared_ptr<NSDraggingSession>& session) {
  if (!session) return nullptr;
  auto tracker = forOtherApplication(session->draggingPasteboard(),
                                     session->sourceOperationMask(NSDraggingContext::withinApplication));
  tracker->info_->sequenceNumber_ = session->draggingSequenceNumber();
  tracker->info_->session_ = session;
  return tracker;
}

std::shared_ptr<NSView> DragDestinationTracker::destinationAt(const std::shared_ptr<NSWindow>& window,
                                                              NSPoint locationInWindow) const {
  auto top = window ? window->contentView() : nullptr;
  if (!top || !info_->pasteboard_) return nullptr;
  auto offered = info_->pasteboard_->types();
  for (auto view = top->hitTest(locationInWindow); view; view = view->superview()) {
    const auto& wanted = view->registeredDraggedTypes();
    bool matches = std::any_of(wanted.begin(), wanted.end(), [&](const std::string& type) {
      return std::find(offered.begin(), offered.end(), type) != offered.end();
    });
    if (matches) return view;
  }
  return nullptr;
}

NSDragOperation DragDestinationTracker::moveTo(const std::shared_ptr<NSWindow>& window, NSPoint locationInWindow) {
  if (done_) return NSDragOperationNone;
  auto self = sharedAs<DragDestinationTracker>();
  info_->location_ = locationInWindow;
  info_->window_ = window;
  auto target = destinationAt(window, locationInWindow);
  auto current = destination_.lock();
  if (current && current != target) {
    current->draggingExited(info_);
    destination_.reset();
    offered_ = NSDragOperationNone;
  }
  if (!target) return NSDragOperationNone;
  NSDragOperation answer;
  if (current == target) {
    answer = target->draggingUpdated(info_);
  } else {
    destination_ = target;
    answer = target->draggingEntered(info_);
    info_->enteredOperation_ = answer;
  }
  offered_ = NSDragOperationChosen(answer, info_->sourceMask_);
  return offered_;
}

void DragDestinationTracker::leave() {
  if (done_) return;
  if (auto current = destination_.lock()) current->draggingExited(info_);
  destination_.reset();
  offered_ = NSDragOperationNone;
}

NSDragOperation DragDestinationTracker::drop() {
  if (done_) return NSDragOperationNone;
  done_ = true;
  auto self = sharedAs<DragDestinationTracker>();
  auto target = destination_.lock();
  if (!target) return NSDragOperationNone;
  NSDragOperation performed = NSDragOperationNone;
  if (offered_ == NSDragOperationNone) {
    target->draggingExited(info_);
  } else if (target->prepareForDragOperation(info_) && target->performDragOperation(info_)) {
    performed = offered_;
    target->concludeDragOperation(info_);
  }
  target->draggingEnded(info_);
  destination_.reset();
  return performed;
}
