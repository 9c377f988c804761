#pragma once
// Places the elements of a collection view. The collection view asks the layout to prepare
// before it needs positions, then asks for the content size and for the elements in a
// rectangle. Invalidating marks the layout for a new preparation; an invalidation context
// says how much changed so that a layout can keep what is still right.

#include <memory>
#include <string_view>

#include "platform/appkit/NSCollectionViewLayoutAttributes.h"
#include "platform/appkit/NSIndexPath.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSCollectionView;

// What an invalidation covers. Everything (the default) means nothing computed before may
// be kept; data-source counts alone means only the number of sections or items changed.
struct NSCollectionViewLayoutInvalidationContext {
  bool invalidateEverything = true;
  bool invalidateDataSourceCounts = true;
};

// The axis along which a layout's content grows and its view scrolls.
enum class NSCollectionViewScrollDirection { vertical = 0, horizontal = 1 };

class NSCollectionViewLayout : public NSObject {
 public:
  std::shared_ptr<NSCollectionView> collectionView() const { return collectionView_.lock(); }

  virtual void prepareLayout() {}
  virtual NSSize collectionViewContentSize() const { return NSZeroSize; }
  virtual NSCollectionViewLayoutAttributesList layoutAttributesForElementsInRect(NSRect rect) const;
  virtual std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(NSIndexPath indexPath);
  virtual std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForSupplementaryViewOfKind(
      std::string_view elementKind, NSIndexPath atIndexPath);
  virtual bool shouldInvalidateLayoutForBoundsChange(NSRect newBounds) const;
  // The collection view takes the width (vertical) or height (horizontal) of its scroll view
  // and the content size along the other axis.
  virtual NSCollectionViewScrollDirection scrollDirection() const { return NSCollectionViewScrollDirection::vertical; }

  void invalidateLayout() { invalidateLayoutWithContext({}); }
  virtual void invalidateLayoutWithContext(const NSCollectionViewLayoutInvalidationContext& context);

  // Whether the layout waits for a preparation, and what the pending invalidations cover
  // (merged since the last preparation).
  bool needsPrepare() const { return needsPrepare_; }
  const NSCollectionViewLayoutInvalidationContext& pendingInvalidation() const { return pending_; }
  // Prepares when invalidated; what the collection view calls before it asks for positions.
  void prepareIfNeeded();

  GLIMDECK_OBJECT(NSCollectionViewLayout)

 protected:
  NSCollectionViewLayout() = default;

 private:
  friend class NSCollectionView;
  void setCollectionView(const std::shared_ptr<NSCollectionView>& view);
  std::weak_ptr<NSCollectionView> collectionView_;
  bool needsPrepare_ = true;
  NSCollectionViewLayoutInvalidationContext pending_;
};
