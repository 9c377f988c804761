#pragma once
// Where a scrubber's items go. The layout reads the item count from its scrubber and
// answers each item's frame in the strip's content (before sliding), and the content size.

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/appkit/NSScrubber.h"
#include "platform/foundation/NSGeometry.h"

class NSScrubberLayout : public NSObject {
 public:
  std::shared_ptr<NSScrubber> scrubber() const { return scrubber_.lock(); }
  // The rectangle the scrubber shows now, in content coordinates.
  NSRect visibleRect() const;

  // Works the frames out again (the scrubber calls it when its items or size change).
  virtual void prepareLayout() {}
  virtual NSSize scrubberContentSize() const { return NSZeroSize; }
  virtual NSRect frameForItemAtIndex(std::size_t /*index*/) const { return NSZeroRect; }
  // The items whose frames meet the rectangle, in order.
  virtual std::vector<std::size_t> indexesOfItemsInRect(NSRect rect) const;

  GLIMDECK_OBJECT(NSScrubberLayout)

 protected:
  NSScrubberLayout() = default;

 private:
  friend class NSScrubber;
  std::weak_ptr<NSScrubber> scrubber_;
};

// Sizes of single items, asked of a scrubber delegate that also adopts this interface.
class NSScrubberFlowLayoutDelegate : public NSScrubberDelegate {
 public:
  virtual NSSize scrubberLayoutSizeForItemAtIndex(const std::shared_ptr<NSScrubber>& scrubber,
                                                  const std::shared_ptr<NSScrubberLayout>& layout,
                                                  std::size_t index) = 0;
};

// Items in one row, left to right, `itemSpacing` apart, each centred on the strip's height.
class NSScrubberFlowLayout : public NSScrubberLayout {
 public:
  static std::shared_ptr<NSScrubberFlowLayout> make() { return create(); }

  double itemSpacing() const { return itemSpacing_; }
  void setItemSpacing(double spacing);
  // The size of items whose scrubber delegate gives none.
  NSSize itemSize() const { return itemSize_; }
  void setItemSize(NSSize size);

  void prepareLayout() override;
  NSSize scrubberContentSize() const override { return contentSize_; }
  NSRect frameForItemAtIndex(std::size_t index) const override;
  std::vector<std::size_t> indexesOfItemsInRect(NSRect rect) const override;

  GLIMDECK_OBJECT(NSScrubberFlowLayout)

 private:
  NSScrubberFlowLayout() = default;
  double itemSpacing_ = 0.0;
  NSSize itemSize_{50.0, 30.0};
  std::vector<NSRect> frames_;
  NSSize contentSize_ = NSZeroSize;
};
