#include "ui/NSCollectionViewExtensions.h"

#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSScrollView.h"

bool isCellFullyVisibleAt(const std::shared_ptr<NSCollectionView>& collectionView, NSIndexPath indexPath) {
  if (!collectionView || !collectionView->itemAtIndexPath(indexPath)) return false;
  auto attributes = collectionView->layoutAttributesForItemAtIndexPath(indexPath);
  if (!attributes) return false;
  auto scrollView = collectionView->enclosingScrollView();
  if (!scrollView) return false;
  // What the scroll view shows, in the collection view's own coordinates: the frame moved
  // by the content offset would be the whole document once the view is taller than the
  // scroll view, so the visible rectangle itself is the measure.
  NSRect visible = collectionView->convertRect(scrollView->documentVisibleRect(), scrollView->contentView());
  NSRect item = attributes->frame;
  return item.minX() >= visible.minX() && item.maxX() <= visible.maxX() && item.minY() >= visible.minY() &&
         item.maxY() <= visible.maxY();
}
