#pragma once
// Where a layout places one element of a collection view: an item or a supplementary view
// (section header or footer) at an index path.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/appkit/NSIndexPath.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

inline constexpr std::string_view NSCollectionElementKindSectionHeader = "UICollectionElementKindSectionHeader";
inline constexpr std::string_view NSCollectionElementKindSectionFooter = "UICollectionElementKindSectionFooter";

enum class NSCollectionElementCategory { item = 0, supplementaryView = 1, decorationView = 2, interItemGap = 3 };

class NSCollectionViewLayoutAttributes : public NSObject {
 public:
  static std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForItemWithIndexPath(NSIndexPath indexPath);
  static std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForSupplementaryViewOfKind(
      std::string_view elementKind, NSIndexPath withIndexPath);

  NSRect frame;
  double alpha = 1.0;
  long zIndex = 0;
  bool hidden = false;

  NSIndexPath indexPath() const { return indexPath_; }
  NSCollectionElementCategory representedElementCategory() const { return category_; }
  // The supplementary kind; empty for items.
  const std::string& representedElementKind() const { return kind_; }

  GLIMDECK_OBJECT(NSCollectionViewLayoutAttributes)
  std::string description() const override;

 private:
  NSCollectionViewLayoutAttributes(NSIndexPath indexPath, NSCollectionElementCategory category, std::string kind)
      : indexPath_(indexPath), category_(category), kind_(std::move(kind)) {}
  NSIndexPath indexPath_;
  NSCollectionElementCategory category_;
  std::string kind_;
};

using NSCollectionViewLayoutAttributesList = std::vector<std::shared_ptr<NSCollectionViewLayoutAttributes>>;
