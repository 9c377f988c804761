#pragma once
// A collection view that reports every setting of its selection, also an unchanged or
// empty one (the receiver decides what an empty selection means).

#include <memory>

#include "browse/SelectionNotifyingCollectionViewDelegate.h"
#include "platform/appkit/NSCollectionView.h"

class SelectionNotifyingCollectionView : public NSCollectionView {
 public:
  static std::shared_ptr<SelectionNotifyingCollectionView> initWithFrame(NSRect frame);

  std::weak_ptr<SelectionNotifyingCollectionViewDelegate> selectionDelegate;

  void setSelectionIndexes(const NSIndexSet& indexes) override;
  GLIMDECK_OBJECT(SelectionNotifyingCollectionView)

 protected:
  using NSCollectionView::NSCollectionView;
};
