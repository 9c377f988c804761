#include "platform/appkit/NSDraggingSession.h"

#include "platform/appkit/NSDraggingItem.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

namespace {
struct DragState {
  std::shared_ptr<NSDraggingSession> current;
  NSDraggingSession::Presenter presenter;
  long sequence = 0;
};
DragState& dragState() {
  static DragState state;
  return state;
}
}  // namespace

NSDragOperation NSDragOperationChosen(NSDragOperation offered, NSDragOperation allowed) {
  const NSDragOperation both = offered & allowed;
  for (NSDragOperation op : {NSDragOperationCopy, NSDragOperationLink, NSDragOperationGeneric, NSDragOperationPrivate,
                             NSDragOperationMove, NSDragOperationDelete}) {
    if (both & op) return op;
  }
  return NSDragOperationNone;
}

long NSDraggingSession::nextSequenceNumber() { return ++dragState().sequence; }

std::shared_ptr<NSDraggingSession> NSDraggingSession::begin(const std::vector<std::shared_ptr<NSDraggingItem>>& items,
                                                            const std::shared_ptr<NSEvent>& event,
                                                            const std::shared_ptr<NSDraggingSource>& source,
                                                            const std::shared_ptr<NSView>& view) {
  if (items.empty() || !source) return nullptr;
  std::vector<std::shared_ptr<NSObject>> writers;
  for (const auto& item : items) {
    if (!item || !item->item()) return nullptr;
    writers.push_back(item->item());
  }
  if (auto stale = dragState().current) stale->endAtPoint(stale->draggingLocation(), NSDragOperationNone);

  auto pasteboard = NSPasteboard::pasteboardWithName(NSPasteboardNameDrag);
  pasteboard->clearContents();
  if (!pasteboard->writeObjects(writers)) {
    pasteboard->clearContents();
    return nullptr;
  }
  auto session = std::shared_ptr<NSDraggingSession>(new NSDraggingSession());
  session->pasteboard_ = pasteboard;
  session->sequenceNumber_ = nextSequenceNumber();
  session->items_ = items;
  session->source_ = source;
  session->view_ = view;
  if (event) {
    auto window = event->window();
    session->location_ = window ? window->convertPointToScreen(event->locationInWindow()) : event->locationInWindow();
  } else {
    session->location_ = NSEvent::mouseLocation();
  }
  dragState().current = session;
  if (auto presenter = dragState().presenter) presenter(session);
  return session;
}

std::shared_ptr<NSDraggingSession> NSDraggingSession::current() { return dragState().current; }

void NSDraggingSession::setPresenter(Presenter presenter) { dragState().presenter = std::move(presenter); }

void NSDraggingSession::resetSessions() {
  auto& state = dragState();
  state.current.reset();
  state.presenter = nullptr;
}

NSDragOperation NSDraggingSession::sourceOperationMask(NSDraggingContext context) {
  if (!source_ || ended_) return NSDragOperationNone;
  return source_->draggingSession(sharedAs<NSDraggingSession>(), context);
}

void NSDraggingSession::endAtPoint(NSPoint screenLocation, NSDragOperation operation) {
  if (ended_) return;
  ended_ = true;
  location_ = screenLocation;
  auto self = sharedAs<NSDraggingSession>();
  if (dragState().current == self) dragState().current.reset();
  // The source is let go once it has heard the end: it may hold what holds this session.
  auto source = std::move(source_);
  source_.reset();
  if (source) source->draggingSession(self, screenLocation, operation);
}
