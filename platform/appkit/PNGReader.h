#pragma once
// Decodes PNG data into straight RGBA no larger than a given side. A picture that fits is
// decoded whole; a larger one is read row by row and each row added into the box of kept
// pixels it falls in (a box filter, weighted by alpha), so that what the file decodes to
// is never held: an 8000 × 8000 picture shown on a tile costs the tile's pixels and one
// row. Pictures beyond kMostSide a side or kMostPixels in all are refused without reading
// their pixels (NSImage's tooLarge), whatever the side asked for.

#include <cstdint>
#include <expected>
#include <memory>
#include <string_view>

#include "platform/appkit/GifFrameStore.h"
#include "platform/foundation/NSError.h"

class PNGReader {
 public:
  static constexpr int kMostSide = 16384;
  static constexpr std::uint64_t kMostPixels = 64ull * 1024 * 1024;

  struct Picture {
    int sourceWidth = 0, sourceHeight = 0;  // the picture's own size
    std::shared_ptr<NSImageFrame> frame;     // at most `maxSide` a side
  };
  using Result = std::expected<Picture, std::shared_ptr<NSError>>;

  // `maxSide` 0: the picture at its own size.
  static Result read(std::string_view bytes, int maxSide);
};
