#include "tests/support/PNGPixels.h"

#include <cairo.h>

PNGPixels PNGPixels::read(const std::filesystem::path& png) {
  PNGPixels picture;
  cairo_surface_t* surface = cairo_image_surface_create_from_png(png.c_str());
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    picture.width = cairo_image_surface_get_width(surface);
    picture.height = cairo_image_surface_get_height(surface);
    int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    picture.pixels.reserve(static_cast<std::size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y) {
      auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<long>(y) * stride);
      for (int x = 0; x < picture.width; ++x) picture.pixels.push_back(row[x] & 0xFFFFFFu);
    }
  }
  cairo_surface_destroy(surface);
  return picture;
}

void PNGPixels::write(const std::filesystem::path& png) const {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  auto* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<long>(y) * stride);
    for (int x = 0; x < width; ++x) row[x] = at(x, y);
  }
  cairo_surface_mark_dirty(surface);
  cairo_surface_write_to_png(surface, png.c_str());
  cairo_surface_destroy(surface);
}
