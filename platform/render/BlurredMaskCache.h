#pragma once
// Blurs shadow masks, and keeps what it blurred: a shadow whose shape does not change
// between drawings (a tile's card under its playing picture, a panel's frame) is blurred
// once, later drawings copy the result. Masks are kept by the exact alpha they were made
// from, within a bound of bytes, the least recently used going first. Any thread.

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <vector>

class BlurredMaskCache {
 public:
  static BlurredMaskCache& shared();

  // Masks smaller than this many pixels are blurred every time (it costs less than keeping them).
  static constexpr long kSmallestKept = 1024;
  static constexpr std::size_t kBoundBytes = 16u << 20;

  // Blurs the alpha (A8) surface in place with three box passes of the radius, which
  // approximate a Gaussian of deviation about the radius. Answers true when it blurred,
  // false when it took an earlier result for the same mask.
  bool blur(cairo_surface_t* mask, int radius);

  std::size_t bytes();
  void clear();

 private:
  struct Entry {
    std::uint64_t hash = 0;
    int width = 0, height = 0, radius = 0;
    std::vector<std::uint8_t> source, blurred;  // rows of `width` bytes, no padding
  };
  std::mutex mutex_;
  std::list<Entry> entries_;  // most recently used first
  std::size_t bytes_ = 0;
};
