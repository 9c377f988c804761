/* Another program of the desktop, from which a person drags files, as from a file manager:
 * the end-to-end cases drag from its window with xdotool. It shows a window at the place
 * given, offers the files named on its command line as a URI list to whatever the drag is
 * dropped on, prints how the drag ended and then ends.
 *
 *   drag-source X Y FILE...
 *
 * Prints "ready <X window id>" once its window shows, "drag began" and "target offers to
 * take it" as the drag goes, then "drag ended: taken" when the program it was dropped on
 * took the drop, or "drag ended: refused" when it refused it (or the drag was cancelled).
 */
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>

static gchar** uris = NULL;

static void on_data_get(GtkWidget* widget, GdkDragContext* context, GtkSelectionData* data, guint info, guint time,
                        gpointer user) {
  (void)widget, (void)context, (void)info, (void)time, (void)user;
  gtk_selection_data_set_uris(data, uris);
}

/* While the drag lasts: says once that the window under the pointer offers to take it, so
 * that the hand lets go only over a target that answered. */
static GdkDragContext* dragging = NULL;
static gboolean offered = FALSE;

static gboolean watch_target(gpointer user) {
  (void)user;
  if (!dragging) return G_SOURCE_REMOVE;
  if (!offered && gdk_drag_context_get_selected_action(dragging) != 0) {
    offered = TRUE;
    printf("target offers to take it\n");
    fflush(stdout);
  }
  return G_SOURCE_CONTINUE;
}

static void on_drag_begin(GtkWidget* widget, GdkDragContext* context, gpointer user) {
  (void)widget, (void)user;
  dragging = context;
  printf("drag began\n");
  fflush(stdout);
  g_timeout_add(20, watch_target, NULL);
}

static void on_drag_end(GtkWidget* widget, GdkDragContext* context, gpointer user) {
  (void)widget, (void)user;
  dragging = NULL;
  /* After the drop, the receiving program's answer (XdndFinished) says whether it took it. */
  printf("drag ended: %s\n", gdk_drag_drop_succeeded(context) ? "taken" : "refused");
  fflush(stdout);
  gtk_main_quit();
}

static gboolean on_drag_failed(GtkWidget* widget, GdkDragContext* context, GtkDragResult result, gpointer user) {
  (void)widget, (void)context, (void)user;
  printf("drag failed: %d\n", (int)result);
  fflush(stdout);
  return FALSE;
}

static void on_map(GtkWidget* widget, gpointer user) {
  (void)user;
  printf("ready %lu\n", (unsigned long)GDK_WINDOW_XID(gtk_widget_get_window(widget)));
  fflush(stdout);
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s X Y FILE...\n", argv[0]);
    return 2;
  }
  gtk_init(&argc, &argv);
  uris = g_new0(gchar*, (gsize)argc - 2);
  for (int i = 3; i < argc; ++i) {
    GFile* file = g_file_new_for_commandline_arg(argv[i]);
    uris[i - 3] = g_file_get_uri(file);
    g_object_unref(file);
  }

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "drag source");
  gtk_window_set_default_size(GTK_WINDOW(window), 160, 160);
  gtk_window_move(GTK_WINDOW(window), atoi(argv[1]), atoi(argv[2]));
  /* The whole window is the thing dragged. */
  GtkWidget* area = gtk_event_box_new();
  gtk_container_add(GTK_CONTAINER(window), area);
  GtkTargetEntry list = {(gchar*)"text/uri-list", 0, 0};
  gtk_drag_source_set(area, GDK_BUTTON1_MASK, &list, 1, GDK_ACTION_COPY);
  g_signal_connect(area, "drag-begin", G_CALLBACK(on_drag_begin), NULL);
  g_signal_connect(area, "drag-data-get", G_CALLBACK(on_data_get), NULL);
  g_signal_connect(area, "drag-end", G_CALLBACK(on_drag_end), NULL);
  g_signal_connect(area, "drag-failed", G_CALLBACK(on_drag_failed), NULL);
  g_signal_connect(window, "map", G_CALLBACK(on_map), NULL);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  gtk_widget_show_all(window);
  gtk_main();
  g_strfreev(uris);
  return 0;
}
