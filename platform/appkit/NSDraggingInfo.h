#pragma once
// What a destination view is told about a drag over it: its number, where the pointer is,
// the pasteboard it carries and what the source allows. The drag may be this
// application's own (its session) or another program's, whose data a desktop host put
// on the drag pasteboard.

#include <functional>
#include <memory>

#include "platform/appkit/NSDraggingSession.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSPasteboard;
class NSWindow;

class NSDraggingInfo : public NSObject {
 public:
  long draggingSequenceNumber() const { return sequenceNumber_; }
  // In the destination window's base coordinates.
  NSPoint draggingLocation() const { return location_; }
  std::shared_ptr<NSPasteboard> draggingPasteboard() const { return pasteboard_; }
  NSDragOperation draggingSourceOperationMask() const { return sourceMask_; }
  // The source of a drag of this application; empty for other programs' drags.
  std::shared_ptr<NSDraggingSource> draggingSource() const;
  std::shared_ptr<NSWindow> draggingDestinationWindow() const { return window_.lock(); }

  // For a destination that decides on a drop only after work away from the main thread
  // (checking the files it carries): asked for while it performs the drop (which then
  // answers true), this is the answer it gives later, on the main thread, with whether it
  // took the drop after all. The drop is concluded, and the dragging program told, only
  // then; an answer that is dropped without being given counts as a refusal.
  std::function<void(bool accepted)> answerLater();

  GLIMDECK_OBJECT(NSDraggingInfo)

 private:
  friend class DragDestinationTracker;
  friend class NSView;
  class LaterAnswer;
  NSDraggingInfo() = default;
  std::shared_ptr<LaterAnswer> laterAnswer_;
  long sequenceNumber_ = 0;
  NSPoint location_;
  std::shared_ptr<NSPasteboard> pasteboard_;
  NSDragOperation sourceMask_ = NSDragOperationNone;
  std::weak_ptr<NSDraggingSession> session_;
  std::weak_ptr<NSWindow> window_;
  // What the destination answered on entry, for destinations that do not follow moves.
  NSDragOperation enteredOperation_ = NSDragOperationNone;
};
