#include "platform/appkit/DragDestinationTracker.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

std::shared_ptr<NSDraggingSource> NSDraggingInfo::draggingSource() const {
  auto session = session_.lock();
  return session ? session->source() : nullptr;
}

// The answer a destination gives later: given once; the tracker waits for it when the
// destination performed the drop, and a destination that lets go of it without answering
// refuses.
class NSDraggingInfo::LaterAnswer {
 public:
  void give(bool accepted) {
    if (given_) return;
    given_ = true;
    if (waiting_) {
      auto waiting = std::exchange(waiting_, nullptr);
      waiting(accepted);
    } else {
      early_ = accepted;
    }
  }
  void whenGiven(std::function<void(bool)> waiting) {
    if (early_) {
      waiting(*early_);
      return;
    }
    waiting_ = std::move(waiting);
  }

 private:
  bool given_ = false;
  std::optional<bool> early_;
  std::function<void(bool)> waiting_;
};

std::function<void(bool)> NSDraggingInfo::answerLater() {
  auto answer = std::make_shared<LaterAnswer>();
  laterAnswer_ = answer;
  struct Unanswered {
    explicit Unanswered(std::shared_ptr<LaterAnswer> given) : answer(std::move(given)) {}
    Unanswered(const Unanswered&) = delete;
    Unanswered& operator=(const Unanswered&) = delete;
    ~Unanswered() { answer->give(false); }
    std::shared_ptr<LaterAnswer> answer;
  };
  auto guard = std::make_shared<Unanswered>(answer);
  return [guard](bool accepted) { guard->answer->give(accepted); };
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

void DragDestinationTracker::drop(std::function<void(NSDragOperation)> concluded) {
  if (done_) return concluded(NSDragOperationNone);
  done_ = true;
  auto self = sharedAs<DragDestinationTracker>();
  auto target = destination_.lock();
  if (!target) return concluded(NSDragOperationNone);
  if (offered_ == NSDragOperationNone) {
    target->draggingExited(info_);
    return conclude(target, false, concluded);
  }
  info_->laterAnswer_.reset();
  const bool performed = target->prepareForDragOperation(info_) && target->performDragOperation(info_);
  auto later = std::exchange(info_->laterAnswer_, nullptr);
  if (!performed || !later) return conclude(target, performed, concluded);
  // The tracker and the destination stay until the answer comes.
  later->whenGiven([self, target, concluded](bool accepted) { self->conclude(target, accepted, concluded); });
}

void DragDestinationTracker::conclude(const std::shared_ptr<NSView>& target, bool accepted,
                                      const std::function<void(NSDragOperation)>& concluded) {
  if (accepted) target->concludeDragOperation(info_);
  target->draggingEnded(info_);
  destination_.reset();
  if (concluded) concluded(accepted ? offered_ : NSDragOperationNone);
}

NSDragOperation DragDestinationTracker::drop() {
  // Shared: a destination answering later concludes after this has returned.
  auto performed = std::make_shared<NSDragOperation>(NSDragOperationNone);
  drop([performed](NSDragOperation operation) { *performed = operation; });
  return *performed;
}
