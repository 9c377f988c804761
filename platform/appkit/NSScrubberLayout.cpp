#include "platform/appkit/NSScrubberLayout.h"

#include <algorithm>
#include <cmath>

NSRect NSScrubberLayout::visibleRect() const {
  auto strip = scrubber();
  if (!strip) return NSZeroRect;
  NSRect visible = strip->bounds();
  visible.origin.x = strip->contentOffset();
  return visible;
}

std::vector<std::size_t> NSScrubberLayout::indexesOfItemsInRect(NSRect rect) const {
  std::vector<std::size_t> indexes;
  auto strip = scrubber();
  const std::size_t count = strip ? strip->numberOfItems() : 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (NSIntersectsRect(frameForItemAtIndex(i), rect)) indexes.push_back(i);
  }
  return indexes;
}

void NSScrubberFlowLayout::setItemSpacing(double spacing) {
  itemSpacing_ = std::isfinite(spacing) ? std::max(0.0, spacing) : 0.0;
  prepareLayout();
}

void NSScrubberFlowLayout::setItemSize(NSSize size) {
  itemSize_ = size;
  prepareLayout();
}

namespace {
// A delegate's size may be anything; the strip takes only finite, non-negative sides.
double side(double value) { return std::isfinite(value) ? std::max(0.0, value) : 0.0; }
}  // namespace

void NSScrubberFlowLayout::prepareLayout() {
  frames_.clear();
  contentSize_ = NSZeroSize;
  auto strip = scrubber();
  if (!strip) return;
  const std::size_t count = strip->numberOfItems();
  const double height = strip->bounds().size.height;
  auto sizes = std::dynamic_pointer_cast<NSScrubberFlowLayoutDelegate>(strip->delegate());
  auto self = sharedAs<NSScrubberLayout>();
  frames_.reserve(count);
  double x = 0;
  for (std::size_t i = 0; i < count; ++i) {
    NSSize size = sizes ? sizes->scrubberLayoutSizeForItemAtIndex(strip, self, i) : itemSize_;
    size = {side(size.width), side(size.height)};
    if (i > 0) x += itemSpacing_;
    frames_.push_back(NSMakeRect(x, (height - size.height) / 2, size.width, size.height));
    x += size.width;
  }
  contentSize_ = {x, height};
}

NSRect NSScrubberFlowLayout::frameForItemAtIndex(std::size_t index) const {
  return index < frames_.size() ? frames_[index] : NSZeroRect;
}

std::vector<std::size_t> NSScrubberFlowLayout::indexesOfItemsInRect(NSRect rect) const {
  // Frames run left to right: start at the first that ends past the rectangle's left edge.
  auto first = std::partition_point(frames_.begin(), frames_.end(),
                                    [&rect](const NSRect& frame) { return frame.maxX() <= rect.minX(); });
  std::vector<std::size_t> indexes;
  for (auto it = first; it != frames_.end() && it->minX() < rect.maxX(); ++it) {
    if (NSIntersectsRect(*it, rect)) indexes.push_back(static_cast<std::size_t>(it - frames_.begin()));
  }
  return indexes;
}
