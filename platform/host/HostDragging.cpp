#include "platform/host/HostDragging.h"

#include "platform/appkit/DragDestinationTracker.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/HostTransfer.h"
#include "platform/host/HostWindow.h"

namespace {
// How long a destination waits for the other program's data.
constexpr guint kFetchTimeoutMs = 5000;

GdkDragAction desktopActions(NSDragOperation mask) {
  int actions = 0;
  if (mask & (NSDragOperationCopy | NSDragOperationGeneric)) actions |= GDK_ACTION_COPY;
  if (mask & NSDragOperationMove) actions |= GDK_ACTION_MOVE;
  if (mask & NSDragOperationLink) actions |= GDK_ACTION_LINK;
  if (mask & NSDragOperationPrivate) actions |= GDK_ACTION_PRIVATE;
  return static_cast<GdkDragAction>(actions);
}

NSDragOperation kitOperations(int actions) {
  NSDragOperation mask = NSDragOperationNone;
  if (actions & (GDK_ACTION_COPY | GDK_ACTION_DEFAULT)) mask |= NSDragOperationCopy | NSDragOperationGeneric;
  if (actions & GDK_ACTION_MOVE) mask |= NSDragOperationMove;
  if (actions & GDK_ACTION_LINK) mask |= NSDragOperationLink;
  if (actions & GDK_ACTION_PRIVATE) mask |= NSDragOperationPrivate;
  return mask;
}

// The one action the desktop is told for an operation.
GdkDragAction desktopAction(NSDragOperation op) {
  if (op & (NSDragOperationCopy | NSDragOperationGeneric)) return GDK_ACTION_COPY;
  if (op & NSDragOperationMove) return GDK_ACTION_MOVE;
  if (op & NSDragOperationLink) return GDK_ACTION_LINK;
  if (op & NSDragOperationPrivate) return GDK_ACTION_PRIVATE;
  return static_cast<GdkDragAction>(0);
}

NSDragOperation kitOperation(GdkDragAction action) {
  switch (action) {
    case GDK_ACTION_COPY: case GDK_ACTION_DEFAULT: return NSDragOperationCopy;
    case GDK_ACTION_MOVE: return NSDragOperationMove;
    case GDK_ACTION_LINK: return NSDragOperationLink;
    case GDK_ACTION_PRIVATE: return NSDragOperationPrivate;
    default: return NSDragOperationNone;
  }
}

// Promises the types of another program's drag; their data comes when a destination reads.
class DesktopDragProvider : public NSPasteboardItemDataProvider {
 public:
  explicit DesktopDragProvider(std::weak_ptr<HostDragging> dragging) : dragging_(std::move(dragging)) {}
  void pasteboard(const std::shared_ptr<NSPasteboard>&, const std::shared_ptr<NSPasteboardItem>& item,
                  const NSPasteboardType& type) override {
    if (auto dragging = dragging_.lock()) {
      if (auto data = dragging->fetch(type)) item->setData(data, type);
    }
  }

 private:
  std::weak_ptr<HostDragging> dragging_;
};

HostDragging& draggingOf(gpointer window) { return *static_cast<HostWindow*>(window)->host().dragging(); }
}  // namespace

HostDragging::~HostDragging() {
  NSDraggingSession::setPresenter(nullptr);
  if (carrier_) {
    g_signal_handlers_disconnect_by_data(carrier_, this);
    gtk_widget_destroy(carrier_);
    g_object_unref(carrier_);
  }
  if (outgoing_) outgoing_->endAtPoint(outgoing_->draggingLocation(), NSDragOperationNone);
}

void HostDragging::install() {
  std::weak_ptr<HostDragging> weak = weak_from_this();
  NSDraggingSession::setPresenter([weak](const std::shared_ptr<NSDraggingSession>& session) {
    if (auto self = weak.lock()) self->begin(session);
  });
  // The carrier is made once the launch is over (or by the first drag): GTK loads its theme
  // when it realizes its first widget, which a launch should not wait for.
  g_idle_add_full(
      G_PRIORITY_LOW,
      [](gpointer data) -> gboolean {
        if (auto self = static_cast<std::weak_ptr<HostDragging>*>(data)->lock()) self->makeCarrier();
        return G_SOURCE_REMOVE;
      },
      new std::weak_ptr<HostDragging>(weak), [](gpointer data) { delete static_cast<std::weak_ptr<HostDragging>*>(data); });
}

void HostDragging::makeCarrier() {
  if (carrier_) return;
  carrier_ = gtk_invisible_new();
  g_object_ref_sink(carrier_);
  gtk_widget_realize(carrier_);
  g_signal_connect(carrier_, "drag-data-get", G_CALLBACK(onDataGet), this);
  g_signal_connect(carrier_, "drag-failed", G_CALLBACK(onDragFailed), this);
  g_signal_connect(carrier_, "drag-end", G_CALLBACK(onDragEnd), this);
}

void HostDragging::attach(HostWindow& window) {
  GtkWidget* area = window.area();
  // No default behaviour: the destination views decide, as the pointer moves.
  gtk_drag_dest_set(area, static_cast<GtkDestDefaults>(0), nullptr, 0,
                    static_cast<GdkDragAction>(GDK_ACTION_COPY | GDK_ACTION_MOVE | GDK_ACTION_LINK));
  GtkTargetList* accepted = HostTransfer::targetListFor({kUTTypeGIF, kUTTypeFileURL, NSPasteboardTypeString});
  gtk_drag_dest_set_target_list(area, accepted);
  gtk_target_list_unref(accepted);
  g_signal_connect(area, "drag-motion", G_CALLBACK(onMotion), &window);
  g_signal_connect(area, "drag-leave", G_CALLBACK(onLeave), &window);
  g_signal_connect(area, "drag-drop", G_CALLBACK(onDrop), &window);
  g_signal_connect(area, "drag-data-received", G_CALLBACK(onReceived), &window);
}

// ---- our drags ------------------------------------------------------------------------

void HostDragging::begin(const std::shared_ptr<NSDraggingSession>& session) {
  if (outgoing_ && outgoing_ != session) outgoing_->endAtPoint(outgoing_->draggingLocation(), NSDragOperationNone);
  outgoing_ = session;
  outgoingFailed_ = false;
  outgoingDelivered_ = false;
  outgoingTypes_ = session->draggingPasteboard()->types();
  GtkTargetList* targets = HostTransfer::targetListFor(outgoingTypes_);
  auto actions = desktopActions(session->sourceOperationMask(NSDraggingContext::outsideApplication));
  // The event that crossed the view's drag threshold starts the desktop's drag.
  GdkEvent* event = gtk_get_current_event();
  makeCarrier();
  outgoingContext_ = gtk_drag_begin_with_coordinates(carrier_, targets, actions, 1, event, -1, -1);
  if (event) gdk_event_free(event);
  gtk_target_list_unref(targets);
  if (!outgoingContext_) {
    outgoing_.reset();
    session->endAtPoint(session->draggingLocation(), NSDragOperationNone);
    return;
  }
  gtk_drag_set_icon_default(outgoingContext_);
}

void HostDragging::onDataGet(GtkWidget*, GdkDragContext*, GtkSelectionData* selection, guint info, guint,
                             gpointer data) {
  auto& self = *static_cast<HostDragging*>(data);
  if (!self.outgoing_ || info >= self.outgoingTypes_.size()) return;
  HostTransfer::answer(selection, *self.outgoing_->draggingPasteboard(), self.outgoingTypes_[info]);
  if (gtk_selection_data_get_length(selection) >= 0) self.outgoingDelivered_ = true;
}

gboolean HostDragging::onDragFailed(GtkWidget*, GdkDragContext* context, GtkDragResult, gpointer data) {
  auto& self = *static_cast<HostDragging*>(data);
  // On X the context still reads as a success after Escape over a window that accepted the
  // drag (no drop was refused, since none was made), with the action that window last offered.
  if (context == self.outgoingContext_) self.outgoingFailed_ = true;
  // Not handled here: GTK shows the drag icon going back.
  return FALSE;
}

void HostDragging::onDragEnd(GtkWidget*, GdkDragContext* context, gpointer data) {
  auto& self = *static_cast<HostDragging*>(data);
  if (context != self.outgoingContext_ || !self.outgoing_) return;
  auto session = std::exchange(self.outgoing_, nullptr);
  self.outgoingContext_ = nullptr;
  const bool delivered = !self.outgoingFailed_ && self.outgoingDelivered_ && gdk_drag_drop_succeeded(context);
  auto operation = delivered ? kitOperation(gdk_drag_context_get_selected_action(context)) : NSDragOperationNone;
  gint x = 0, y = 0;
  if (GdkDevice* device = gdk_drag_context_get_device(context)) gdk_device_get_position(device, nullptr, &x, &y);
  session->endAtPoint(self.host_.screenPointFromDesktop(x, y), operation);
}

// ---- drags over our windows -----------------------------------------------------------

void HostDragging::startIncoming(GtkWidget* widget, GdkDragContext* context) {
  incoming_ = context;
  incomingWidget_ = widget;
  incomingTargets_.clear();
  for (GList* l = gdk_drag_context_list_targets(context); l; l = l->next) {
    incomingTargets_.push_back(GDK_POINTER_TO_ATOM(l->data));
  }
  if (outgoing_ && gtk_drag_get_source_widget(context)) {
    tracker_ = DragDestinationTracker::forSession(outgoing_);
    return;
  }
  auto pasteboard = NSPasteboard::pasteboardWithName(NSPasteboardNameDrag);
  auto types = HostTransfer::typesFromTargets(incomingTargets_.data(), static_cast<int>(incomingTargets_.size()));
  std::vector<std::shared_ptr<NSPasteboardItem>> items;
  if (!types.empty()) {
    auto item = NSPasteboardItem::make();
    item->setDataProvider(std::make_shared<DesktopDragProvider>(weak_from_this()), types);
    items.push_back(item);
  }
  pasteboard->installForeignContents(items);
  tracker_ = DragDestinationTracker::forOtherApplication(pasteboard, kitOperations(gdk_drag_context_get_actions(context)));
}

// Motion and drop both carry the drag on: a new context (or one whose tracker ended)
// starts afresh, and a pending leave is no leave after all.
void HostDragging::followIncoming(GtkWidget* widget, GdkDragContext* context, guint time) {
  leavePending_ = false;
  if (context != incoming_ || !tracker_) startIncoming(widget, context);
  incomingWidget_ = widget;
  incomingTime_ = time;
}

gboolean HostDragging::onMotion(GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time,
                                gpointer window) {
  auto& hostWindow = *static_cast<HostWindow*>(window);
  auto& self = draggingOf(window);
  auto keep = self.shared_from_this();
  self.followIncoming(widget, context, time);
  auto op = NSDragOperationNone;
  if (auto w = hostWindow.window()) op = self.tracker_->moveTo(w, hostWindow.baseLocation(x, y));
  gdk_drag_status(context, desktopAction(op), time);
  return TRUE;
}

void HostDragging::onLeave(GtkWidget*, GdkDragContext* context, guint, gpointer window) {
  auto& self = draggingOf(window);
  if (context != self.incoming_) return;
  // GTK says "leave" just before "drop" too; only a leave that no drop follows is one.
  self.leavePending_ = true;
  std::weak_ptr<HostDragging> weak = self.weak_from_this();
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, [](gpointer data) -> gboolean {
    std::unique_ptr<std::weak_ptr<HostDragging>> weak(static_cast<std::weak_ptr<HostDragging>*>(data));
    auto self = weak->lock();
    if (self && self->leavePending_ && self->tracker_) {
      self->leavePending_ = false;
      auto tracker = std::exchange(self->tracker_, nullptr);
      self->incoming_ = nullptr;
      tracker->leave();
    }
    return G_SOURCE_REMOVE;
  }, new std::weak_ptr<HostDragging>(weak), nullptr);
}

gboolean HostDragging::onDrop(GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time,
                              gpointer window) {
  auto& hostWindow = *static_cast<HostWindow*>(window);
  auto& self = draggingOf(window);
  auto keep = self.shared_from_this();
  self.followIncoming(widget, context, time);
  auto tracker = self.tracker_;
  // The dragging program hears the outcome once the destination has answered, which a
  // destination checking files away from the main thread does later. Our own drag dropped
  // on our own window counts as delivered when the destination took it: it read the
  // session's pasteboard itself, without asking the desktop for data.
  bool ownDrag = self.outgoing_ && gtk_drag_get_source_widget(context);
  g_object_ref(context);
  auto finish = [context, time, ownDrag, weak = self.weak_from_this()](NSDragOperation op) {
    if (ownDrag && op != NSDragOperationNone) {
      if (auto dragging = weak.lock()) dragging->outgoingDelivered_ = true;
    }
    gtk_drag_finish(context, op != NSDragOperationNone, op == NSDragOperationMove, time);
    g_object_unref(context);
  };
  if (auto w = hostWindow.window()) {
    tracker->moveTo(w, hostWindow.baseLocation(x, y));
    tracker->drop(finish);
  } else {
    finish(NSDragOperationNone);
  }
  self.tracker_.reset();
  self.incoming_ = nullptr;
  return TRUE;
}

void HostDragging::onReceived(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* selection, guint, guint,
                              gpointer window) {
  auto& self = draggingOf(window);
  if (!self.fetching_) return;
  self.fetched_ = HostTransfer::received(selection, self.fetchingType_);
  self.fetching_ = false;
}

std::shared_ptr<NSData> HostDragging::fetch(const NSPasteboardType& type) {
  if (!incoming_ || !incomingWidget_ || fetching_) return nullptr;
  GdkAtom target = HostTransfer::targetForType(type, incomingTargets_.data(), static_cast<int>(incomingTargets_.size()));
  fetching_ = true;
  fetchingType_ = type;
  fetched_.reset();
  bool timedOut = false;
  guint guard = g_timeout_add(kFetchTimeoutMs, [](gpointer flag) -> gboolean {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
  }, &timedOut);
  gtk_drag_get_data(incomingWidget_, incoming_, target, incomingTime_);
  // The other program answers through the desktop; its answer arrives as an event.
  while (fetching_ && !timedOut) g_main_context_iteration(nullptr, TRUE);
  if (!timedOut) g_source_remove(guard);
  fetching_ = false;
  return std::exchange(fetched_, nullptr);
}
