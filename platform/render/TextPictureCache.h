#pragma once
// Pictures of text as the Cairo context drew it: laying text out (shaping its glyphs)
// costs far more than copying its pixels, and the same labels are drawn again at every
// repaint under them (a tile's title over its playing picture). A picture is kept for the
// text, the width it was laid out in and the scale it was drawn at, within a bound of
// bytes, the least recently used going first. Any thread.

#include <cairo.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/quartz/CGText.h"
#include "platform/render/PixelBox.h"
#include "platform/render/RecentlyUsed.h"

class TextPictureCache {
 public:
  // The text's pixels, premultiplied, placed relative to the pixel its layout starts at.
  struct Picture {
    cairo_surface_t* surface = nullptr;
    PixelBox box;
    ~Picture();
    // The picture's alpha with room of `spread` pixels around it, blurred for a shadow of
    // the radius: made once for each radius the text's shadows have.
    cairo_surface_t* shadow(int radius, int spread) const;

   private:
    mutable std::mutex shadowsMutex_;
    mutable std::vector<std::pair<std::pair<int, int>, cairo_surface_t*>> shadows_;
  };
  struct Key {
    CGText text;  // without its shadow, which is drawn apart
    double width = 0;
    double scaleX = 1, scaleY = 1;
    friend bool operator==(const Key&, const Key&) = default;
  };

  static TextPictureCache& shared();
  static constexpr std::size_t kBoundBytes = 8u << 20;

  std::shared_ptr<const Picture> find(const Key& key);
  void keep(Key key, std::shared_ptr<const Picture> picture);
  std::size_t bytes();

 private:
  struct Kept {
    std::shared_ptr<const Picture> picture;
    std::size_t bytes = 0;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };
  std::mutex mutex_;
  RecentlyUsed<Key, Kept, KeyHash> entries_;
  std::size_t bytes_ = 0;
};
