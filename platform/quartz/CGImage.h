#pragma once
// Pictures as the drawing layer takes them: plain pixels, whoever decoded or holds them.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/NSGeometry.h"

// Straight (not premultiplied) RGBA, row by row, 4 bytes a pixel.
struct CGImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
};

// What a drawing backend made of a picture to draw it again cheaply (its pixels converted,
// or scaled to the size it is shown at), kept beside pictures that are drawn many times
// over (the frames of an animation, a movie's pictures), for as long as the picture lives.
// Only the backend that filled it reads it back; `owner` tells whose it is.
class CGImageDrawingCache {
 public:
  std::mutex mutex;
  const void* owner = nullptr;
  std::shared_ptr<void> content;
};

// An object holding a picture that a graphics context can draw.
class CGImageSource {
 public:
  virtual ~CGImageSource() = default;
  // The pixels to draw, or none when there is nothing to draw; valid while the source lives.
  virtual const CGImage* imageForDrawing() const = 0;
  // The size in points the picture takes.
  virtual NSSize size() const = 0;
  // Where the backend may keep what it made of these pixels; none when they are drawn once.
  virtual CGImageDrawingCache* drawingCache() const { return nullptr; }
};
