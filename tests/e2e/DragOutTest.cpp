// A GIF dragged out of the panel lands in another program's window: here a GTK window of
// the test's own that takes GIF data over XDND, as an image editor or a chat window would.
// The panel closes as the drag begins and, the GIF delivered, stays closed.

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

// Another program's window that accepts GIFs dropped on it.
class GifDropWindow {
 public:
  GifDropWindow(int x, int y) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), "drop here");
    gtk_window_set_default_size(GTK_WINDOW(window_), 200, 200);
    gtk_window_move(GTK_WINDOW(window_), x, y);
    GtkTargetEntry gif{const_cast<gchar*>("image/gif"), 0, 0};
    gtk_drag_dest_set(window_, static_cast<GtkDestDefaults>(0), &gif, 1, GDK_ACTION_COPY);
    g_signal_connect(window_, "drag-motion", G_CALLBACK(onMotion), this);
    g_signal_connect(window_, "drag-drop", G_CALLBACK(onDrop), this);
    g_signal_connect(window_, "drag-data-received", G_CALLBACK(onData), this);
    gtk_widget_show_all(window_);
  }
  ~GifDropWindow() { gtk_widget_destroy(window_); }
  GifDropWindow(const GifDropWindow&) = delete;
  GifDropWindow& operator=(const GifDropWindow&) = delete;

  bool mapped() const { return gtk_widget_get_mapped(window_) != 0; }
  std::string id() const { return std::to_string(GDK_WINDOW_XID(gtk_widget_get_window(window_))); }
  bool heardMotion = false;
  std::string received;

 private:
  static gboolean onMotion(GtkWidget*, GdkDragContext* context, gint, gint, guint time, gpointer self) {
    static_cast<GifDropWindow*>(self)->heardMotion = true;
    gdk_drag_status(context, GDK_ACTION_COPY, time);
    return TRUE;
  }
  static gboolean onDrop(GtkWidget* widget, GdkDragContext* context, gint, gint, guint time, gpointer) {
    gtk_drag_get_data(widget, context, gdk_atom_intern("image/gif", FALSE), time);
    return TRUE;
  }
  static void onData(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* data, guint, guint time,
                     gpointer self) {
    const guchar* bytes = gtk_selection_data_get_data(data);
    gint length = gtk_selection_data_get_length(data);
    if (bytes && length > 0) static_cast<GifDropWindow*>(self)->received.assign(bytes, bytes + length);
    gtk_drag_finish(context, length > 0, FALSE, time);
  }
  GtkWidget* window_ = nullptr;
};

class DragOutTest : public DesktopUserTest {
 protected:
  void SetUp() override {
    DesktopUserTest::SetUp();
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "the drop window needs the X server";
  }
};

TEST_F(DragOutTest, AGifDraggedOutOfThePanelLandsInAnotherProgramsWindow) {
  GifDropWindow target(100, 100);
  ASSERT_TRUE(eventually([&] { return target.mapped(); }));
  ASSERT_NO_FATAL_FAILURE(launchHome());
  ASSERT_NO_FATAL_FAILURE(dragFromPanelOver(P::firstTrendingGif, target.id(), [&] { return target.heardMotion; }));
  run({"xdotool", "mouseup", "1"});
  ASSERT_TRUE(eventually([&] { return !target.received.empty(); })) << "the GIF arrives";
  EXPECT_TRUE(target.received.starts_with("GIF8")) << target.received.substr(0, 16);
  EXPECT_TRUE(eventually([&] { return standinReceived("/quorb.registerevent/share"); }))
      << "the share is reported; the service received " << receivedPaths();
  // The GIF went to the other program, where the user now is: the panel stays closed until
  // asked for again.
  EXPECT_FALSE(panelShown());
  pressKeys("shift+ctrl+g");
  ASSERT_TRUE(eventually([&] { return panelShown(); }));
  expectScreenMatchesRepaint("shown again after the drag");
}

}  // namespace
