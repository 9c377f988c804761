#pragma once
// The GIF grid's layout: items keep their aspect ratio at the width of a stream (a column,
// or a row) and go into the stream that is shortest at that moment; wide items may span
// every stream, and section headers always do.
//
// Frames are computed once per preparation and kept per index path. When the grid only
// grew at its end (a new page of results), the next preparation resumes from the saved
// stream lengths instead of placing every item again. Rectangle queries use the fact that
// each stream, and the run of elements spanning all streams, grows monotonically along the
// main axis: a binary search finds the first element that can reach the rectangle.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browse/WaterfallLayoutDelegate.h"
#include "browse/WaterfallLayoutDirection.h"
#include "platform/appkit/NSCollectionViewLayout.h"

class WaterfallLayout : public NSCollectionViewLayout {
 public:
  static std::shared_ptr<WaterfallLayout> init();

  struct Constants {
    // The aspect ratio given to an item whose size has no usable ratio (zero, negative or
    // not finite), so that one bad size cannot make a stream infinitely long.
    static constexpr double defaultItemRatio = 1.0;
    // No item is taken as wider, or taller, than this many times its other side.
    static constexpr double extremeItemRatio = 1000.0;
  };

  long streamCount() const { return streamCount_; }
  void setStreamCount(long value);
  double cellSpacing() const { return cellSpacing_; }
  void setCellSpacing(double value);
  double streamSpacing() const { return streamSpacing_; }
  void setStreamSpacing(double value);
  double expansionRatio() const { return expansionRatio_; }
  void setExpansionRatio(double value);
  WaterfallLayoutDirection direction() const { return direction_; }
  void setDirection(WaterfallLayoutDirection value);
  bool expansive() const { return expansive_; }
  void setExpansive(bool value);

  // Not owned; setting it does not invalidate the layout.
  std::weak_ptr<WaterfallLayoutDelegate> delegate;

  // The length of every stream after the last placed element.
  const std::vector<double>& streamLength() const { return streamLength_; }
  double minLength() const;
  double maxLength() const;

  void prepareLayout() override;
  NSSize collectionViewContentSize() const override;
  NSCollectionViewLayoutAttributesList layoutAttributesForElementsInRect(NSRect rect) const override;
  // The cached header of a section. Asking for one that was never prepared answers nothing
  // and leaves the layout as it is.
  std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForSupplementaryViewOfKind(
      std::string_view elementKind, NSIndexPath atIndexPath) override;
  // The cached attributes of an item; nothing for an item that was never placed (the
  // layout does not place items out of turn).
  std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(NSIndexPath indexPath) override;
  bool shouldInvalidateLayoutForBoundsChange(NSRect newBounds) const override;
  // Columns grow downwards, rows to the right.
  NSCollectionViewScrollDirection scrollDirection() const override {
    return isColumns() ? NSCollectionViewScrollDirection::vertical : NSCollectionViewScrollDirection::horizontal;
  }

  // The same answer as layoutAttributesForElementsInRect, found by testing every cached
  // element; kept to measure the index against.
  NSCollectionViewLayoutAttributesList layoutAttributesForElementsInRectByScanning(NSRect rect) const;
  // How many items the last preparation placed (rather than kept from the one before).
  std::size_t itemsPlacedByLastPreparation() const { return placedByLastPreparation_; }

  // What should always hold after a preparation, each broken rule as one line (none: all
  // hold): one stream length per stream, every item placed once at its path with a finite
  // frame inside the content, no two frames overlapping, each stream's index growing along
  // the main axis, and the index answering as a scan does. Tests call it after every step.
  std::vector<std::string> invariantViolations() const;

  std::string className() const override { return "WaterfallLayout"; }

 protected:
  WaterfallLayout();

 private:
  using Attributes = std::shared_ptr<NSCollectionViewLayoutAttributes>;
  struct Section {
    Attributes header;
    std::vector<Attributes> items;
    std::size_t count = 0;  // the item count this section was prepared for
  };
  // One element of a stream (or of the run of spanning elements), with its unpadded extent
  // along the main axis. `reach` is the largest end up to and including this entry.
  struct Entry {
    double start = 0;
    double reach = 0;
    Attributes attributes;
  };

  bool isColumns() const { return direction_ == WaterfallLayoutDirection::columns; }
  std::size_t effectiveStreamCount() const { return streamCount_ < 1 ? 1 : static_cast<std::size_t>(streamCount_); }
  bool canResume(const NSCollectionView& view, double cross, const WaterfallLayoutDelegate* source) const;
  void reset();
  void placeHeader(std::size_t section, WaterfallLayoutDelegate* source);
  void placeItem(NSIndexPath path, WaterfallLayoutDelegate& source, double cross);
  void index(std::vector<Entry>& list, double start, double end, Attributes attributes);
  void collect(const std::vector<Entry>& list, NSRect rect, NSCollectionViewLayoutAttributesList& out) const;

  long streamCount_ = 2;
  double cellSpacing_ = 10.0;
  double streamSpacing_ = 10.0;
  double expansionRatio_ = 1.3;
  WaterfallLayoutDirection direction_ = WaterfallLayoutDirection::columns;
  bool expansive_ = true;
  std::vector<double> streamLength_;

  std::vector<Section> sections_;
  std::vector<std::vector<Entry>> streams_;
  std::vector<Entry> expanded_;  // items that span every stream
  std::vector<Entry> headers_;
  bool prepared_ = false;
  double preparedCross_ = 0;
  const WaterfallLayoutDelegate* preparedDelegate_ = nullptr;
  std::size_t placedByLastPreparation_ = 0;
};
