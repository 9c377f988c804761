#include "platform/appkit/NSCollectionViewLayoutAttributes.h"

#include <sstream>

std::shared_ptr<NSCollectionViewLayoutAttributes> NSCollectionViewLayoutAttributes::layoutAttributesForItemWithIndexPath(
    NSIndexPath indexPath) {
  return std::shared_ptr<NSCollectionViewLayoutAttributes>(
      new NSCollectionViewLayoutAttributes(indexPath, NSCollectionElementCategory::item, {}));
}

std::shared_ptr<NSCollectionViewLayoutAttributes>
NSCollectionViewLayoutAttributes::layoutAttributesForSupplementaryViewOfKind(std::string_view elementKind,
                                                                            NSIndexPath withIndexPath) {
  return std::shared_ptr<NSCollectionViewLayoutAttributes>(new NSCollectionViewLayoutAttributes(
      withIndexPath, NSCollectionElementCategory::supplementaryView, std::string(elementKind)));
}

std::string NSCollectionViewLayoutAttributes::description() const {
  std::ostringstream text;
  text << "<" << className() << " " << indexPath_.description() << (kind_.empty() ? "" : " " + kind_) << " frame ("
       << frame.origin.x << ", " << frame.origin.y << ", " << frame.size.width << ", " << frame.size.height << ")>";
  return text.str();
}
