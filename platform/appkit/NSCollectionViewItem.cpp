#include "platform/appkit/NSCollectionViewItem.h"

#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSView.h"

std::shared_ptr<NSCollectionViewItem> NSCollectionViewItem::initWithNibName(std::string nibName) {
  return create(std::move(nibName));
}

void NSCollectionViewItem::loadView() {
  if (NSNib::hasBuilder(nibName())) {
    NSViewController::loadView();
    return;
  }
  setView(NSView::initWithFrame(NSZeroRect));
  awakeFromNib();
}
