/* glimdeck-plain-grid: the plain GTK 3 program that scripts/side-by-side.sh measures the
 * application against. It shows GIF files in GtkImage tiles placed in a window, each frame
 * scaled to its tile (filling it, the middle kept, as the application's tiles fill theirs)
 * at the window's scale and shown for its own delay by a timeout. Nothing else: no cache of
 * its own, no network, no text; what any program showing these GIFs must do.
 *
 * By default each GIF is decoded once and its frames kept scaled to the tile (a frame change
 * shows a kept frame); with --each-frame the animation's iterator is advanced and the frame
 * it gives is scaled anew at each change, which keeps less and spends more; with --gtk-image
 * GtkImage plays the animation itself at the GIF's own size, centred in its tile and cut to
 * it, as the least a GTK program can be written (no scaling at all).
 *
 *   glimdeck-plain-grid [--each-frame | --gtk-image] WIDTH HEIGHT FILE X Y W H [FILE X Y W H ...]
 *
 * Sizes and places are in points from the window's top left; a tile that reaches past the
 * window shows its visible part. */

#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  GtkWidget *image;
  GdkPixbufAnimation *animation;
  GdkPixbufAnimationIter *iter;
  /* The tile's whole extent and the part of it inside the window, in points. */
  int width, height, visibleWidth, visibleHeight;
  guint timer;
  /* Kept frames (unless --each-frame): surfaces at the tile's pixel size and their delays. */
  GPtrArray *frames;
  GArray *delays;
  guint shown;
} Tile;

static gboolean eachFrame = FALSE, gtkImage = FALSE;

static gboolean advance(gpointer data);

/* The iterator's frame scaled into the tile's visible part, or none. */
static cairo_surface_t *scaled_surface(Tile *tile) {
  GdkPixbuf *frame = gdk_pixbuf_animation_iter_get_pixbuf(tile->iter);
  int scale = gtk_widget_get_scale_factor(tile->image);
  int tileW = tile->width * scale, tileH = tile->height * scale;
  int frameW = gdk_pixbuf_get_width(frame), frameH = gdk_pixbuf_get_height(frame);
  if (frameW <= 0 || frameH <= 0 || tileW <= 0 || tileH <= 0) return NULL;
  /* Filled: scaled by the larger of the two ratios, the overflow cut evenly off both sides. */
  double ratio = MAX((double)tileW / frameW, (double)tileH / frameH);
  int scaledW = MAX(tileW, (int)(frameW * ratio + 0.5)), scaledH = MAX(tileH, (int)(frameH * ratio + 0.5));
  GdkPixbuf *shown = gdk_pixbuf_new(GDK_COLORSPACE_RGB, gdk_pixbuf_get_has_alpha(frame), 8, tile->visibleWidth * scale,
                                    tile->visibleHeight * scale);
  gdk_pixbuf_scale(frame, shown, 0, 0, tile->visibleWidth * scale, tile->visibleHeight * scale,
                   -(scaledW - tileW) / 2.0, -(scaledH - tileH) / 2.0, (double)scaledW / frameW,
                   (double)scaledH / frameH, GDK_INTERP_BILINEAR);
  cairo_surface_t *surface = gdk_cairo_surface_create_from_pixbuf(shown, scale, gtk_widget_get_window(tile->image));
  g_object_unref(shown);
  return surface;
}

static void show_surface(Tile *tile, cairo_surface_t *surface) {
  if (surface) gtk_image_set_from_surface(GTK_IMAGE(tile->image), surface);
}

static void schedule(Tile *tile, int delay) {
  /* Browsers and gdk-pixbuf alike hold a frame at least 20 ms. */
  tile->timer = delay < 0 ? 0 : g_timeout_add(MAX(delay, 20), advance, tile);
}

static gboolean advance(gpointer data) {
  Tile *tile = data;
  tile->timer = 0;
  if (tile->frames) {
    tile->shown = (tile->shown + 1) % tile->frames->len;
    show_surface(tile, g_ptr_array_index(tile->frames, tile->shown));
    schedule(tile, g_array_index(tile->delays, int, tile->shown));
    return G_SOURCE_REMOVE;
  }
  if (gdk_pixbuf_animation_iter_advance(tile->iter, NULL)) {
    cairo_surface_t *surface = scaled_surface(tile);
    show_surface(tile, surface);
    if (surface) cairo_surface_destroy(surface);
  }
  schedule(tile, gdk_pixbuf_animation_iter_get_delay_time(tile->iter));
  return G_SOURCE_REMOVE;
}

static gboolean same_pixels(GdkPixbuf *a, const GBytes *b) {
  gsize length = 0;
  const guint8 *bytes = g_bytes_get_data((GBytes *)b, &length);
  return gdk_pixbuf_get_byte_length(a) == length && memcmp(gdk_pixbuf_read_pixels(a), bytes, length) == 0;
}

/* Steps the iterator through one loop of the animation on a clock of its own, keeping each
 * frame scaled. The loop ends where the first frame comes back (a GIF that shows its first
 * picture again midway is cut there) or after 1000 frames. */
/* gdk-pixbuf's iterators take their time as a GTimeVal, which GLib has deprecated. */
G_GNUC_BEGIN_IGNORE_DEPRECATIONS
static void keep_frames(Tile *tile) {
  GTimeVal clock = {0, 0};
  g_clear_object(&tile->iter);
  tile->iter = gdk_pixbuf_animation_get_iter(tile->animation, &clock);
  tile->frames = g_ptr_array_new_with_free_func((GDestroyNotify)cairo_surface_destroy);
  tile->delays = g_array_new(FALSE, FALSE, sizeof(int));
  GdkPixbuf *first = gdk_pixbuf_animation_iter_get_pixbuf(tile->iter);
  GBytes *firstPixels = g_bytes_new(gdk_pixbuf_read_pixels(first), gdk_pixbuf_get_byte_length(first));
  for (int i = 0; i < 1000; ++i) {
    cairo_surface_t *surface = scaled_surface(tile);
    if (!surface) break;
    int delay = gdk_pixbuf_animation_iter_get_delay_time(tile->iter);
    g_ptr_array_add(tile->frames, surface);
    g_array_append_val(tile->delays, delay);
    if (delay < 0) break;
    g_time_val_add(&clock, (glong)delay * 1000);
    gdk_pixbuf_animation_iter_advance(tile->iter, &clock);
    if (same_pixels(gdk_pixbuf_animation_iter_get_pixbuf(tile->iter), firstPixels)) break;
  }
  g_bytes_unref(firstPixels);
  /* Only the kept frames are needed from here on. */
  g_clear_object(&tile->iter);
  g_clear_object(&tile->animation);
}
G_GNUC_END_IGNORE_DEPRECATIONS

/* The tiles start once the window is realized, when its scale is known. */
static void start_tile(GtkWidget *widget, gpointer data) {
  (void)widget;
  Tile *tile = data;
  if (tile->iter || tile->frames) return;
  if (!eachFrame) {
    keep_frames(tile);
    if (tile->frames->len == 0) return;
    show_surface(tile, g_ptr_array_index(tile->frames, 0));
    if (tile->frames->len > 1) schedule(tile, g_array_index(tile->delays, int, 0));
    return;
  }
  tile->iter = gdk_pixbuf_animation_get_iter(tile->animation, NULL);
  cairo_surface_t *surface = scaled_surface(tile);
  show_surface(tile, surface);
  if (surface) cairo_surface_destroy(surface);
  schedule(tile, gdk_pixbuf_animation_iter_get_delay_time(tile->iter));
}

static int parse(const char *text, const char *what) {
  char *end = NULL;
  double value = g_ascii_strtod(text, &end);
  if (end == text || *end != '\0' || value < -100000 || value > 100000) {
    fprintf(stderr, "glimdeck-plain-grid: %s \"%s\" is not a number\n", what, text);
    exit(2);
  }
  return (int)(value + (value < 0 ? -0.5 : 0.5));
}

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  if (argc > 1 && (strcmp(argv[1], "--each-frame") == 0 || strcmp(argv[1], "--gtk-image") == 0)) {
    eachFrame = strcmp(argv[1], "--each-frame") == 0;
    gtkImage = !eachFrame;
    --argc;
    ++argv;
  }
  if (argc < 3 || (argc - 3) % 5 != 0) {
    fprintf(stderr, "usage: glimdeck-plain-grid [--each-frame | --gtk-image] WIDTH HEIGHT FILE X Y W H [FILE X Y W H ...]\n");
    return 2;
  }
  int width = parse(argv[1], "width"), height = parse(argv[2], "height");
  if (width <= 0 || height <= 0) {
    fprintf(stderr, "glimdeck-plain-grid: the window needs a size\n");
    return 2;
  }
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "glimdeck-plain-grid");
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget *layout = gtk_layout_new(NULL, NULL);
  gtk_widget_set_size_request(layout, width, height);
  gtk_container_add(GTK_CONTAINER(window), layout);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);

  int tiles = (argc - 3) / 5;
  Tile *all = g_new0(Tile, tiles);
  for (int i = 0; i < tiles; ++i) {
    char **arg = argv + 3 + 5 * i;
    Tile *tile = &all[i];
    int x = parse(arg[1], "x"), y = parse(arg[2], "y");
    tile->width = parse(arg[3], "width");
    tile->height = parse(arg[4], "height");
    tile->visibleWidth = MIN(tile->width, width - x);
    tile->visibleHeight = MIN(tile->height, height - y);
    if (x < 0 || y < 0 || tile->visibleWidth <= 0 || tile->visibleHeight <= 0) continue;
    GError *error = NULL;
    tile->animation = gdk_pixbuf_animation_new_from_file(arg[0], &error);
    if (!tile->animation) {
      fprintf(stderr, "glimdeck-plain-grid: %s: %s\n", arg[0], error ? error->message : "not an image");
      g_clear_error(&error);
      continue;
    }
    if (gtkImage) {
      /* A layout of the tile's size cuts the picture to the tile. */
      GtkWidget *frame = gtk_layout_new(NULL, NULL);
      gtk_widget_set_size_request(frame, tile->visibleWidth, tile->visibleHeight);
      gtk_layout_put(GTK_LAYOUT(layout), frame, x, y);
      GtkWidget *image = gtk_image_new_from_animation(tile->animation);
      gtk_layout_put(GTK_LAYOUT(frame), image, (tile->width - gdk_pixbuf_animation_get_width(tile->animation)) / 2,
                     (tile->height - gdk_pixbuf_animation_get_height(tile->animation)) / 2);
      g_clear_object(&tile->animation);
      continue;
    }
    tile->image = gtk_image_new();
    gtk_widget_set_size_request(tile->image, tile->visibleWidth, tile->visibleHeight);
    gtk_layout_put(GTK_LAYOUT(layout), tile->image, x, y);
    g_signal_connect(tile->image, "realize", G_CALLBACK(start_tile), tile);
  }
  gtk_widget_show_all(window);
  gtk_main();
  for (int i = 0; i < tiles; ++i) {
    if (all[i].timer) g_source_remove(all[i].timer);
    g_clear_object(&all[i].iter);
    g_clear_object(&all[i].animation);
    if (all[i].frames) g_ptr_array_unref(all[i].frames);
    if (all[i].delays) g_array_unref(all[i].delays);
  }
  g_free(all);
  return 0;
}
