#pragma once
// The GIF grids' collection view: it prepares only what is visible, never items ahead of
// scrolling, because every prepared tile starts loading and looping its media.

#include <memory>

#include "platform/appkit/NSCollectionView.h"

class CollectionViewDisabledResponsiveScrolling : public NSCollectionView {
 public:
  static std::shared_ptr<CollectionViewDisabledResponsiveScrolling> initWithFrame(NSRect frame);

  // Ignores the proposed rectangle (the visible one grown for overdraw) and prepares the
  // visible rectangle itself.
  void prepareContentInRect(NSRect rect) override;

  GLIMDECK_OBJECT(CollectionViewDisabledResponsiveScrolling)

 protected:
  using NSCollectionView::NSCollectionView;
};
