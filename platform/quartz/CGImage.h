#pragma once
// Pictures as the drawing layer takes them: plain pixels, whoever decoded or holds them.

#include <cstdint>
#include <vector>

#include "platform/foundation/NSGeometry.h"

// Straight (not premultiplied) RGBA, row by row, 4 bytes a pixel.
struct CGImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
};

// An object holding a picture that a graphics context can draw.
class CGImageSource {
 public:
  virtual ~CGImageSource() = default;
  // The pixels to draw, or none when there is nothing to draw; valid while the source lives.
  virtual const CGImage* imageForDrawing() const = 0;
  // The size in points the picture takes.
  virtual NSSize size() const = 0;
};
