#include "browse/SelectionNotifyingCollectionView.h"

std::shared_ptr<SelectionNotifyingCollectionView> SelectionNotifyingCollectionView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<SelectionNotifyingCollectionView>(new SelectionNotifyingCollectionView(frame)));
}

void SelectionNotifyingCollectionView::setSelectionIndexes(const NSIndexSet& indexes) {
  NSCollectionView::setSelectionIndexes(indexes);
  // Read back after the change: the base decides what the selection finally is.
  if (auto delegate = selectionDelegate.lock()) delegate->selectedIndexesChangedWithSelectionIndexes(selectionIndexes());
}
