#pragma once
// Lines of items, one after the other: a vertical flow fills rows from left to right and
// stacks them downwards (a list, when each item is as wide as the view); a horizontal flow
// fills columns from top to bottom and places them to the right (a strip, when each item is
// as high as the view). Each section starts with its header (across the whole view, as
// high as its reference height in a vertical flow, as wide as its reference width in a
// horizontal one), then its inset, its lines and its footer.
//
// Items keep their order and are aligned to the start of their line, centred across it;
// sizes come from the collection view's delegate when it is a flow-layout delegate that
// answers, else from the layout's own settings.

#include <memory>
#include <optional>
#include <vector>

#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSCollectionViewLayout.h"

class NSCollectionViewFlowLayout;

// A collection-view delegate that sizes the flow layout's elements; every answer is
// optional, and an absent one leaves the layout's own setting.
class NSCollectionViewDelegateFlowLayout : public NSCollectionViewDelegate {
 public:
  virtual std::optional<NSSize> sizeForItemAtIndexPath(NSCollectionView& /*collectionView*/,
                                                       NSCollectionViewLayout& /*layout*/, NSIndexPath /*indexPath*/) {
    return std::nullopt;
  }
  virtual std::optional<NSSize> referenceSizeForHeaderInSection(NSCollectionView& /*collectionView*/,
                                                                NSCollectionViewLayout& /*layout*/,
                                                                std::size_t /*section*/) {
    return std::nullopt;
  }
  virtual std::optional<NSSize> referenceSizeForFooterInSection(NSCollectionView& /*collectionView*/,
                                                                NSCollectionViewLayout& /*layout*/,
                                                                std::size_t /*section*/) {
    return std::nullopt;
  }
  virtual std::optional<NSEdgeInsets> insetForSectionAtIndex(NSCollectionView& /*collectionView*/,
                                                             NSCollectionViewLayout& /*layout*/,
                                                             std::size_t /*section*/) {
    return std::nullopt;
  }
};

class NSCollectionViewFlowLayout : public NSCollectionViewLayout {
 public:
  static std::shared_ptr<NSCollectionViewFlowLayout> init();

  // Every setter invalidates the layout.
  NSSize itemSize() const { return itemSize_; }
  void setItemSize(NSSize value);
  double minimumInteritemSpacing() const { return minimumInteritemSpacing_; }
  void setMinimumInteritemSpacing(double value);
  double minimumLineSpacing() const { return minimumLineSpacing_; }
  void setMinimumLineSpacing(double value);
  NSEdgeInsets sectionInset() const { return sectionInset_; }
  void setSectionInset(NSEdgeInsets value);
  NSSize headerReferenceSize() const { return headerReferenceSize_; }
  void setHeaderReferenceSize(NSSize value);
  NSSize footerReferenceSize() const { return footerReferenceSize_; }
  void setFooterReferenceSize(NSSize value);
  NSCollectionViewScrollDirection scrollDirection() const override { return scrollDirection_; }
  void setScrollDirection(NSCollectionViewScrollDirection value);

  void prepareLayout() override;
  NSSize collectionViewContentSize() const override { return contentSize_; }
  NSCollectionViewLayoutAttributesList layoutAttributesForElementsInRect(NSRect rect) const override;
  std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(NSIndexPath indexPath) override;
  std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForSupplementaryViewOfKind(
      std::string_view elementKind, NSIndexPath atIndexPath) override;
  // Only a change across the flow (the width of a vertical flow) moves anything.
  bool shouldInvalidateLayoutForBoundsChange(NSRect newBounds) const override;

  GLIMDECK_OBJECT(NSCollectionViewFlowLayout)

 protected:
  NSCollectionViewFlowLayout() = default;

 private:
  using Attributes = std::shared_ptr<NSCollectionViewLayoutAttributes>;
  struct Section {
    Attributes header;  // none without a header extent
    Attributes footer;
    std::vector<Attributes> items;
  };

  NSSize itemSize_ = NSMakeSize(50, 50);
  double minimumInteritemSpacing_ = 10.0;
  double minimumLineSpacing_ = 10.0;
  NSEdgeInsets sectionInset_;
  NSSize headerReferenceSize_ = NSZeroSize;
  NSSize footerReferenceSize_ = NSZeroSize;
  NSCollectionViewScrollDirection scrollDirection_ = NSCollectionViewScrollDirection::vertical;

  std::vector<Section> sections_;
  NSSize contentSize_ = NSZeroSize;
};
