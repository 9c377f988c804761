#pragma once
// The pixels of a PNG file as a screen without a compositor shows them: 0xRRGGBB, with
// what is transparent over black (the premultiplied colour).

#include <cstdint>
#include <filesystem>
#include <vector>

struct PNGPixels {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;

  bool valid() const { return width > 0 && height > 0; }
  // The pixel at (x, y) from the top left; white outside the picture.
  std::uint32_t at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFu;
    return pixels[static_cast<std::size_t>(y) * width + x];
  }
  // An empty picture when the file cannot be read as PNG.
  static PNGPixels read(const std::filesystem::path& png);
  // Writes the pixels as an opaque PNG.
  void write(const std::filesystem::path& png) const;
};
