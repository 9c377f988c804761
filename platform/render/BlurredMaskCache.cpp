#include "platform/render/BlurredMaskCache.h"

#include <algorithm>
#include <cstring>

namespace {

// Three box blurs of the radius over every row, then every column, of the mask.
void boxBlur(unsigned char* data, int width, int height, int stride, int radius) {
  std::vector<unsigned char> line(static_cast<std::size_t>(std::max(width, height)));
  const int window = 2 * radius + 1;
  auto pass = [&](unsigned char* start, int count, long step) {
    long sum = 0;
    auto at = [&](int i) -> int { return (i < 0 || i >= count) ? 0 : start[i * step]; };
    for (int i = -radius; i <= radius; ++i) sum += at(i);
    for (int i = 0; i < count; ++i) {
      line[static_cast<std::size_t>(i)] = static_cast<unsigned char>(sum / window);
      sum += at(i + radius + 1) - at(i - radius);
    }
    for (int i = 0; i < count; ++i) start[i * step] = line[static_cast<std::size_t>(i)];
  };
  for (int round = 0; round < 3; ++round) {
    for (int y = 0; y < height; ++y) pass(data + static_cast<long>(y) * stride, width, 1);
    for (int x = 0; x < width; ++x) pass(data + x, height, stride);
  }
}

std::uint64_t hashRows(const unsigned char* data, int width, int height, int stride) {
  std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ (std::uint64_t(width) << 32) ^ std::uint64_t(height);
  auto mix = [&](std::uint64_t word) {
    hash ^= word;
    hash *= 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 31;
  };
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = data + static_cast<long>(y) * stride;
    int x = 0;
    for (; x + 8 <= width; x += 8) {
      std::uint64_t word;
      std::memcpy(&word, row + x, 8);
      mix(word);
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, row + x, static_cast<std::size_t>(width - x));
    mix(tail ^ (std::uint64_t(y) << 56));
  }
  return hash;
}

bool sameRows(const std::vector<std::uint8_t>& packed, const unsigned char* data, int width, int height, int stride) {
  for (int y = 0; y < height; ++y) {
    if (std::memcmp(packed.data() + static_cast<std::size_t>(y) * width, data + static_cast<long>(y) * stride,
                    static_cast<std::size_t>(width)) != 0) {
      return false;
    }
  }
  return true;
}

void packRows(std::vector<std::uint8_t>& packed, const unsigned char* data, int width, int height, int stride) {
  packed.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    std::memcpy(packed.data() + static_cast<std::size_t>(y) * width, data + static_cast<long>(y) * stride,
                static_cast<std::size_t>(width));
  }
}

}  // namespace

BlurredMaskCache& BlurredMaskCache::shared() {
  static BlurredMaskCache cache;
  return cache;
}

bool BlurredMaskCache::blur(cairo_surface_t* mask, int radius) {
  if (radius <= 0 || cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) return false;
  cairo_surface_flush(mask);
  unsigned char* data = cairo_image_surface_get_data(mask);
  const int width = cairo_image_surface_get_width(mask), height = cairo_image_surface_get_height(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  if (!data || width <= 0 || height <= 0) return false;
  if (long(width) * height < kSmallestKept) {
    boxBlur(data, width, height, stride, radius);
    cairo_surface_mark_dirty(mask);
    return true;
  }
  const std::uint64_t hash = hashRows(data, width, height, stride);
  {
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->hash != hash || it->width != width || it->height != height || it->radius != radius ||
          !sameRows(it->source, data, width, height, stride)) {
        continue;
      }
      entries_.splice(entries_.begin(), entries_, it);
      for (int y = 0; y < height; ++y) {
        std::memcpy(data + static_cast<long>(y) * stride, it->blurred.data() + static_cast<std::size_t>(y) * width,
                    static_cast<std::size_t>(width));
      }
      cairo_surface_mark_dirty(mask);
      return false;
    }
  }
  Entry entry;
  entry.hash = hash;
  entry.width = width;
  entry.height = height;
  entry.radius = radius;
  packRows(entry.source, data, width, height, stride);
  boxBlur(data, width, height, stride, radius);
  cairo_surface_mark_dirty(mask);
  packRows(entry.blurred, data, width, height, stride);
  const std::size_t size = entry.source.size() + entry.blurred.size();
  if (size > kBoundBytes / 4) return true;
  std::lock_guard lock(mutex_);
  entries_.push_front(std::move(entry));
  bytes_ += size;
  while (bytes_ > kBoundBytes && !entries_.empty()) {
    bytes_ -= entries_.back().source.size() + entries_.back().blurred.size();
    entries_.pop_back();
  }
  return true;
}

std::size_t BlurredMaskCache::bytes() {
  std::lock_guard lock(mutex_);
  return bytes_;
}

void BlurredMaskCache::clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  bytes_ = 0;
}
