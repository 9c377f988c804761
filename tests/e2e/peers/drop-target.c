/* Another program of the desktop for the end-to-end cases: a GTK window that takes GIFs
 * dropped on it over XDND, as an image editor or a chat window would, and writes down what
 * happens to it, one line at a time, in the file it is given:
 *
 *   ready <X window id>     the window is on the screen
 *   motion                  a drag moved over it (once per drag); it offers to copy
 *   leave                   the drag left it, or was given up over it
 *   drop                    the drag was released over it; it asks for the GIF
 *   received <n> <start>    n bytes came, beginning with <start> (up to 6 printable bytes)
 *
 * Usage: drop-target <record file> <x> <y>
 */

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>

static FILE* record;
static gboolean inDrag;

static void note(const char* line) {
  fprintf(record, "%s\n", line);
  fflush(record);
}

static gboolean onMapped(GtkWidget* window, GdkEvent* event, gpointer data) {
  (void)event;
  (void)data;
  char line[64];
  snprintf(line, sizeof line, "ready %lu", (unsigned long)GDK_WINDOW_XID(gtk_widget_get_window(window)));
  note(line);
  return FALSE;
}

static gboolean onMotion(GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time, gpointer data) {
  (void)widget;
  (void)x;
  (void)y;
  (void)data;
  if (!inDrag) note("motion");
  inDrag = TRUE;
  gdk_drag_status(context, GDK_ACTION_COPY, time);
  return TRUE;
}

static void onLeave(GtkWidget* widget, GdkDragContext* context, guint time, gpointer data) {
  (void)widget;
  (void)context;
  (void)time;
  (void)data;
  /* GTK says "leave" just before "drop" too: the drop line follows it then. */
  if (inDrag) note("leave");
  inDrag = FALSE;
}

static gboolean onDrop(GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time, gpointer data) {
  (void)x;
  (void)y;
  (void)data;
  note("drop");
  gtk_drag_get_data(widget, context, gdk_atom_intern_static_string("image/gif"), time);
  return TRUE;
}

static void onReceived(GtkWidget* widget, GdkDragContext* context, gint x, gint y, GtkSelectionData* selection,
                       guint info, guint time, gpointer data) {
  (void)widget;
  (void)x;
  (void)y;
  (void)info;
  (void)data;
  const guchar* bytes = gtk_selection_data_get_data(selection);
  gint length = gtk_selection_data_get_length(selection);
  char start[7] = {0};
  for (gint i = 0; bytes && i < length && i < 6 && bytes[i] > ' ' && bytes[i] < 127; ++i) start[i] = (char)bytes[i];
  char line[64];
  snprintf(line, sizeof line, "received %d %s", length > 0 ? length : 0, start);
  note(line);
  gtk_drag_finish(context, length > 0, FALSE, time);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s <record file> <x> <y>\n", argv[0]);
    return 2;
  }
  record = fopen(argv[1], "a");
  if (!record) {
    perror(argv[1]);
    return 1;
  }
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Drop target");
  gtk_window_set_default_size(GTK_WINDOW(window), 200, 200);
  gtk_window_move(GTK_WINDOW(window), atoi(argv[2]), atoi(argv[3]));
  GtkTargetEntry gif = {(gchar*)"image/gif", 0, 0};
  /* No default behaviour: the program answers each step itself, as the lines say. */
  gtk_drag_dest_set(window, (GtkDestDefaults)0, &gif, 1, GDK_ACTION_COPY);
  g_signal_connect(window, "map-event", G_CALLBACK(onMapped), NULL);
  g_signal_connect(window, "drag-motion", G_CALLBACK(onMotion), NULL);
  g_signal_connect(window, "drag-leave", G_CALLBACK(onLeave), NULL);
  g_signal_connect(window, "drag-drop", G_CALLBACK(onDrop), NULL);
  g_signal_connect(window, "drag-data-received", G_CALLBACK(onReceived), NULL);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  gtk_widget_show_all(window);
  gtk_main();
  fclose(record);
  return 0;
}
