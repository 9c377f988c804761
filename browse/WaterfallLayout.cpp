#include "browse/WaterfallLayout.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "platform/appkit/NSCollectionView.h"

namespace {

// The item's width / height, or the default when the size gives no usable ratio. A finite
// but absurd ratio (1 × 1e308) is held to the extremes, so no item is endlessly long.
double usableRatio(NSSize size) {
  double ratio = size.width / size.height;
  if (!(size.width > 0) || !(size.height > 0) || !std::isfinite(ratio) || !(ratio > 0))
    return WaterfallLayout::Constants::defaultItemRatio;
  constexpr double extreme = WaterfallLayout::Constants::extremeItemRatio;
  return std::clamp(ratio, 1.0 / extreme, extreme);
}

// Spacing wider than the rectangle leaves no room: a frame of no size at its centre, never a
// negative one.
NSRect insetToNoLessThanNothing(NSRect r, double dx, double dy) {
  NSRect inset = NSInsetRect(r, dx, dy);
  if (!(inset.size.width >= 0)) inset.origin.x = r.midX(), inset.size.width = 0;
  if (!(inset.size.height >= 0)) inset.origin.y = r.midY(), inset.size.height = 0;
  return inset;
}

// A header extent that cannot shorten the streams.
double usableExtent(double value) { return std::isfinite(value) && value > 0 ? value : 0.0; }

}  // namespace

std::shared_ptr<WaterfallLayout> WaterfallLayout::init() {
  return std::shared_ptr<WaterfallLayout>(new WaterfallLayout());
}

WaterfallLayout::WaterfallLayout() : streamLength_(effectiveStreamCount(), 0.0) {}

void WaterfallLayout::setStreamCount(long value) {
  streamCount_ = value;
  invalidateLayout();
}
void WaterfallLayout::setCellSpacing(double value) {
  cellSpacing_ = value;
  invalidateLayout();
}
void WaterfallLayout::setStreamSpacing(double value) {
  streamSpacing_ = value;
  invalidateLayout();
}
void WaterfallLayout::setExpansionRatio(double value) {
  expansionRatio_ = value;
  invalidateLayout();
}
void WaterfallLayout::setDirection(WaterfallLayoutDirection value) {
  direction_ = value;
  invalidateLayout();
}
void WaterfallLayout::setExpansive(bool value) {
  expansive_ = value;
  invalidateLayout();
}

double WaterfallLayout::minLength() const {
  return streamLength_.empty() ? 0.0 : *std::min_element(streamLength_.begin(), streamLength_.end());
}

double WaterfallLayout::maxLength() const {
  return streamLength_.empty() ? 0.0 : *std::max_element(streamLength_.begin(), streamLength_.end());
}

bool WaterfallLayout::canResume(const NSCollectionView& view, double cross,
                                const WaterfallLayoutDelegate* source) const {
  if (!prepared_ || pendingInvalidation().invalidateEverything) return false;
  if (cross != preparedCross_ || source != preparedDelegate_) return false;
  if (streamLength_.size() != effectiveStreamCount() || sections_.empty()) return false;
  std::size_t sections = view.numberOfSections();
  if (sections < sections_.size()) return false;
  for (std::size_t s = 0; s + 1 < sections_.size(); ++s)
    if (view.numberOfItemsInSection(s) != sections_[s].count) return false;
  return view.numberOfItemsInSection(sections_.size() - 1) >= sections_.back().count;
}

void WaterfallLayout::reset() {
  sections_.clear();
  streams_.assign(effectiveStreamCount(), {});
  expanded_.clear();
  headers_.clear();
  streamLength_.assign(effectiveStreamCount(), 0.0);
}

void WaterfallLayout::prepareLayout() {
  auto view = collectionView();
  if (!view) return;
  auto source = delegate.lock();
  NSRect frame = view->frame();
  double cross = isColumns() ? frame.size.width : frame.size.height;
  // A view has no negative or endless extent; treating one as empty keeps every stream finite.
  if (!std::isfinite(cross) || cross < 0) cross = 0;

  if (!canResume(*view, cross, source.get())) reset();
  prepared_ = true;
  preparedCross_ = cross;
  preparedDelegate_ = source.get();
  placedByLastPreparation_ = 0;

  std::size_t sections = view->numberOfSections();
  for (std::size_t s = 0; s < sections; ++s) {
    if (s == sections_.size()) {
      sections_.emplace_back();
      placeHeader(s, source.get());
    }
    Section& section = sections_[s];
    std::size_t count = view->numberOfItemsInSection(s);
    if (source)
      for (std::size_t i = section.count; i < count; ++i) placeItem({i, s}, *source, cross);
    section.count = count;
  }
}

void WaterfallLayout::index(std::vector<Entry>& list, double start, double end, Attributes attributes) {
  double reach = list.empty() ? end : std::max(list.back().reach, end);
  list.push_back({start, reach, std::move(attributes)});
}

void WaterfallLayout::placeHeader(std::size_t section, WaterfallLayoutDelegate* source) {
  NSIndexPath path{0, section};
  auto attributes =
      NSCollectionViewLayoutAttributes::layoutAttributesForSupplementaryViewOfKind(NSCollectionElementKindSectionHeader, path);
  sections_[section].header = attributes;
  if (!source) return;
  auto size = source->sizeForHeaderAtIndexPath(path);
  if (!size) return;
  double w = usableExtent(size->width), h = usableExtent(size->height);
  double level = maxLength();
  double extent = isColumns() ? h : w;
  attributes->frame = isColumns() ? NSMakeRect(0, level, w, h) : NSMakeRect(level, 0, w, h);
  std::fill(streamLength_.begin(), streamLength_.end(), level + extent);
  index(headers_, level, level + extent, attributes);
}

void WaterfallLayout::placeItem(NSIndexPath path, WaterfallLayoutDelegate& source, double cross) {
  double shortest = minLength();
  std::size_t target = 0;
  for (std::size_t k = 0; k < streamLength_.size(); ++k)
    if (streamLength_[k] == shortest) {
      target = k;
      break;
    }
  double sw = cross / static_cast<double>(streamLength_.size());
  auto attributes = NSCollectionViewLayoutAttributes::layoutAttributesForItemWithIndexPath(path);
  double ratio = usableRatio(source.sizeForItemAtIndexPath(path));
  bool expanded = expansive_ && (isColumns() ? ratio : 1.0 / ratio) >= expansionRatio_;

  NSRect r;
  if (isColumns())
    r = expanded ? NSMakeRect(0, maxLength(), cross, cross / ratio)
                 : NSMakeRect(static_cast<double>(target) * sw, streamLength_[target], sw, sw / ratio);
  else
    r = expanded ? NSMakeRect(maxLength(), 0, ratio * cross, cross)
                 : NSMakeRect(streamLength_[target], static_cast<double>(target) * sw, ratio * sw, sw);
  attributes->frame = isColumns() ? insetToNoLessThanNothing(r, cellSpacing_ * 0.5, streamSpacing_ * 0.5)
                                  : insetToNoLessThanNothing(r, streamSpacing_ * 0.5, cellSpacing_ * 0.5);

  double start = isColumns() ? r.minY() : r.minX();
  double extent = isColumns() ? r.height() : r.width();
  if (expanded) {
    double level = maxLength() + extent;
    std::fill(streamLength_.begin(), streamLength_.end(), level);
    index(expanded_, start, start + extent, attributes);
  } else {
    streamLength_[target] += extent;
    index(streams_[target], start, start + extent, attributes);
  }
  sections_[path.section].items.push_back(std::move(attributes));
  ++placedByLastPreparation_;
}

NSSize WaterfallLayout::collectionViewContentSize() const {
  auto view = collectionView();
  if (!view) return NSZeroSize;
  NSRect bounds = view->bounds();
  return isColumns() ? NSMakeSize(bounds.size.width, maxLength()) : NSMakeSize(maxLength(), bounds.size.height);
}

void WaterfallLayout::collect(const std::vector<Entry>& list, NSRect rect,
                              NSCollectionViewLayoutAttributesList& out) const {
  // Frames are the unpadded extents inset by half a spacing; a negative spacing lets a
  // frame reach past its extent by that much, so the search window widens by it.
  double slack = std::max(0.0, -streamSpacing_ * 0.5);
  double low = (isColumns() ? rect.minY() : rect.minX()) - slack;
  double high = (isColumns() ? rect.maxY() : rect.maxX()) + slack;
  auto first = std::partition_point(list.begin(), list.end(), [low](const Entry& e) { return e.reach <= low; });
  for (auto it = first; it != list.end() && it->start < high; ++it)
    if (NSIntersectsRect(it->attributes->frame, rect)) out.push_back(it->attributes);
}

NSCollectionViewLayoutAttributesList WaterfallLayout::layoutAttributesForElementsInRect(NSRect rect) const {
  NSCollectionViewLayoutAttributesList result;
  if (rect.isEmpty()) return result;
  auto source = delegate.lock();
  if (source && source->shouldShowHeaders()) collect(headers_, rect, result);
  for (const auto& stream : streams_) collect(stream, rect, result);
  collect(expanded_, rect, result);
  return result;
}

NSCollectionViewLayoutAttributesList WaterfallLayout::layoutAttributesForElementsInRectByScanning(NSRect rect) const {
  NSCollectionViewLayoutAttributesList result;
  auto source = delegate.lock();
  if (source && source->shouldShowHeaders())
    for (const auto& section : sections_)
      if (NSIntersectsRect(section.header->frame, rect)) result.push_back(section.header);
  for (const auto& section : sections_)
    for (const auto& item : section.items)
      if (NSIntersectsRect(item->frame, rect)) result.push_back(item);
  return result;
}

std::shared_ptr<NSCollectionViewLayoutAttributes> WaterfallLayout::layoutAttributesForSupplementaryViewOfKind(
    std::string_view, NSIndexPath atIndexPath) {
  if (atIndexPath.item != 0 || atIndexPath.section >= sections_.size()) return nullptr;
  return sections_[atIndexPath.section].header;
}

std::shared_ptr<NSCollectionViewLayoutAttributes> WaterfallLayout::layoutAttributesForItemAtIndexPath(
    NSIndexPath indexPath) {
  if (!collectionView() || delegate.expired()) return nullptr;
  if (indexPath.section >= sections_.size()) return nullptr;
  const auto& items = sections_[indexPath.section].items;
  return indexPath.item < items.size() ? items[indexPath.item] : nullptr;
}

bool WaterfallLayout::shouldInvalidateLayoutForBoundsChange(NSRect newBounds) const {
  auto view = collectionView();
  if (!view) return true;
  NSRect bounds = view->bounds();
  return isColumns() ? bounds.size.width != newBounds.size.width : bounds.size.height != newBounds.size.height;
}

std::vector<std::string> WaterfallLayout::invariantViolations() const {
  std::vector<std::string> out;
  if (!prepared_) return out;
  auto name = [](NSIndexPath p) { return std::to_string(p.section) + "-" + std::to_string(p.item); };
  if (streamLength_.size() != effectiveStreamCount()) out.push_back("the stream lengths are not one per stream");
  for (double length : streamLength_)
    if (!std::isfinite(length) || length < 0) out.push_back("a stream length is not finite and positive");
  double end = maxLength();
  // Frames are inset by half a spacing, so a negative spacing lets them reach that far out.
  double slack = std::max({0.0, -cellSpacing_ * 0.5, -streamSpacing_ * 0.5}) + 1e-9;
  std::vector<std::pair<NSRect, std::string>> frames;
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const Section& section = sections_[s];
    if (!delegate.expired() && section.items.size() != section.count)
      out.push_back("section " + std::to_string(s) + " placed " + std::to_string(section.items.size()) + " items of " +
                    std::to_string(section.count));
    for (std::size_t i = 0; i < section.items.size(); ++i) {
      const auto& attributes = section.items[i];
      NSIndexPath path{i, s};
      if (!attributes || attributes->indexPath() != path) {
        out.push_back("item " + name(path) + " is not placed at its own path");
        continue;
      }
      NSRect f = attributes->frame;
      if (!std::isfinite(f.minX()) || !std::isfinite(f.minY()) || !std::isfinite(f.width()) || !std::isfinite(f.height())) {
        out.push_back("item " + name(path) + " has a frame that is not finite");
        continue;
      }
      double low = isColumns() ? f.minY() : f.minX(), high = isColumns() ? f.maxY() : f.maxX();
      double crossLow = isColumns() ? f.minX() : f.minY(), crossHigh = isColumns() ? f.maxX() : f.maxY();
      if (low < -slack || high > end + slack || crossLow < -slack || crossHigh > preparedCross_ + slack)
        out.push_back("item " + name(path) + " lies outside the content");
      frames.emplace_back(f, "item " + name(path));
    }
  }
  // Sorted along the main axis, a frame can only overlap those that start before it ends.
  auto start = [this](NSRect r) { return isColumns() ? r.minY() : r.minX(); };
  auto stop = [this](NSRect r) { return isColumns() ? r.maxY() : r.maxX(); };
  std::sort(frames.begin(), frames.end(), [&](const auto& a, const auto& b) { return start(a.first) < start(b.first); });
  for (std::size_t i = 0; i < frames.size(); ++i)
    for (std::size_t j = i + 1; j < frames.size() && start(frames[j].first) < stop(frames[i].first); ++j) {
      NSRect overlap = NSIntersectionRect(frames[i].first, frames[j].first);
      if (overlap.width() > 1e-9 && overlap.height() > 1e-9)
        out.push_back(frames[i].second + " overlaps " + frames[j].second);
    }
  for (const auto* list : {&expanded_, &headers_}) {
    for (std::size_t k = 1; k < list->size(); ++k)
      if ((*list)[k].start < (*list)[k - 1].start || (*list)[k].reach < (*list)[k - 1].reach)
        out.push_back("the index of spanning elements does not grow along the main axis");
  }
  for (const auto& stream : streams_)
    for (std::size_t k = 1; k < stream.size(); ++k)
      if (stream[k].start < stream[k - 1].start || stream[k].reach < stream[k - 1].reach)
        out.push_back("a stream's index does not grow along the main axis");
  NSRect everything = isColumns() ? NSMakeRect(-slack, -slack, preparedCross_ + 2 * slack, end + 2 * slack)
                                  : NSMakeRect(-slack, -slack, end + 2 * slack, preparedCross_ + 2 * slack);
  auto indexed = layoutAttributesForElementsInRect(everything);
  auto scanned = layoutAttributesForElementsInRectByScanning(everything);
  std::set<const NSCollectionViewLayoutAttributes*> a, b;
  for (const auto& x : indexed) a.insert(x.get());
  for (const auto& x : scanned) b.insert(x.get());
  if (a != b) out.push_back("the index answers differently from a scan");
  return out;
}
