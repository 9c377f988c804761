#pragma once
// Drag and drop between our windows and other programs over the desktop's protocol (XDND
// on X). A drag a view starts becomes a desktop drag offering the drag pasteboard's types,
// produced when the receiving program asks, and ends with the operation it chose: none
// when the drag was given up (Escape, no target, a refusal, a timeout) or the receiver
// never took any of its data, so that only a drop that delivered counts. Other
// programs' drags over our windows go through DragDestinationTracker, with their data
// fetched when a destination reads it.

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/appkit/NSDraggingSession.h"
#include "platform/appkit/NSPasteboard.h"

class DesktopHost;
class HostWindow;
class DragDestinationTracker;

class HostDragging : public std::enable_shared_from_this<HostDragging> {
 public:
  explicit HostDragging(DesktopHost& host) : host_(host) {}
  ~HostDragging();
  HostDragging(const HostDragging&) = delete;
  HostDragging& operator=(const HostDragging&) = delete;

  // Becomes the sessions' presenter.
  void install();
  // A window's drawing area becomes a drop target.
  void attach(HostWindow& window);
  // Reads a type of the drag over our window from the program that started it (the
  // destination asked for it); empty when it sent nothing in time.
  std::shared_ptr<NSData> fetch(const NSPasteboardType& type);

 private:
  void begin(const std::shared_ptr<NSDraggingSession>& session);
  // The invisible widget our drags start from, made when first needed.
  void makeCarrier();
  static void onDataGet(GtkWidget*, GdkDragContext*, GtkSelectionData* selection, guint info, guint, gpointer self);
  static gboolean onDragFailed(GtkWidget*, GdkDragContext* context, GtkDragResult result, gpointer self);
  static void onDragEnd(GtkWidget*, GdkDragContext* context, gpointer self);
  static gboolean onMotion(GtkWidget*, GdkDragContext* context, gint x, gint y, guint time, gpointer window);
  static void onLeave(GtkWidget*, GdkDragContext* context, guint time, gpointer window);
  static gboolean onDrop(GtkWidget*, GdkDragContext* context, gint x, gint y, guint time, gpointer window);
  static void onReceived(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* selection, guint, guint,
                         gpointer window);
  void startIncoming(GtkWidget* widget, GdkDragContext* context);
  void followIncoming(GtkWidget* widget, GdkDragContext* context, guint time);

  DesktopHost& host_;
  // Carries our drags: the view's own window may close as its drag begins (a popover does).
  GtkWidget* carrier_ = nullptr;
  // The drag this application started.
  std::shared_ptr<NSDraggingSession> outgoing_;
  std::vector<NSPasteboardType> outgoingTypes_;
  GdkDragContext* outgoingContext_ = nullptr;
  // What became of it: the desktop gave it up, or the receiver took some of its data.
  bool outgoingFailed_ = false;
  bool outgoingDelivered_ = false;
  // A drag over our windows.
  GdkDragContext* incoming_ = nullptr;
  GtkWidget* incomingWidget_ = nullptr;
  std::vector<GdkAtom> incomingTargets_;
  guint32 incomingTime_ = 0;
  std::shared_ptr<DragDestinationTracker> tracker_;
  bool leavePending_ = false;
  // A fetch waiting for its data.
  bool fetching_ = false;
  NSPasteboardType fetchingType_;
  std::shared_ptr<NSData> fetched_;
};
