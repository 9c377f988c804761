#pragma once
// Pictures as the drawing layer takes them: plain pixels, whoever decoded or holds them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/NSGeometry.h"

// Straight (not premultiplied) RGBA, row by row, 4 bytes a pixel.
struct CGImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
};

class CGImageDrawingCache;

// What the kept drawings of a picture count against (the frames of one GIF share one): the
// bytes a cache keeps are told to it, and it may empty any cache it counts, the one just
// filled included, so that what it counts stays within its bytes.
class CGImageDrawingBudget {
 public:
  virtual ~CGImageDrawingBudget() = default;
  // `cache` now keeps `bytes` (it kept something else, or nothing, before).
  virtual void noteKept(CGImageDrawingCache& cache, std::size_t bytes) = 0;
  // `cache` goes away with what it keeps.
  virtual void forget(CGImageDrawingCache& cache) = 0;
  // Whether `bytes` more can be kept without letting go of anything kept now. A picture
  // that cannot is drawn from its pixels each time instead: kept copies that push one
  // another out would be made again at every loop of an animation, twice the work.
  virtual bool hasRoomFor(std::size_t /*bytes*/) { return true; }
};

// What a drawing backend made of a picture to draw it again cheaply (its pixels converted,
// or scaled to the size it is shown at), kept beside pictures that are drawn many times
// over (the frames of an animation, a movie's pictures), for as long as the picture lives
// and its budget (if any) lets it. Only the backend that filled it reads it back; `owner`
// tells whose it is.
class CGImageDrawingCache {
 public:
  // How work that finishes later (a picture scaled on a worker) reaches the cache, if it
  // still lives: `cache` is cleared, under `mutex`, when it goes away.
  struct Reach {
    std::mutex mutex;
    CGImageDrawingCache* cache = nullptr;
  };

  CGImageDrawingCache() : reach_(std::make_shared<Reach>()) { reach_->cache = this; }
  CGImageDrawingCache(const CGImageDrawingCache&) = delete;
  CGImageDrawingCache& operator=(const CGImageDrawingCache&) = delete;
  ~CGImageDrawingCache() {
    {
      std::lock_guard lock(reach_->mutex);
      reach_->cache = nullptr;
    }
    if (auto counted = budget.lock()) counted->forget(*this);
  }
  const std::shared_ptr<Reach>& reach() const { return reach_; }

  std::mutex mutex;
  const void* owner = nullptr;
  std::shared_ptr<void> content;
  // What the content counts against (set by whoever makes the picture); none: nothing.
  std::weak_ptr<CGImageDrawingBudget> budget;

 private:
  std::shared_ptr<Reach> reach_;
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
  // For a picture with nothing to draw yet that will have (decoding on a worker): runs
  // `ready` on the main thread once it has, and answers true. False: nothing is awaited.
  virtual bool whenDrawable(std::function<void()> /*ready*/) const { return false; }
};
