#include "platform/appkit/NSCollectionViewLayout.h"

#include "platform/appkit/NSCollectionView.h"

NSCollectionViewLayoutAttributesList NSCollectionViewLayout::layoutAttributesForElementsInRect(NSRect) const {
  return {};
}

std::shared_ptr<NSCollectionViewLayoutAttributes> NSCollectionViewLayout::layoutAttributesForItemAtIndexPath(
    NSIndexPath) {
  return nullptr;
}

std::shared_ptr<NSCollectionViewLayoutAttributes> NSCollectionViewLayout::layoutAttributesForSupplementaryViewOfKind(
    std::string_view, NSIndexPath) {
  return nullptr;
}

bool NSCollectionViewLayout::shouldInvalidateLayoutForBoundsChange(NSRect newBounds) const {
  auto view = collectionView();
  return !view || view->bounds().size != newBounds.size;
}

void NSCollectionViewLayout::invalidateLayoutWithContext(const NSCollectionViewLayoutInvalidationContext& context) {
  if (needsPrepare_) {
    pending_.invalidateEverything = pending_.invalidateEverything || context.invalidateEverything;
    pending_.invalidateDataSourceCounts = pending_.invalidateDataSourceCounts || context.invalidateDataSourceCounts;
  } else {
    pending_ = context;
  }
  needsPrepare_ = true;
  if (auto view = collectionView()) view->layoutInvalidated();
}

void NSCollectionViewLayout::prepareIfNeeded() {
  if (!needsPrepare_) return;
  prepareLayout();
  needsPrepare_ = false;
  pending_ = {};
}

void NSCollectionViewLayout::setCollectionView(const std::shared_ptr<NSCollectionView>& view) {
  collectionView_ = view;
  invalidateLayout();
}
