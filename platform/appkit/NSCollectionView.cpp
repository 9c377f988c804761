#include "platform/appkit/NSCollectionView.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/appkit/NSClipView.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/foundation/KeepAlive.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/ScopedValueRollback.h"

std::shared_ptr<NSCollectionView> NSCollectionView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSCollectionView>(new NSCollectionView(frame)));
}

void NSCollectionView::setCollectionViewLayout(std::shared_ptr<NSCollectionViewLayout> layout) {
  if (layout_) layout_->setCollectionView(nullptr);
  layout_ = std::move(layout);
  if (layout_) layout_->setCollectionView(sharedAs<NSCollectionView>());
  refreshContent();
}

std::size_t NSCollectionView::numberOfItemsInSection(std::size_t section) const {
  return section < counts_.size() ? counts_[section] : 0;
}

bool NSCollectionView::isValid(NSIndexPath path) const {
  return path.section < counts_.size() && path.item < counts_[path.section];
}

void NSCollectionView::fetchCounts() {
  loaded_ = true;
  counts_.clear();
  auto source = dataSource.lock();
  if (!source) return;
  std::size_t sections = source->numberOfSectionsInCollectionView(*this);
  for (std::size_t s = 0; s < sections; ++s) counts_.push_back(source->numberOfItemsInSection(*this, s));
}

// ---- registration and reuse ---------------------------------------------------------

void NSCollectionView::registerClass(ItemClass itemClass, std::string forItemWithIdentifier) {
  registrations_[{std::string(), std::move(forItemWithIdentifier)}] = {std::move(itemClass), nullptr, nullptr};
}

void NSCollectionView::registerNib(const std::shared_ptr<NSNib>& nib, std::string forItemWithIdentifier) {
  registrations_[{std::string(), std::move(forItemWithIdentifier)}] = {nullptr, nullptr, nib};
}

void NSCollectionView::registerClass(SupplementaryViewClass viewClass, std::string_view forSupplementaryViewOfKind,
                                     std::string withIdentifier) {
  registrations_[{std::string(forSupplementaryViewOfKind), std::move(withIdentifier)}] = {nullptr, std::move(viewClass),
                                                                                         nullptr};
}

void NSCollectionView::registerNib(const std::shared_ptr<NSNib>& nib, std::string_view forSupplementaryViewOfKind,
                                   std::string withIdentifier) {
  registrations_[{std::string(forSupplementaryViewOfKind), std::move(withIdentifier)}] = {nullptr, nullptr, nib};
}

namespace {

// The item an interface made: its first top-level item, given the first top-level view
// when the interface did not connect one.
std::shared_ptr<NSCollectionViewItem> itemFromNib(NSNib& nib) {
  std::vector<std::shared_ptr<NSObject>> objects;
  if (!nib.instantiateWithOwner(nullptr, &objects)) return nullptr;
  std::shared_ptr<NSCollectionViewItem> item;
  std::shared_ptr<NSView> firstView;
  for (auto& object : objects) {
    if (!item) item = asA<NSCollectionViewItem>(object);
    if (!firstView) firstView = asA<NSView>(object);
  }
  if (!item) {
    OutputSink::print("NSCollectionView: the interface \"" + nib.name() + "\" holds no collection-view item");
    return nullptr;
  }
  if (!item->isViewLoaded()) {
    if (!firstView) return item;  // the view then loads as the item's own
    item->setView(firstView);
  }
  // The view came with the interface rather than through loadView.
  item->viewDidLoad();
  return item;
}

std::shared_ptr<NSView> viewFromNib(NSNib& nib) {
  std::vector<std::shared_ptr<NSObject>> objects;
  if (!nib.instantiateWithOwner(nullptr, &objects)) return nullptr;
  for (auto& object : objects)
    if (auto view = asA<NSView>(object)) return view;
  OutputSink::print("NSCollectionView: the interface \"" + nib.name() + "\" holds no view");
  return nullptr;
}

}  // namespace

std::shared_ptr<NSObject> NSCollectionView::dequeue(const PoolKey& key) {
  auto pool = pools_.find(key);
  if (pool == pools_.end() || pool->second.empty()) return nullptr;
  auto element = std::move(pool->second.back());
  pool->second.pop_back();
  return element;
}

std::shared_ptr<NSCollectionViewItem> NSCollectionView::makeItemWithIdentifier(std::string_view identifier,
                                                                                NSIndexPath /*forIndexPath*/) {
  PoolKey key{std::string(), std::string(identifier)};
  if (auto item = std::static_pointer_cast<NSCollectionViewItem>(dequeue(key))) {
    item->prepareForReuse();
    return item;
  }
  std::shared_ptr<NSCollectionViewItem> item;
  if (auto registration = registrations_.find(key); registration != registrations_.end()) {
    if (registration->second.itemClass) item = registration->second.itemClass();
    else if (registration->second.nib) item = itemFromNib(*registration->second.nib);
  } else {
    OutputSink::print("NSCollectionView: no item is registered under the identifier \"" + key.second + "\"");
  }
  if (!item) return NSCollectionViewItem::make();  // shown, but not reused under the identifier
  item->collectionView_ = sharedAs<NSCollectionView>();
  item->reuseIdentifier_ = key.second;
  item->loadViewIfNeeded();
  return item;
}

std::shared_ptr<NSView> NSCollectionView::makeSupplementaryViewOfKind(std::string_view elementKind,
                                                                      std::string_view withIdentifier,
                                                                      NSIndexPath /*forIndexPath*/) {
  PoolKey key{std::string(elementKind), std::string(withIdentifier)};
  if (auto view = std::static_pointer_cast<NSView>(dequeue(key))) return view;
  std::shared_ptr<NSView> view;
  if (auto registration = registrations_.find(key); registration != registrations_.end()) {
    if (registration->second.viewClass) view = registration->second.viewClass();
    else if (registration->second.nib) view = viewFromNib(*registration->second.nib);
  } else {
    OutputSink::print("NSCollectionView: no " + key.first + " view is registered under the identifier \"" +
                      key.second + "\"");
  }
  if (!view) return NSView::initWithFrame(NSZeroRect);
  std::erase_if(supplementaryOrigins_, [](const auto& entry) { return entry.second.first.expired(); });
  supplementaryOrigins_[view.get()] = {view, key};
  return view;
}

// ---- content --------------------------------------------------------------------------

void NSCollectionView::reloadData() {
  endDisplayingEverything();
  fetchCounts();
  std::erase_if(selectionIndexPaths_, [this](const NSIndexPath& p) { return !isValid(p); });
  if (layout_) layout_->invalidateLayout();
  refreshContent();
}

void NSCollectionView::prepareLayoutIfNeeded() {
  if (layout_) layout_->prepareIfNeeded();
}

bool NSCollectionView::insertItemsAtIndexPaths(const NSIndexPathSet& indexPaths) {
  auto before = counts_;
  fetchCounts();
  if (auto mismatch = insertMismatch(before, indexPaths); !mismatch.empty()) {
    counts_ = std::move(before);
    OutputSink::print("NSCollectionView: invalid insert refused: " + mismatch);
    return false;
  }
  moveElementsPastInsertion(indexPaths);
  invalidateLayoutForInsertion(before, indexPaths);
  refreshContent();
  return true;
}

std::string NSCollectionView::insertMismatch(const std::vector<std::size_t>& before,
                                             const NSIndexPathSet& indexPaths) const {
  if (counts_.size() != before.size())
    return "the data source has " + std::to_string(counts_.size()) + " sections instead of " +
           std::to_string(before.size());
  std::map<std::size_t, std::size_t> added;
  for (const auto& path : indexPaths) ++added[path.section];
  for (std::size_t s = 0; s < counts_.size(); ++s) {
    std::size_t expected = before[s] + (added.contains(s) ? added[s] : 0);
    if (counts_[s] != expected)
      return "section " + std::to_string(s) + " has " + std::to_string(counts_[s]) + " items in the data source, " +
             std::to_string(expected) + " expected after the insert";
  }
  for (const auto& [section, count] : added)
    if (section >= counts_.size())
      return "an insert names section " + std::to_string(section) + ", which does not exist";
  for (const auto& path : indexPaths)
    if (path.item >= counts_[path.section])
      return "inserted item " + std::to_string(path.item) + " lies beyond the " +
             std::to_string(counts_[path.section]) + " items of section " + std::to_string(path.section);
  return {};
}

void NSCollectionView::moveElementsPastInsertion(const NSIndexPathSet& indexPaths) {
  // Elements after an inserted one move on: the old item i lands on the i-th position of its
  // section that was not inserted (inserted paths are new positions, in ascending order).
  auto moved = [&indexPaths](NSIndexPath path) {
    for (auto it = indexPaths.lower_bound({0, path.section}); it != indexPaths.end() && it->section == path.section; ++it) {
      if (it->item <= path.item) ++path.item;
      else break;
    }
    return path;
  };
  std::map<NSIndexPath, std::shared_ptr<NSCollectionViewItem>> displayed;
  for (auto& [path, item] : displayedItems_) displayed[moved(path)] = item;
  displayedItems_ = std::move(displayed);
  NSIndexPathSet selection;
  for (const auto& path : selectionIndexPaths_) selection.insert(moved(path));
  selectionIndexPaths_ = std::move(selection);
}

void NSCollectionView::invalidateLayoutForInsertion(const std::vector<std::size_t>& before,
                                                    const NSIndexPathSet& indexPaths) {
  if (!layout_) return;
  // Items appended at the tails of their sections let the layout keep what it placed.
  bool appended = std::ranges::all_of(indexPaths, [&before](const NSIndexPath& p) { return p.item >= before[p.section]; });
  NSCollectionViewLayoutInvalidationContext context;
  context.invalidateEverything = !appended;
  context.invalidateDataSourceCounts = true;
  layout_->invalidateLayoutWithContext(context);
}

void NSCollectionView::reloadItemsAtIndexPaths(const NSIndexPathSet& indexPaths) {
  for (const auto& path : indexPaths)
    if (auto it = displayedItems_.find(path); it != displayedItems_.end()) endDisplayingItem(path, it->second);
  // The data source may answer other sizes for the reloaded items.
  if (layout_) layout_->invalidateLayout();
  refreshContent();
}

void NSCollectionView::layout() {
  NSView::layout();
  refreshContent();
}

void NSCollectionView::setFrame(NSRect frame) {
  if (frame == this->frame()) return;
  if (layout_ && layout_->shouldInvalidateLayoutForBoundsChange(NSRect{bounds().origin, frame.size}))
    layout_->invalidateLayout();
  NSView::setFrame(frame);
  refreshContent();
}

void NSCollectionView::ancestorWasLaidOut() {
  // Only its own frame and its clip view's bounds prepare it again otherwise: a container
  // that grows from nothing would leave it empty where it now shows.
  const NSRect visible = visibleRect();
  if (!visible.isEmpty() && !NSContainsRect(preparedRect_, visible)) refreshContent();
}

void NSCollectionView::viewDidMoveToSuperview() {
  NSView::viewDidMoveToSuperview();
  observeClipView();
  refreshContent();
}

void NSCollectionView::observeClipView() {
  clipObservation_.reset();
  auto clip = asA<NSClipView>(superview());
  if (!clip) return;
  std::weak_ptr<NSCollectionView> weak = sharedAs<NSCollectionView>();
  clipObservation_ = NSNotificationCenter::defaultCenter()->addObserverForName(
      NSClipView::Constants::boundsDidChangeNotification, clip, nullptr, [weak](const std::shared_ptr<NSNotification>&) {
        if (auto self = weak.lock()) self->refreshContent();
      });
}

void NSCollectionView::refreshContent() {
  if (refreshing_) return;
  KeepAlive keep(*this);
  {
    ScopedValueRollback refreshing(refreshing_, true);
    // A view shown before anyone reloaded it loads its data first.
    if (!loaded_ && !dataSource.expired()) fetchCounts();
    // Fitting the frame can change the width the layout depends on; a few rounds settle it.
    for (int round = 0; round < 3 && layout_; ++round) {
      prepareLayoutIfNeeded();
      fitFrameToContent();
      if (!layout_->needsPrepare()) break;
    }
    if (auto clip = asA<NSClipView>(superview())) clip->scrollToPoint(clip->bounds().origin);
  }
  // Outside a view tree nothing is visible; without this a view whose frame has grown to
  // its content would make every element at once.
  if (!superview()) {
    endDisplayingEverything();
    return;
  }
  prepareContentInRect(proposedContentRect());
}

void NSCollectionView::fitFrameToContent() {
  auto clip = asA<NSClipView>(superview());
  if (!clip || !layout_) return;
  NSSize content = layout_->collectionViewContentSize();
  NSSize visible = clip->bounds().size;
  NSSize size = layout_->scrollDirection() == NSCollectionViewScrollDirection::vertical
                    ? NSMakeSize(visible.width, std::max(content.height, visible.height))
                    : NSMakeSize(std::max(content.width, visible.width), visible.height);
  if (!std::isfinite(size.width) || !std::isfinite(size.height)) return;
  setFrameSize(size);
}

NSRect NSCollectionView::proposedContentRect() const {
  NSRect visible = visibleRect();
  if (visible.isEmpty()) return visible;
  return NSInsetRect(visible, -visible.width() * Constants::overdrawFraction,
                     -visible.height() * Constants::overdrawFraction);
}

void NSCollectionView::prepareContentInRect(NSRect rect) {
  if (refreshing_) return;
  KeepAlive keep(*this);
  prepareLayoutIfNeeded();
  preparedRect_ = rect;
  std::map<NSIndexPath, NSRect> items;
  std::map<SupplementaryKey, NSRect> supplementary;
  if (layout_ && !rect.isEmpty()) {
    for (const auto& attributes : layout_->layoutAttributesForElementsInRect(rect)) {
      if (!attributes || attributes->hidden) continue;
      NSIndexPath path = attributes->indexPath();
      switch (attributes->representedElementCategory()) {
        case NSCollectionElementCategory::item:
          if (isValid(path)) items[path] = attributes->frame;
          break;
        case NSCollectionElementCategory::supplementaryView:
          if (path.section < counts_.size()) supplementary[{attributes->representedElementKind(), path}] = attributes->frame;
          break;
        default:
          break;
      }
    }
  }
  // Leaving elements first, so that those arriving can reuse them.
  std::vector<std::pair<NSIndexPath, std::shared_ptr<NSCollectionViewItem>>> leaving;
  for (const auto& [path, item] : displayedItems_)
    if (!items.contains(path)) leaving.emplace_back(path, item);
  for (const auto& [path, item] : leaving) endDisplayingItem(path, item);
  std::vector<std::pair<SupplementaryKey, std::shared_ptr<NSView>>> leavingViews;
  for (const auto& [key, view] : displayedSupplementary_)
    if (!supplementary.contains(key)) leavingViews.emplace_back(key, view);
  for (const auto& [key, view] : leavingViews) endDisplayingSupplementary(key, view);

  for (const auto& [path, frame] : items) {
    if (auto it = displayedItems_.find(path); it != displayedItems_.end()) {
      if (it->second->isViewLoaded()) it->second->view()->setFrame(frame);
    } else {
      displayItem(path, frame);
    }
  }
  for (const auto& [key, frame] : supplementary) {
    if (auto it = displayedSupplementary_.find(key); it != displayedSupplementary_.end()) {
      it->second->setFrame(frame);
    } else {
      displaySupplementary(key, frame);
    }
  }
}

void NSCollectionView::displayItem(NSIndexPath path, NSRect frame) {
  auto source = dataSource.lock();
  auto item = source ? source->itemForRepresentedObjectAtIndexPath(*this, path) : nullptr;
  if (!item) item = NSCollectionViewItem::make();
  item->collectionView_ = sharedAs<NSCollectionView>();
  bool selected = selectionIndexPaths_.contains(path);
  if (item->isSelected() != selected) item->setSelected(selected);
  auto view = item->view();
  view->setFrame(frame);
  if (view->superview().get() != this) addSubview(view);
  displayedItems_[path] = item;
  if (auto listener = delegate.lock()) listener->willDisplayItem(*this, item, path);
}

void NSCollectionView::displaySupplementary(const SupplementaryKey& key, NSRect frame) {
  auto source = dataSource.lock();
  auto view = source ? source->viewForSupplementaryElementOfKind(*this, key.first, key.second) : nullptr;
  if (!view) return;
  view->setFrame(frame);
  if (view->superview().get() != this) addSubview(view);
  displayedSupplementary_[key] = view;
  if (auto listener = delegate.lock()) listener->willDisplaySupplementaryView(*this, view, key.first, key.second);
}

void NSCollectionView::endDisplayingItem(NSIndexPath path, std::shared_ptr<NSCollectionViewItem> item) {
  // A callback may already have ended it (a reload from the delegate, say): end it once,
  // so that it enters its pool once.
  auto shown = displayedItems_.find(path);
  if (shown == displayedItems_.end() || shown->second != item) return;
  displayedItems_.erase(shown);
  if (item->isViewLoaded()) item->view()->removeFromSuperview();
  if (auto listener = delegate.lock()) listener->didEndDisplayingItem(*this, item, path);
  if (!item->reuseIdentifier_.empty() && item->collectionView_.lock().get() == this)
    pools_[{std::string(), item->reuseIdentifier_}].push_back(item);
}

void NSCollectionView::endDisplayingSupplementary(SupplementaryKey key, std::shared_ptr<NSView> view) {
  auto shown = displayedSupplementary_.find(key);
  if (shown == displayedSupplementary_.end() || shown->second != view) return;
  displayedSupplementary_.erase(shown);
  view->removeFromSuperview();
  if (auto listener = delegate.lock()) listener->didEndDisplayingSupplementaryView(*this, view, key.first, key.second);
  if (auto origin = supplementaryOrigins_.find(view.get());
      origin != supplementaryOrigins_.end() && origin->second.first.lock() == view)
    pools_[origin->second.second].push_back(view);
}

void NSCollectionView::endDisplayingEverything() {
  auto items = displayedItems_;
  for (const auto& [path, item] : items) endDisplayingItem(path, item);
  auto views = displayedSupplementary_;
  for (const auto& [key, view] : views) endDisplayingSupplementary(key, view);
}

// ---- displayed elements ---------------------------------------------------------------

std::vector<std::shared_ptr<NSCollectionViewItem>> NSCollectionView::visibleItems() const {
  std::vector<std::shared_ptr<NSCollectionViewItem>> items;
  items.reserve(displayedItems_.size());
  for (const auto& [path, item] : displayedItems_) items.push_back(item);
  return items;
}

NSIndexPathSet NSCollectionView::indexPathsForVisibleItems() const {
  NSIndexPathSet paths;
  for (const auto& [path, item] : displayedItems_) paths.insert(paths.end(), path);
  return paths;
}

std::shared_ptr<NSCollectionViewItem> NSCollectionView::itemAtIndexPath(NSIndexPath indexPath) const {
  auto it = displayedItems_.find(indexPath);
  return it == displayedItems_.end() ? nullptr : it->second;
}

std::optional<NSIndexPath> NSCollectionView::indexPathForItem(const std::shared_ptr<NSCollectionViewItem>& item) const {
  for (const auto& [path, shown] : displayedItems_)
    if (shown == item) return path;
  return std::nullopt;
}

std::optional<NSIndexPath> NSCollectionView::indexPathForItemAtPoint(NSPoint point) const {
  for (const auto& [path, item] : displayedItems_)
    if (item->isViewLoaded() && NSPointInRect(point, item->view()->frame())) return path;
  return std::nullopt;
}

std::shared_ptr<NSView> NSCollectionView::supplementaryViewForElementKind(std::string_view elementKind,
                                                                          NSIndexPath atIndexPath) const {
  auto it = displayedSupplementary_.find({std::string(elementKind), atIndexPath});
  return it == displayedSupplementary_.end() ? nullptr : it->second;
}

std::shared_ptr<NSCollectionViewLayoutAttributes> NSCollectionView::layoutAttributesForItemAtIndexPath(
    NSIndexPath indexPath) const {
  if (!layout_ || !isValid(indexPath)) return nullptr;
  layout_->prepareIfNeeded();
  return layout_->layoutAttributesForItemAtIndexPath(indexPath);
}

std::shared_ptr<NSCollectionViewLayoutAttributes> NSCollectionView::layoutAttributesForSupplementaryElementOfKind(
    std::string_view kind, NSIndexPath atIndexPath) const {
  if (!layout_ || atIndexPath.section >= counts_.size()) return nullptr;
  layout_->prepareIfNeeded();
  return layout_->layoutAttributesForSupplementaryViewOfKind(kind, atIndexPath);
}

std::shared_ptr<NSScrollView> NSCollectionView::enclosingScrollView() const {
  for (auto view = superview(); view; view = view->superview())
    if (auto scrollView = asA<NSScrollView>(view)) return scrollView;
  return nullptr;
}

namespace {
// The start of the visible span along one axis that puts [low, high) where asked: at the
// leading edge, centred, at the trailing edge, or (nearest) moved as little as shows it.
double placeSpan(double low, double high, double start, double length, bool leading, bool centred, bool trailing) {
  if (leading) return low;
  if (centred) return (low + high) / 2 - length / 2;
  if (trailing) return high - length;
  if (low < start || high - low > length) return low;
  if (high > start + length) return high - length;
  return start;
}
}  // namespace

void NSCollectionView::scrollToItemsAtIndexPaths(const NSIndexPathSet& indexPaths,
                                                 NSCollectionViewScrollPosition scrollPosition) {
  auto scrollView = enclosingScrollView();
  if (!scrollView || !layout_) return;
  std::optional<NSRect> target;
  for (const auto& path : indexPaths)
    if (auto attributes = layoutAttributesForItemAtIndexPath(path))
      target = target ? NSUnionRect(*target, attributes->frame) : attributes->frame;
  if (!target) return;
  NSRect visible = visibleRect();
  auto has = [scrollPosition](NSCollectionViewScrollPosition flag) { return (scrollPosition & flag) != 0; };
  NSPoint origin{
      placeSpan(target->minX(), target->maxX(), visible.minX(), visible.width(), has(NSCollectionViewScrollPositionLeft),
                has(NSCollectionViewScrollPositionCenteredHorizontally), has(NSCollectionViewScrollPositionRight)),
      placeSpan(target->minY(), target->maxY(), visible.minY(), visible.height(), has(NSCollectionViewScrollPositionTop),
                has(NSCollectionViewScrollPositionCenteredVertically), has(NSCollectionViewScrollPositionBottom))};
  auto clip = scrollView->contentView();
  clip->scrollToPoint(clip->convertPoint(origin, sharedAs<NSView>()));
}

// ---- selection ------------------------------------------------------------------------

void NSCollectionView::setSelectionIndexPaths(const NSIndexPathSet& indexPaths) {
  selectionIndexPaths_ = indexPaths;
  applySelectionToItems();
}

NSIndexSet NSCollectionView::selectionIndexes() const {
  NSIndexSet indexes;
  for (const auto& path : selectionIndexPaths_)
    if (path.section == 0) indexes.addIndex(path.item);
  return indexes;
}

void NSCollectionView::setSelectionIndexes(const NSIndexSet& indexes) {
  NSIndexPathSet paths;
  for (auto index : indexes) paths.insert(paths.end(), {index, 0});
  setSelectionIndexPaths(paths);
}

void NSCollectionView::selectItemsAtIndexPaths(const NSIndexPathSet& indexPaths,
                                               NSCollectionViewScrollPosition scrollPosition) {
  if (indexPaths.empty()) return;
  if (!allowsMultipleSelection) selectionIndexPaths_ = {*indexPaths.begin()};
  else selectionIndexPaths_.insert(indexPaths.begin(), indexPaths.end());
  applySelectionToItems();
  if (scrollPosition != NSCollectionViewScrollPositionNone) scrollToItemsAtIndexPaths(indexPaths, scrollPosition);
}

void NSCollectionView::deselectItemsAtIndexPaths(const NSIndexPathSet& indexPaths) {
  for (const auto& path : indexPaths) selectionIndexPaths_.erase(path);
  applySelectionToItems();
}

void NSCollectionView::applySelectionToItems() {
  auto items = displayedItems_;
  for (const auto& [path, item] : items) {
    bool selected = selectionIndexPaths_.contains(path);
    if (item->isSelected() != selected) item->setSelected(selected);
  }
}

void NSCollectionView::mouseDown(const std::shared_ptr<NSEvent>& event) {
  if (!selectable || !event) {
    NSView::mouseDown(event);
    return;
  }
  auto path = indexPathForItemAtPoint(convertPoint(event->locationInWindow(), nullptr));
  bool extend = allowsMultipleSelection &&
                (event->modifierFlags() & (NSEventModifierFlagCommand | NSEventModifierFlagShift)) != 0;
  selectByClick(path, extend);
}

void NSCollectionView::selectByClick(std::optional<NSIndexPath> path, bool extend) {
  NSIndexPathSet old = selectionIndexPaths_, selected, deselected;
  if (!path) {
    if (extend || !allowsEmptySelection || old.empty()) return;
    deselected = old;
    selectionIndexPaths_.clear();
  } else if (extend) {
    if (old.contains(*path)) {
      if (old.size() == 1 && !allowsEmptySelection) return;
      selectionIndexPaths_.erase(*path);
      deselected = {*path};
    } else {
      selectionIndexPaths_.insert(*path);
      selected = {*path};
    }
  } else {
    if (old == NSIndexPathSet{*path}) return;
    for (const auto& p : old)
      if (p != *path) deselected.insert(p);
    if (!old.contains(*path)) selected = {*path};
    selectionIndexPaths_ = {*path};
  }
  KeepAlive keep(*this);
  applySelectionToItems();
  auto listener = delegate.lock();
  if (!listener) return;
  if (!deselected.empty()) listener->didDeselectItemsAtIndexPaths(*this, deselected);
  if (!selected.empty()) listener->didSelectItemsAtIndexPaths(*this, selected);
}

std::vector<std::string> NSCollectionView::invariantViolations() const {
  std::vector<std::string> out;
  auto name = [](NSIndexPath p) { return std::to_string(p.section) + "-" + std::to_string(p.item); };
  std::set<const NSObject*> pooled;
  for (const auto& [key, pool] : pools_)
    for (const auto& element : pool) pooled.insert(element.get());
  std::set<const NSCollectionViewItem*> seen;
  for (const auto& [path, item] : displayedItems_) {
    if (!isValid(path)) out.push_back("item " + name(path) + " is displayed at a path the data has not");
    if (!item) {
      out.push_back("item " + name(path) + " is displayed as nothing");
      continue;
    }
    if (!seen.insert(item.get()).second) out.push_back("item " + name(path) + " is displayed at two paths");
    if (pooled.contains(item.get())) out.push_back("item " + name(path) + " is displayed and pooled");
    if (!item->isViewLoaded()) continue;
    auto view = item->view();
    if (view->superview().get() != this) out.push_back("item " + name(path) + "'s view is not a subview");
    if (layout_) {
      auto attributes = layout_->layoutAttributesForItemAtIndexPath(path);
      if (attributes && view->frame() != attributes->frame) out.push_back("item " + name(path) + " is off its layout frame");
    }
  }
  for (const auto& [key, view] : displayedSupplementary_) {
    if (!view) continue;
    if (view->superview().get() != this) out.push_back(key.first + " " + name(key.second) + " is not a subview");
    if (pooled.contains(view.get())) out.push_back(key.first + " " + name(key.second) + " is displayed and pooled");
  }
  if (!superview()) {
    if (!displayedItems_.empty()) out.push_back("items are displayed out of the view tree");
  } else if (layout_ && !refreshing_ && !needsLayout() && !layout_->needsPrepare() &&
             !preparedRect_.isEmpty()) {
    NSIndexPathSet meeting;
    for (const auto& attributes : layout_->layoutAttributesForElementsInRect(preparedRect_))
      if (attributes && !attributes->hidden &&
          attributes->representedElementCategory() == NSCollectionElementCategory::item && isValid(attributes->indexPath()))
        meeting.insert(attributes->indexPath());
    for (const auto& path : meeting)
      if (!displayedItems_.contains(path)) out.push_back("item " + name(path) + " meets the prepared area but is not displayed");
    for (const auto& [path, item] : displayedItems_)
      if (!meeting.contains(path)) out.push_back("item " + name(path) + " is displayed outside the prepared area");
  }
  for (const auto& path : selectionIndexPaths_)
    if (!isValid(path)) out.push_back("item " + name(path) + " is selected at a path the data has not");
  return out;
}
