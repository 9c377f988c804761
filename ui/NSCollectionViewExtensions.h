#pragma once
// Collection-view conveniences of the interface kit.

#include <memory>

#include "platform/appkit/NSIndexPath.h"

class NSCollectionView;

// Whether the item at the index path is displayed and its whole layout frame lies inside
// the part of the collection view its scroll view shows. False for an item cut by the
// scroll view's edge, one that is not displayed, and a view outside any scroll view.
bool isCellFullyVisibleAt(const std::shared_ptr<NSCollectionView>& collectionView, NSIndexPath indexPath);
