#!/usr/bin/env bash
# Renders the application icon (resources/icons/com.glimdeck.Glimdeck.svg) into the PNG sizes
# the hicolor theme and software centres look for. Run it after changing the SVG and commit
# the PNGs: the build and the install only copy them. Uses GTK's gdk-pixbuf with its SVG loader.
set -euo pipefail
cd "$(dirname "$0")/.."
icons=resources/icons
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/render.c" <<'C'
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <stdlib.h>
int main(int argc, char** argv) {
  if (argc != 4) return 2;
  GError* error = NULL;
  int size = atoi(argv[2]);
  GdkPixbuf* picture = gdk_pixbuf_new_from_file_at_size(argv[1], size, size, &error);
  if (!picture || !gdk_pixbuf_save(picture, argv[3], "png", &error, NULL)) {
    g_printerr("%s\n", error->message);
    return 1;
  }
  return 0;
}
C
cc "$work/render.c" -o "$work/render" $(pkg-config --cflags --libs gdk-pixbuf-2.0)
for size in 48 64 128 256; do
  "$work/render" "$icons/com.glimdeck.Glimdeck.svg" "$size" "$icons/com.glimdeck.Glimdeck-$size.png"
done
