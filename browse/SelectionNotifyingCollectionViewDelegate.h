#pragma once
// Told the selection of a SelectionNotifyingCollectionView after every change made through
// its setter.

#include "platform/appkit/NSIndexSet.h"

class SelectionNotifyingCollectionViewDelegate {
 public:
  virtual ~SelectionNotifyingCollectionViewDelegate() = default;
  virtual void selectedIndexesChangedWithSelectionIndexes(const NSIndexSet& selectionIndexes) = 0;
};
