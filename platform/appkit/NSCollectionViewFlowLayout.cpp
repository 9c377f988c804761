#include "platform/appkit/NSCollectionViewFlowLayout.h"

#include <algorithm>
#include <cmath>

namespace {

// Lengths from the delegate or the settings; nothing endless or negative reaches a frame.
double usable(double length) { return std::isfinite(length) && length > 0 ? length : 0.0; }

}  // namespace

std::shared_ptr<NSCollectionViewFlowLayout> NSCollectionViewFlowLayout::init() {
  return create();
}

void NSCollectionViewFlowLayout::setItemSize(NSSize value) {
  itemSize_ = value;
  invalidateLayout();
}
void NSCollectionViewFlowLayout::setMinimumInteritemSpacing(double value) {
  minimumInteritemSpacing_ = value;
  invalidateLayout();
}
void NSCollectionViewFlowLayout::setMinimumLineSpacing(double value) {
  minimumLineSpacing_ = value;
  invalidateLayout();
}
void NSCollectionViewFlowLayout::setSectionInset(NSEdgeInsets value) {
  sectionInset_ = value;
  invalidateLayout();
}
void NSCollectionViewFlowLayout::setHeaderReferenceSize(NSSize value) {
  headerReferenceSize_ = value;
  invalidateLayout();
}
void NSCollectionViewFlowLayout::setFooterReferenceSize(NSSize value) {
  footerReferenceSize_ = value;
  invalidateLayout();
}
void NSCollectionViewFlowLayout::setScrollDirection(NSCollectionViewScrollDirection value) {
  scrollDirection_ = value;
  invalidateLayout();
}

void NSCollectionViewFlowLayout::prepareLayout() {
  sections_.clear();
  contentSize_ = NSZeroSize;
  auto view = collectionView();
  if (!view) return;
  auto sizer = std::dynamic_pointer_cast<NSCollectionViewDelegateFlowLayout>(view->delegate.lock());
  const bool vertical = scrollDirection_ == NSCollectionViewScrollDirection::vertical;
  // Positions along the flow (main) and across it (cross), turned into frames here.
  auto frameAt = [vertical](double main, double cross, double mainLength, double crossLength) {
    return vertical ? NSMakeRect(cross, main, crossLength, mainLength) : NSMakeRect(main, cross, mainLength, crossLength);
  };
  auto mainOf = [vertical](NSSize size) { return usable(vertical ? size.height : size.width); };
  auto crossOf = [vertical](NSSize size) { return usable(vertical ? size.width : size.height); };
  const double across = usable(vertical ? view->bounds().width() : view->bounds().height());
  const double interitem = usable(minimumInteritemSpacing_), lineSpacing = usable(minimumLineSpacing_);

  double position = 0;
  auto spanning = [&](std::string_view kind, std::size_t section, NSSize size) -> Attributes {
    double extent = mainOf(size);
    if (extent <= 0) return nullptr;
    auto attributes = NSCollectionViewLayoutAttributes::layoutAttributesForSupplementaryViewOfKind(kind, {0, section});
    attributes->frame = frameAt(position, 0, extent, across);
    position += extent;
    return attributes;
  };

  for (std::size_t s = 0; s < view->numberOfSections(); ++s) {
    Section section;
    std::optional<NSSize> header = sizer ? sizer->referenceSizeForHeaderInSection(*view, *this, s) : std::nullopt;
    section.header = spanning(NSCollectionElementKindSectionHeader, s, header.value_or(headerReferenceSize_));

    NSEdgeInsets inset = (sizer ? sizer->insetForSectionAtIndex(*view, *this, s) : std::nullopt).value_or(sectionInset_);
    double mainStart = usable(vertical ? inset.top : inset.left), mainEnd = usable(vertical ? inset.bottom : inset.right);
    double crossStart = usable(vertical ? inset.left : inset.top), crossEnd = usable(vertical ? inset.right : inset.bottom);
    double room = std::max(0.0, across - crossStart - crossEnd);
    position += mainStart;

    // One line at a time: items join it while they fit across, then the line is placed with
    // every item centred on its thickness.
    struct Placed {
      Attributes attributes;
      double cross, mainLength, crossLength;
    };
    std::vector<Placed> line;
    double lineCross = 0, lineThickness = 0;
    bool firstLine = true;
    auto flush = [&] {
      if (line.empty()) return;
      for (auto& placed : line)
        placed.attributes->frame = frameAt(position + (lineThickness - placed.mainLength) / 2, placed.cross,
                                           placed.mainLength, placed.crossLength);
      position += lineThickness;
      line.clear();
      lineCross = lineThickness = 0;
      firstLine = false;
    };
    std::size_t count = view->numberOfItemsInSection(s);
    section.items.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      std::optional<NSSize> asked = sizer ? sizer->sizeForItemAtIndexPath(*view, *this, {i, s}) : std::nullopt;
      NSSize size = asked.value_or(itemSize_);
      double mainLength = mainOf(size), crossLength = crossOf(size);
      if (!line.empty() && lineCross + interitem + crossLength > room) flush();
      if (line.empty() && !firstLine) position += lineSpacing;
      double cross = crossStart + (line.empty() ? 0 : lineCross + interitem);
      auto attributes = NSCollectionViewLayoutAttributes::layoutAttributesForItemWithIndexPath({i, s});
      line.push_back({attributes, cross, mainLength, crossLength});
      lineCross = cross - crossStart + crossLength;
      lineThickness = std::max(lineThickness, mainLength);
      section.items.push_back(std::move(attributes));
    }
    flush();
    position += mainEnd;

    std::optional<NSSize> footer = sizer ? sizer->referenceSizeForFooterInSection(*view, *this, s) : std::nullopt;
    section.footer = spanning(NSCollectionElementKindSectionFooter, s, footer.value_or(footerReferenceSize_));
    sections_.push_back(std::move(section));
  }
  contentSize_ = vertical ? NSMakeSize(across, position) : NSMakeSize(position, across);
}

NSCollectionViewLayoutAttributesList NSCollectionViewFlowLayout::layoutAttributesForElementsInRect(NSRect rect) const {
  NSCollectionViewLayoutAttributesList result;
  auto add = [&](const Attributes& attributes) {
    if (attributes && NSIntersectsRect(attributes->frame, rect)) result.push_back(attributes);
  };
  for (const auto& section : sections_) {
    add(section.header);
    for (const auto& item : section.items) add(item);
    add(section.footer);
  }
  return result;
}

std::shared_ptr<NSCollectionViewLayoutAttributes> NSCollectionViewFlowLayout::layoutAttributesForItemAtIndexPath(
    NSIndexPath indexPath) {
  if (indexPath.section >= sections_.size()) return nullptr;
  const auto& items = sections_[indexPath.section].items;
  return indexPath.item < items.size() ? items[indexPath.item] : nullptr;
}

std::shared_ptr<NSCollectionViewLayoutAttributes> NSCollectionViewFlowLayout::layoutAttributesForSupplementaryViewOfKind(
    std::string_view elementKind, NSIndexPath atIndexPath) {
  if (atIndexPath.item != 0 || atIndexPath.section >= sections_.size()) return nullptr;
  const auto& section = sections_[atIndexPath.section];
  if (elementKind == NSCollectionElementKindSectionHeader) return section.header;
  if (elementKind == NSCollectionElementKindSectionFooter) return section.footer;
  return nullptr;
}

bool NSCollectionViewFlowLayout::shouldInvalidateLayoutForBoundsChange(NSRect newBounds) const {
  auto view = collectionView();
  if (!view) return true;
  NSSize old = view->bounds().size;
  return scrollDirection_ == NSCollectionViewScrollDirection::vertical ? old.width != newBounds.size.width
                                                                       : old.height != newBounds.size.height;
}
