// Drags across the desktop (XDND on Xvfb), pressed and moved with xdotool: a GIF dragged
// out of our window lands in a GTK window of another kind, and a GTK window's GIF dropped
// on our view reaches performDragOperation. Each release waits until the target has
// answered the drag's motion, as a person's hand would.

#include <gtest/gtest.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cmath>

#include "platform/appkit/NSDraggingInfo.h"
#include "platform/appkit/NSDraggingItem.h"
#include "platform/appkit/NSDraggingSession.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/host/DesktopHost.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

const std::string kGifBytes = std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13) + std::string(3000, '\xA5');

std::vector<std::uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

// Starts a drag of one lazily provided GIF once the pointer has moved a few points.
class GifDragSource : public NSView, public NSDraggingSource, public NSPasteboardItemDataProvider {
 public:
  static std::shared_ptr<GifDragSource> make(NSRect frame) {
    return finishInit(std::shared_ptr<GifDragSource>(new GifDragSource(frame)));
  }
  std::vector<NSDragOperation> ended;
  int gifsMade = 0;
  // As the application's popover does: its window closes as the drag begins.
  bool closesWindow = false;
  // The presses and releases it heard, and the keys by their codes ("keyUp 53").
  std::vector<std::string> heard;

  bool acceptsFirstResponder() const override { return true; }
  void keyDown(const std::shared_ptr<NSEvent>& e) override { heard.push_back("keyDown " + code(e)); }
  void keyUp(const std::shared_ptr<NSEvent>& e) override { heard.push_back("keyUp " + code(e)); }
  void mouseUp(const std::shared_ptr<NSEvent>&) override { heard.push_back("mouseUp"); }
  void mouseDown(const std::shared_ptr<NSEvent>& event) override {
    heard.push_back("mouseDown");
    downAt_ = event->locationInWindow();
  }
  void mouseDragged(const std::shared_ptr<NSEvent>& event) override {
    NSPoint p = event->locationInWindow();
    if (NSDraggingSession::current() || std::hypot(p.x - downAt_.x, p.y - downAt_.y) < 4) return;
    auto item = NSPasteboardItem::make();
    auto self = sharedAs<GifDragSource>();
    item->setDataProvider(self, {kUTTypeGIF, kUTTypeFileURL});
    auto dragging = NSDraggingItem::initWithPasteboardWriter(item);
    dragging->setDraggingFrame(bounds(), nullptr);
    if (closesWindow) window()->orderOut(nullptr);
    beginDraggingSessionWithItems({dragging}, event, self);
  }
  NSDragOperation draggingSession(const std::shared_ptr<NSDraggingSession>&, NSDraggingContext) override {
    return NSDragOperationCopy;
  }
  void draggingSession(const std::shared_ptr<NSDraggingSession>&, NSPoint, NSDragOperation operation) override {
    ended.push_back(operation);
  }
  void pasteboard(const std::shared_ptr<NSPasteboard>&, const std::shared_ptr<NSPasteboardItem>& item,
                  const NSPasteboardType& type) override {
    if (type == kUTTypeGIF) {
      ++gifsMade;
      item->setData(NSData::make(bytesOf(kGifBytes)), type);
    }
    if (type == kUTTypeFileURL) item->setString("file:///tmp/drag.gif\r\n", type);
  }

 private:
  using NSView::NSView;
  static std::string code(const std::shared_ptr<NSEvent>& key) { return std::to_string(key->keyCode()); }
  NSPoint downAt_;
};

// Takes GIF data, as the upload screen does.
class GifDropView : public NSView {
 public:
  static std::shared_ptr<GifDropView> make(NSRect frame) {
    auto view = finishInit(std::shared_ptr<GifDropView>(new GifDropView(frame)));
    view->registerForDraggedTypes({kUTTypeGIF, NSFilenamesPboardType});
    return view;
  }
  int entered = 0;
  std::vector<std::uint8_t> dropped;
  NSDragOperation draggingEntered(const std::shared_ptr<NSDraggingInfo>&) override {
    ++entered;
    return NSDragOperationCopy;
  }
  bool performDragOperation(const std::shared_ptr<NSDraggingInfo>& info) override {
    auto gif = info->draggingPasteboard()->dataForType(kUTTypeGIF);
    if (gif) dropped = gif->bytes();
    return gif != nullptr;
  }

 private:
  using NSView::NSView;
};

// A plain GTK window of the test, standing for another program's window.
struct GtkPeer {
  GtkWidget* window = nullptr;
  bool motion = false;
  std::vector<std::uint8_t> received;
  bool dragEnded = false;

  explicit GtkPeer(int x, int y) {
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 160, 160);
    gtk_window_move(GTK_WINDOW(window), x, y);
  }
  ~GtkPeer() { gtk_widget_destroy(window); }

  // What the window does with a drop it has accepted while the pointer moved over it.
  enum class OnDrop { read, refuse, finishUnread };
  OnDrop onDrop = OnDrop::read;

  void acceptGifs() {
    GtkTargetEntry gif{const_cast<gchar*>("image/gif"), 0, 0};
    gtk_drag_dest_set(window, static_cast<GtkDestDefaults>(0), &gif, 1, GDK_ACTION_COPY);
    g_signal_connect(window, "drag-motion", G_CALLBACK(+[](GtkWidget*, GdkDragContext* c, gint, gint, guint t, gpointer p) -> gboolean {
      static_cast<GtkPeer*>(p)->motion = true;
      gdk_drag_status(c, GDK_ACTION_COPY, t);
      return TRUE;
    }), this);
    g_signal_connect(window, "drag-drop", G_CALLBACK(+[](GtkWidget* w, GdkDragContext* c, gint, gint, guint t, gpointer p) -> gboolean {
      switch (static_cast<GtkPeer*>(p)->onDrop) {
        case OnDrop::read: gtk_drag_get_data(w, c, gdk_atom_intern("image/gif", FALSE), t); break;
        case OnDrop::refuse: gtk_drag_finish(c, FALSE, FALSE, t); break;
        case OnDrop::finishUnread: gtk_drag_finish(c, TRUE, FALSE, t); break;
      }
      return TRUE;
    }), this);
    g_signal_connect(window, "drag-data-received", G_CALLBACK(+[](GtkWidget*, GdkDragContext* c, gint, gint, GtkSelectionData* s, guint, guint t, gpointer p) {
      auto* self = static_cast<GtkPeer*>(p);
      const guchar* data = gtk_selection_data_get_data(s);
      gint length = gtk_selection_data_get_length(s);
      if (data && length > 0) self->received.assign(data, data + length);
      gtk_drag_finish(c, length > 0, FALSE, t);
    }), this);
  }

  void offerGif() {
    GtkTargetEntry gif{const_cast<gchar*>("image/gif"), 0, 0};
    gtk_widget_add_events(window, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_MOTION_MASK);
    gtk_drag_source_set(window, GDK_BUTTON1_MASK, &gif, 1, GDK_ACTION_COPY);
    g_signal_connect(window, "drag-data-get", G_CALLBACK(+[](GtkWidget*, GdkDragContext*, GtkSelectionData* s, guint, guint, gpointer) {
      gtk_selection_data_set(s, gtk_selection_data_get_target(s), 8, reinterpret_cast<const guchar*>(kGifBytes.data()),
                             static_cast<gint>(kGifBytes.size()));
    }), this);
    g_signal_connect(window, "drag-end", G_CALLBACK(+[](GtkWidget*, GdkDragContext*, gpointer p) {
      static_cast<GtkPeer*>(p)->dragEnded = true;
    }), this);
  }

  std::string id() const { return std::to_string(GDK_WINDOW_XID(gtk_widget_get_window(window))); }
};

class HostDragTest : public HostTest {
 protected:
  // Shows the peer and waits until the X server has it on screen.
  void showPeer(GtkPeer& peer) {
    gtk_widget_show_all(peer.window);
    ASSERT_TRUE(runUntil([&] { return gtk_widget_get_mapped(peer.window) != 0; }));
    host->sync();
  }
  // Moves the held pointer in small steps over the target until it has answered.
  bool nudgeUntil(const std::function<bool()>& answered) {
    for (int i = 0; i < 40 && !answered(); ++i) {
      run({"xdotool", "mousemove_relative", "--", i % 2 ? "-2" : "2", "1"});
      runUntil(answered, 0.1);
    }
    return answered();
  }
};

TEST_F(HostDragTest, AGifDraggedOutOfOurWindowLandsInAnotherProgramsWindow) {
  GtkPeer target(500, 200);
  target.acceptGifs();
  showPeer(target);
  for (bool closes : {false, true}) {
    SCOPED_TRACE(closes ? "the window closes as the drag begins" : "the window stays");
    auto window = NSWindow::initWithContentRect(NSMakeRect(50, 500, 200, 200), NSWindowStyleMaskTitled);
    auto source = GifDragSource::make(NSMakeRect(20, 20, 160, 160));
    source->closesWindow = closes;
    window->contentView()->addSubview(source);
    showAndWait(window);
    target.motion = false;
    target.received.clear();

    ASSERT_TRUE(movePointerTo(windowId(window), 100, 100));
    run({"xdotool", "mousedown", "1"});
    ASSERT_TRUE(movePointerBy(12, 12));
    ASSERT_TRUE(runUntil([] { return NSDraggingSession::current() != nullptr; })) << "the view's threshold starts it";
    EXPECT_EQ(window->isVisible(), !closes);
    run({"xdotool", "mousemove", "--window", target.id(), "80", "80"});
    ASSERT_TRUE(nudgeUntil([&] { return target.motion; })) << "the target hears the drag";
    run({"xdotool", "mouseup", "1"});
    ASSERT_TRUE(runUntil([&] { return !source->ended.empty(); }));
    EXPECT_EQ(source->ended, std::vector<NSDragOperation>{NSDragOperationCopy});
    EXPECT_EQ(target.received, bytesOf(kGifBytes));
    EXPECT_EQ(source->gifsMade, 1);
    EXPECT_EQ(NSDraggingSession::current(), nullptr);
    window->orderOut(nullptr);
  }
}

// Only a drop that delivered the GIF is one: a drag given up with Escape over a window that
// would take it, a drop the window refuses and one it takes without reading anything all end
// with no operation, so the application counts no share and brings its panel back.
TEST_F(HostDragTest, ADragThatDeliveredNothingEndsWithNoOperation) {
  GtkPeer target(500, 200);
  target.acceptGifs();
  showPeer(target);
  struct Case {
    const char* name;
    GtkPeer::OnDrop onDrop;
    bool escape;
  };
  const Case cases[] = {
      {"Escape before the release", GtkPeer::OnDrop::read, true},
      {"the window refuses the drop", GtkPeer::OnDrop::refuse, false},
      {"the window takes the drop unread", GtkPeer::OnDrop::finishUnread, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto window = NSWindow::initWithContentRect(NSMakeRect(50, 500, 200, 200), NSWindowStyleMaskTitled);
    auto source = GifDragSource::make(NSMakeRect(20, 20, 160, 160));
    window->contentView()->addSubview(source);
    showAndWait(window);
    target.motion = false;
    target.received.clear();
    target.onDrop = c.onDrop;

    ASSERT_TRUE(movePointerTo(windowId(window), 100, 100));
    run({"xdotool", "mousedown", "1"});
    ASSERT_TRUE(movePointerBy(12, 12));
    ASSERT_TRUE(runUntil([] { return NSDraggingSession::current() != nullptr; }));
    run({"xdotool", "mousemove", "--window", target.id(), "80", "80"});
    ASSERT_TRUE(nudgeUntil([&] { return target.motion; })) << "the target hears the drag and would take it";
    if (c.escape) {
      run({"xdotool", "key", "Escape"});
      ASSERT_TRUE(runUntil([&] { return !source->ended.empty(); })) << "Escape ends the drag at once";
    }
    run({"xdotool", "mouseup", "1"});
    ASSERT_TRUE(runUntil([&] { return !source->ended.empty(); }));
    EXPECT_EQ(source->ended, std::vector<NSDragOperation>{NSDragOperationNone});
    EXPECT_TRUE(target.received.empty());
    EXPECT_EQ(source->gifsMade, 0) << "nobody asked for the GIF";
    EXPECT_EQ(NSDraggingSession::current(), nullptr);
    window->orderOut(nullptr);
  }
}

// Escape gives up a drag out of a window that closed as it began; the window shows again,
// takes the keys, and only then are Escape and the button let go, the pointer moving between:
// neither release nor the move belongs to the window, which saw neither press. A click and a
// key pressed there afterwards are its own.
TEST_F(HostDragTest, ReleasesOfADragGivenUpWithEscapeDoNotReachTheWindowShownAgain) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(50, 500, 200, 200), NSWindowStyleMaskTitled);
  auto source = GifDragSource::make(NSMakeRect(20, 20, 160, 160));
  source->closesWindow = true;
  window->contentView()->addSubview(source);
  showAndWait(window);
  ASSERT_TRUE(movePointerTo(windowId(window), 100, 100));
  run({"xdotool", "mousedown", "1"});
  ASSERT_TRUE(movePointerBy(12, 12));
  ASSERT_TRUE(runUntil([] { return NSDraggingSession::current() != nullptr; }));
  ASSERT_FALSE(window->isVisible());
  run({"xdotool", "keydown", "Escape"});
  ASSERT_TRUE(runUntil([&] { return !source->ended.empty(); })) << "Escape ends the drag at once";
  EXPECT_EQ(source->ended, std::vector<NSDragOperation>{NSDragOperationNone});

  showAndWait(window);
  window->makeFirstResponder(source);
  ASSERT_TRUE(runUntil([&] { return run({"xdotool", "getwindowfocus"}).output == windowId(window) + "\n"; }))
      << "the window shown again has the keys";
  source->heard.clear();
  run({"xdotool", "keyup", "Escape"});
  ASSERT_TRUE(movePointerBy(-20, -20));
  run({"xdotool", "mouseup", "1"});
  clickAt(window, NSMakePoint(60, 60));
  run({"xdotool", "key", "a"});
  ASSERT_TRUE(runUntil([&] { return !source->heard.empty() && source->heard.back() == "keyUp 0"; }))
      << ::testing::PrintToString(source->heard) << (NSDraggingSession::current() ? ", and a drag began" : "");
  // The A key's code is 0.
  EXPECT_EQ(source->heard, (std::vector<std::string>{"mouseDown", "mouseUp", "keyDown 0", "keyUp 0"}));
  EXPECT_EQ(NSDraggingSession::current(), nullptr) << "the move with the button held began no drag";
  window->orderOut(nullptr);
}

// Keys still held when the focus leaves the window are forgotten there: a key pressed in the
// window, let go in another program's window, pressed there again and let go once the window
// has the focus back, is not let go in the window, which heard its first press only. Keys
// pressed in the window afterwards are its own.
TEST_F(HostDragTest, AKeyHeldAsTheFocusLeftIsNotLetGoInTheWindowOnItsReturn) {
  // Held through the focus's moves, however slow, a key must not repeat where the focus went.
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  XAutoRepeatOff(display);
  XSync(display, False);
  struct RepeatAgain {
    Display* display;
    ~RepeatAgain() {
      XAutoRepeatOn(display);
      XSync(display, False);
    }
  } repeatAgain{display};

  auto window = NSWindow::initWithContentRect(NSMakeRect(50, 500, 200, 200), NSWindowStyleMaskTitled);
  auto listener = GifDragSource::make(NSMakeRect(20, 20, 160, 160));
  window->contentView()->addSubview(listener);
  showAndWait(window);
  window->makeFirstResponder(listener);
  GtkPeer other(500, 200);
  showPeer(other);
  auto focusOnWindow = [&] {
    run({"xdotool", "windowfocus", "--sync", windowId(window)});
    return runUntil([&] { return host->anyWindowHasFocus(); });
  };
  ASSERT_TRUE(focusOnWindow());
  run({"xdotool", "keydown", "a"});
  ASSERT_TRUE(runUntil([&] { return !listener->heard.empty(); }));
  run({"xdotool", "windowfocus", "--sync", other.id()});
  ASSERT_TRUE(runUntil([&] { return gtk_window_has_toplevel_focus(GTK_WINDOW(other.window)) != 0; }));
  run({"xdotool", "keyup", "a"});
  run({"xdotool", "keydown", "a"});
  ASSERT_TRUE(focusOnWindow());
  run({"xdotool", "keyup", "a"});
  run({"xdotool", "key", "b"});
  ASSERT_TRUE(runUntil([&] { return listener->heard.back() == "keyUp 11"; }))
      << ::testing::PrintToString(listener->heard);
  // The A key's code is 0, the B key's 11.
  EXPECT_EQ(listener->heard, (std::vector<std::string>{"keyDown 0", "keyDown 11", "keyUp 11"}));
  window->orderOut(nullptr);
}

TEST_F(HostDragTest, AnotherProgramsGifDroppedOnOurViewReachesPerformDragOperation) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(600, 300, 200, 200), NSWindowStyleMaskTitled);
  auto drop = GifDropView::make(NSMakeRect(0, 0, 200, 200));
  window->contentView()->addSubview(drop);
  showAndWait(window);
  GtkPeer source(60, 60);
  source.offerGif();
  showPeer(source);

  ASSERT_TRUE(movePointerTo(source.id(), 80, 80));
  run({"xdotool", "mousedown", "1"});
  ASSERT_TRUE(movePointerBy(20, 20));
  run({"xdotool", "mousemove", "--window", windowId(window), "100", "100"});
  ASSERT_TRUE(nudgeUntil([&] { return drop->entered > 0; })) << "our view hears the drag enter";
  run({"xdotool", "mouseup", "1"});
  ASSERT_TRUE(runUntil([&] { return !drop->dropped.empty() && source.dragEnded; }));
  EXPECT_EQ(drop->dropped, bytesOf(kGifBytes));
}

}  // namespace

namespace {

class HostOtherProgramTest : public HostDragTest {};

TEST_F(HostOtherProgramTest, ClicksInOtherProgramsReachOnlyTheGlobalMonitors) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(600, 300, 120, 80), NSWindowStyleMaskTitled);
  showAndWait(window);
  GtkPeer other(60, 60);
  showPeer(other);
  std::vector<std::shared_ptr<NSEvent>> global;
  int local = 0;
  auto watching = NSEvent::addGlobalMonitorForEventsMatchingMask(
      NSEventMaskLeftMouseDown | NSEventMaskRightMouseDown, [&](const std::shared_ptr<NSEvent>& e) { global.push_back(e); });
  auto ours = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskLeftMouseDown, [&](const std::shared_ptr<NSEvent>& e) {
    ++local;
    return e;
  });

  ASSERT_TRUE(movePointerTo(other.id(), 20, 30));
  run({"xdotool", "click", "3"});
  ASSERT_TRUE(runUntil([&] { return !global.empty(); })) << "the other program's click is seen";
  EXPECT_EQ(global[0]->type(), NSEventType::rightMouseDown);
  // The desktop point (80, 90) on a 1024-pixel-high screen.
  EXPECT_EQ(global[0]->locationInWindow(), NSMakePoint(80, 1024 - 90));

  clickAt(window, {60, 40});
  ASSERT_TRUE(runUntil([&] { return local == 1; }));
  runUntil([&] { return global.size() > 1; }, 0.2);
  EXPECT_EQ(global.size(), 1u) << "our own click is no other program's";
  NSEvent::removeMonitor(watching);
  NSEvent::removeMonitor(ours);
}

}  // namespace
