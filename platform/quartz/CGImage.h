#pragma once
// A bitmap: pixels in rows from the top, 4 bytes a pixel (red, green, blue, alpha, not
// premultiplied). Immutable once made, so images made from it can share its pixels.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"

class CGImage : public NSObject {
 public:
  // None for an empty size or fewer bytes than the size needs.
  static std::shared_ptr<CGImage> make(int width, int height, std::vector<std::uint8_t> rgba);

  int width() const { return width_; }
  int height() const { return height_; }
  const std::vector<std::uint8_t>& rgba() const { return rgba_; }
  std::string className() const override { return "CGImage"; }

 private:
  CGImage() = default;
  int width_ = 0, height_ = 0;
  std::vector<std::uint8_t> rgba_;
};

using CGImageRef = std::shared_ptr<CGImage>;
