#pragma once
// The pictures a Cairo context keeps for the owners that asked for them (a rasterizing
// layer's tree): one picture an owner, found by what it was made for, let go of when its
// owner is gone or, the least recently used first, when they hold too many pixels.

#include <cairo.h>

#include <array>
#include <cstdint>
#include <memory>

#include "platform/render/RecentlyUsed.h"

// A Cairo surface owned by whatever keeps it.
struct SurfaceRelease {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using KeptSurface = std::unique_ptr<cairo_surface_t, SurfaceRelease>;

class KeptPictures {
 public:
  // What a picture was made for: the owner's change number, and where its pixels lie in
  // device space (the user space's scale and turn, the fractions of a pixel it is moved
  // by, and the size in pixels).
  struct Made {
    std::uint64_t change = 0;
    std::array<double, 8> placement{};
    bool operator==(const Made&) const = default;
  };

  KeptPictures() = default;
  KeptPictures(const KeptPictures&) = delete;
  KeptPictures& operator=(const KeptPictures&) = delete;
  ~KeptPictures();

  // The owner's picture when it was made for the same; null otherwise.
  cairo_surface_t* find(const void* owner, const Made& made);
  // Keeps the picture (taking it over) as the owner's, in place of its earlier one; answers
  // it. Pictures of owners gone, then the least recently used beyond the bound, go first.
  cairo_surface_t* keep(const std::shared_ptr<const void>& owner, const Made& made, cairo_surface_t* picture);

  std::size_t size() const { return pictures_.size(); }
  long pixels() const { return pixels_; }
  // At most this many pixels are kept (besides the newest picture, whatever its size).
  static constexpr long kMostPixels = 8L << 20;

 private:
  struct Picture {
    std::weak_ptr<const void> owner;
    Made made;
    KeptSurface surface;
    long pixels = 0;
  };
  void drop(const void* owner);

  RecentlyUsed<const void*, Picture> pictures_;
  long pixels_ = 0;
};
