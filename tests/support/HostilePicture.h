#pragma once
// PNG pictures made with libpng for the cases: any size, each pixel from a function of its
// place. Rows that repeat the one above compress to almost nothing, so a picture of 8000 ×
// 8000 pixels in a few bands is a couple of hundred KB on disk and 256 MB decoded whole.

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace hostile {

struct PictureLook {
  int width = 8000, height = 8000;
  bool interlaced = false;
  bool withAlpha = false;
};

// Straight RGBA of the pixel at (x, y) from the top left.
using Pixels = std::function<std::uint32_t(int x, int y)>;
// Fills row y (channels bytes a pixel); the row holds what it held for the row above.
using Rows = std::function<void(int y, png_byte* row)>;

inline std::string pngOfRows(const PictureLook& look, const Rows& fill) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) std::abort();
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep bytes, std::size_t length) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(bytes), length);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(look.width), static_cast<png_uint_32>(look.height), 8,
               look.withAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               look.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  // A row like the one above filters to zeros.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_write_info(png, info);
  const std::size_t stride = static_cast<std::size_t>(look.width) * (look.withAlpha ? 4 : 3);
  if (look.interlaced) {
    // libpng picks each pass's pixels out of the whole picture.
    std::vector<png_byte> rows(stride * static_cast<std::size_t>(look.height));
    std::vector<png_bytep> pointers(static_cast<std::size_t>(look.height));
    for (int y = 0; y < look.height; ++y) {
      pointers[y] = rows.data() + y * stride;
      if (y > 0) std::copy_n(pointers[y - 1], stride, pointers[y]);
      fill(y, pointers[y]);
    }
    png_set_interlace_handling(png);
    png_write_image(png, pointers.data());
  } else {
    std::vector<png_byte> row(stride);
    for (int y = 0; y < look.height; ++y) {
      fill(y, row.data());
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

inline std::string png(const PictureLook& look, const Pixels& pixel) {
  const int channels = look.withAlpha ? 4 : 3;
  return pngOfRows(look, [&](int y, png_byte* row) {
    for (int x = 0; x < look.width; ++x) {
      const std::uint32_t rgba = pixel(x, y);
      for (int c = 0; c < channels; ++c) row[x * channels + c] = static_cast<png_byte>(rgba >> (24 - 8 * c));
    }
  });
}

// The hostile one: `side` × `side` opaque pixels in four bands of colour.
inline std::string png(int side = 8000) {
  return pngOfRows({.width = side, .height = side}, [side](int y, png_byte* row) {
    static constexpr std::uint32_t bands[] = {0x3366cc, 0xcc6633, 0x33aa55, 0xaa3399};
    const int band = (y * 4) / side;
    if (y > 0 && band == ((y - 1) * 4) / side) return;  // as the row above
    for (int x = 0; x < side; ++x) {
      for (int c = 0; c < 3; ++c) row[x * 3 + c] = static_cast<png_byte>(bands[band] >> (16 - 8 * c));
    }
  });
}

}  // namespace hostile
