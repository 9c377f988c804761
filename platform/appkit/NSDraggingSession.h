#pragma once
// A drag this application started: the items it carries on the drag pasteboard, and the
// source that says which operations it allows and hears once how the drag ended.
//
// Headless, a session stays in flight (current()) until something ends it: a test's
// simulator, or a desktop host that carries the drag to other programs. A host installs a
// presenter, which is told of every session that begins; it offers the drag pasteboard's
// types to the desktop, pulls data with dataForType() when the receiving program asks,
// and calls endAtPoint() with the operation the drop performed (none when cancelled).

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSDraggingItem;
class NSDraggingSession;
class NSEvent;
class NSPasteboard;
class NSView;

using NSDragOperation = std::uint64_t;
constexpr NSDragOperation NSDragOperationNone = 0;
constexpr NSDragOperation NSDragOperationCopy = 1;
constexpr NSDragOperation NSDragOperationLink = 2;
constexpr NSDragOperation NSDragOperationGeneric = 4;
constexpr NSDragOperation NSDragOperationPrivate = 8;
constexpr NSDragOperation NSDragOperationMove = 16;
constexpr NSDragOperation NSDragOperationDelete = 32;
constexpr NSDragOperation NSDragOperationEvery = ~NSDragOperation{0};

// The one operation a drop performs out of what a destination offers and the source allows:
// the first of copy, link, generic, private, move, delete that both name.
NSDragOperation NSDragOperationChosen(NSDragOperation offered, NSDragOperation allowed);

enum class NSDraggingContext { outsideApplication = 0, withinApplication = 1 };

class NSDraggingSource {
 public:
  virtual ~NSDraggingSource() = default;
  // draggingSession:sourceOperationMaskForDraggingContext:
  virtual NSDragOperation draggingSession(const std::shared_ptr<NSDraggingSession>& session,
                                          NSDraggingContext sourceOperationMaskForDraggingContext) = 0;
  // draggingSession:endedAtPoint:operation: (screen coordinates)
  virtual void draggingSession(const std::shared_ptr<NSDraggingSession>& /*session*/, NSPoint /*endedAtPoint*/,
                               NSDragOperation /*operation*/) {}
};

class NSDraggingSession : public NSObject {
 public:
  using Presenter = std::function<void(const std::shared_ptr<NSDraggingSession>&)>;

  // NSView's beginDraggingSessionWithItems comes here. Empty when there is nothing to drag,
  // no source, or an item cannot be written. A drag still in flight ends first (with no
  // operation): the pointer carries one drag at a time.
  static std::shared_ptr<NSDraggingSession> begin(const std::vector<std::shared_ptr<NSDraggingItem>>& items,
                                                  const std::shared_ptr<NSEvent>& event,
                                                  const std::shared_ptr<NSDraggingSource>& source,
                                                  const std::shared_ptr<NSView>& view);
  // The drag in flight, if any.
  static std::shared_ptr<NSDraggingSession> current();
  static void setPresenter(Presenter presenter);
  // Forgets the drag in flight and the presenter (between tests).
  static void resetSessions();

  std::shared_ptr<NSPasteboard> draggingPasteboard() const { return pasteboard_; }
  long draggingSequenceNumber() const { return sequenceNumber_; }
  // Where the pointer is, on the screen.
  NSPoint draggingLocation() const { return location_; }
  void setDraggingLocation(NSPoint screenLocation) { location_ = screenLocation; }
  const std::vector<std::shared_ptr<NSDraggingItem>>& draggingItems() const { return items_; }
  std::shared_ptr<NSDraggingSource> source() const { return source_; }
  std::shared_ptr<NSView> sourceView() const { return view_.lock(); }
  // Asks the source which operations it allows there.
  NSDragOperation sourceOperationMask(NSDraggingContext context);

  // The drag is over: the source hears it once; later calls do nothing.
  void endAtPoint(NSPoint screenLocation, NSDragOperation operation);
  bool hasEnded() const { return ended_; }

  // A number for each drag, shared by drags of other programs that reach our windows.
  static long nextSequenceNumber();

  std::string className() const override { return "NSDraggingSession"; }

 private:
  NSDraggingSession() = default;
  std::shared_ptr<NSPasteboard> pasteboard_;
  long sequenceNumber_ = 0;
  NSPoint location_;
  std::vector<std::shared_ptr<NSDraggingItem>> items_;
  std::shared_ptr<NSDraggingSource> source_;
  std::weak_ptr<NSView> view_;
  bool ended_ = false;
};
