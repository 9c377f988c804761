#include "browse/CollectionViewDisabledResponsiveScrolling.h"

std::shared_ptr<CollectionViewDisabledResponsiveScrolling> CollectionViewDisabledResponsiveScrolling::initWithFrame(
    NSRect frame) {
  return finishInit(
      std::shared_ptr<CollectionViewDisabledResponsiveScrolling>(new CollectionViewDisabledResponsiveScrolling(frame)));
}

void CollectionViewDisabledResponsiveScrolling::prepareContentInRect(NSRect /*rect*/) {
  NSCollectionView::prepareContentInRect(visibleRect());
}
