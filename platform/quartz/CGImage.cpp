#include "platform/quartz/CGImage.h"

std::shared_ptr<CGImage> CGImage::make(int width, int height, std::vector<std::uint8_t> rgba) {
  if (width <= 0 || height <= 0) return nullptr;
  std::size_t needed = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  if (rgba.size() < needed) return nullptr;
  rgba.resize(needed);
  std::shared_ptr<CGImage> image(new CGImage());
  image->width_ = width;
  image->height_ = height;
  image->rgba_ = std::move(rgba);
  return image;
}
