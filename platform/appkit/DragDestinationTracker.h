#pragma once
// Carries one drag across the application's windows: finds the destination view under the
// pointer (the deepest one registered for a type the drag pasteboard offers), tells it the
// drag entered, moved, left, and on release asks it to prepare, perform and conclude.
//
// The simulator drives it in tests; a desktop host drives it from the desktop's drag
// protocol (motion, leave, drop), after putting the other program's data on the drag
// pasteboard with installForeignContents. A drag this application started uses its
// session's pasteboard, number and source.

#include <functional>
#include <memory>

#include "platform/appkit/NSDraggingInfo.h"

class NSView;
class NSWindow;

class DragDestinationTracker : public NSObject {
 public:
  // Another program's drag carrying `pasteboard`, allowing the operations in `sourceMask`.
  static std::shared_ptr<DragDestinationTracker> forOtherApplication(std::shared_ptr<NSPasteboard> pasteboard,
                                                                     NSDragOperation sourceMask);
  // A drag of this application's session.
  static std::shared_ptr<DragDestinationTracker> forSession(const std::shared_ptr<NSDraggingSession>& session);

  // The pointer is over the window at a point of its base coordinates. Answers the
  // operation the destination there offers (none without one).
  NSDragOperation moveTo(const std::shared_ptr<NSWindow>& window, NSPoint locationInWindow);
  // The pointer left the application's windows, or the drag was cancelled.
  void leave();
  // The release: the destination under the pointer takes the drop. `concluded` hears the
  // operation performed (none when there was no destination or it refused) once the
  // destination has answered: at once, or later for one that answers later
  // (NSDraggingInfo::answerLater). The tracker is done after.
  void drop(std::function<void(NSDragOperation)> concluded);
  // The same for a caller that cannot wait: a destination that answers later has performed
  // nothing yet (none), and its drop is concluded when it answers.
  NSDragOperation drop();

  std::shared_ptr<NSView> destination() const { return destination_.lock(); }
  const std::shared_ptr<NSDraggingInfo>& info() const { return info_; }

  GLIMDECK_OBJECT(DragDestinationTracker)

 private:
  DragDestinationTracker() = default;
  std::shared_ptr<NSView> destinationAt(const std::shared_ptr<NSWindow>& window, NSPoint locationInWindow) const;
  void conclude(const std::shared_ptr<NSView>& target, bool accepted, const std::function<void(NSDragOperation)>& concluded);

  std::shared_ptr<NSDraggingInfo> info_;
  std::weak_ptr<NSView> destination_;
  NSDragOperation offered_ = NSDragOperationNone;
  bool done_ = false;
};
