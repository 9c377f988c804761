#include "platform/appkit/NSScrubber.h"

#include <algorithm>

#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSScrubberLayout.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/ScopedValueRollback.h"

std::shared_ptr<NSScrubber> NSScrubber::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSScrubber>(new NSScrubber(frame)));
}

void NSScrubber::setDataSource(const std::shared_ptr<NSScrubberDataSource>& dataSource) {
  dataSource_ = dataSource;
  if (loaded_ || !bounds().isEmpty()) reloadData();
}

void NSScrubber::setScrubberLayout(std::shared_ptr<NSScrubberLayout> layout) {
  if (layout_) layout_->scrubber_.reset();
  layout_ = std::move(layout);
  if (layout_) layout_->scrubber_ = sharedAs<NSScrubber>();
  if (loaded_) reloadData();
}

void NSScrubber::registerClass(ItemViewClass itemViewClass, std::string forItemIdentifier) {
  reusable_.erase(forItemIdentifier);
  registrations_[std::move(forItemIdentifier)] = {std::move(itemViewClass), nullptr};
}

void NSScrubber::registerNib(const std::shared_ptr<NSNib>& nib, std::string forItemIdentifier) {
  reusable_.erase(forItemIdentifier);
  registrations_[std::move(forItemIdentifier)] = {nullptr, nib};
}

std::shared_ptr<NSScrubberItemView> NSScrubber::makeItemWithIdentifier(std::string_view identifier,
                                                                       const std::shared_ptr<NSObject>& owner) {
  if (auto kept = reusable_.find(identifier); kept != reusable_.end() && !kept->second.empty()) {
    auto view = std::move(kept->second.back());
    kept->second.pop_back();
    return view;
  }
  auto registration = registrations_.find(identifier);
  if (registration == registrations_.end()) {
    OutputSink::print("NSScrubber: no item view is registered under the identifier \"" + std::string(identifier) + "\"");
    return nullptr;
  }
  std::shared_ptr<NSScrubberItemView> view;
  if (registration->second.itemViewClass) {
    view = registration->second.itemViewClass();
  } else if (registration->second.nib) {
    std::vector<std::shared_ptr<NSObject>> objects;
    if (registration->second.nib->instantiateWithOwner(owner, &objects)) {
      for (auto& object : objects) {
        if ((view = asA<NSScrubberItemView>(object))) break;
      }
    }
    if (!view) {
      OutputSink::print("NSScrubber: the interface \"" + registration->second.nib->name() + "\" holds no item view");
    }
  }
  if (view) view->reuseIdentifier_ = std::string(identifier);
  return view;
}

void NSScrubber::reloadData() {
  if (tiling_) return;
  loaded_ = true;
  for (auto& [index, view] : shown_) recycle(view);
  shown_.clear();
  auto source = dataSource();
  count_ = source ? source->numberOfItemsForScrubber(sharedAs<NSScrubber>()) : 0;
  if (selectedIndex_ && *selectedIndex_ >= count_) selectedIndex_.reset();
  if (layout_) layout_->prepareLayout();
  clampOffset();
  tile();
}

void NSScrubber::insertItemsAtIndexes(const NSIndexSet& indexes) {
  if (tiling_) return;
  auto source = dataSource();
  const std::size_t newCount = source ? source->numberOfItemsForScrubber(sharedAs<NSScrubber>()) : 0;
  bool fits = loaded_ && newCount == count_ + indexes.count();
  if (fits && !indexes.empty()) fits = *indexes.lastIndex() < newCount;
  if (!fits) {
    reloadData();
    return;
  }
  // An old index moves up by one for every inserted index at or below its new place.
  auto moved = [&indexes](std::size_t index) {
    for (std::size_t inserted : indexes) {
      if (inserted <= index) ++index;
    }
    return index;
  };
  std::map<std::size_t, std::shared_ptr<NSScrubberItemView>> renumbered;
  for (auto& [index, view] : shown_) renumbered.emplace(moved(index), std::move(view));
  shown_ = std::move(renumbered);
  if (selectedIndex_) selectedIndex_ = moved(*selectedIndex_);
  count_ = newCount;
  if (layout_) layout_->prepareLayout();
  clampOffset();
  tile();
}

std::shared_ptr<NSScrubberItemView> NSScrubber::itemViewForItemAtIndex(std::size_t index) const {
  auto found = shown_.find(index);
  return found == shown_.end() ? nullptr : found->second;
}

std::vector<std::size_t> NSScrubber::shownItemIndexes() const {
  std::vector<std::size_t> indexes;
  for (const auto& [index, view] : shown_) indexes.push_back(index);
  return indexes;
}

void NSScrubber::setSelectedIndex(std::optional<std::size_t> index) {
  selectedIndex_ = index && *index < count_ ? index : std::nullopt;
}

void NSScrubber::touchItemAtIndex(std::size_t index) {
  // A finger reaches only what the bar shows.
  if (!shown_.contains(index)) return;
  selectedIndex_ = index;
  if (auto listener = delegate()) listener->scrubberDidSelectItemAtIndex(sharedAs<NSScrubber>(), index);
}

void NSScrubber::scrollItemAtIndex(std::size_t index, NSScrubberAlignment alignment) {
  if (!layout_ || index >= count_) return;
  const NSRect item = layout_->frameForItemAtIndex(index);
  const double width = bounds().size.width;
  switch (alignment) {
    case NSScrubberAlignment::leading: offset_ = item.minX(); break;
    case NSScrubberAlignment::trailing: offset_ = item.maxX() - width; break;
    case NSScrubberAlignment::center: offset_ = item.minX() + item.size.width / 2 - width / 2; break;
    case NSScrubberAlignment::none:
      if (item.minX() < offset_) offset_ = item.minX();
      else if (item.maxX() > offset_ + width) offset_ = item.maxX() - width;
      break;
  }
  clampOffset();
  tile();
}

void NSScrubber::setFrame(NSRect frame) {
  NSView::setFrame(frame);
  if (!loaded_) {
    if (!bounds().isEmpty()) reloadData();
    return;
  }
  if (layout_) layout_->prepareLayout();
  clampOffset();
  tile();
}

void NSScrubber::clampOffset() {
  const double content = layout_ ? layout_->scrubberContentSize().width : 0.0;
  offset_ = std::clamp(offset_, 0.0, std::max(0.0, content - bounds().size.width));
}

void NSScrubber::recycle(const std::shared_ptr<NSScrubberItemView>& view) {
  if (!view) return;
  view->removeFromSuperview();
  if (!view->reuseIdentifier_.empty() && registrations_.contains(view->reuseIdentifier_)) {
    reusable_[view->reuseIdentifier_].push_back(view);
  }
}

void NSScrubber::tile() {
  if (tiling_) return;
  ScopedValueRollback busy(tiling_, true);
  auto self = sharedAs<NSScrubber>();
  std::vector<std::size_t> wanted;
  if (layout_ && !bounds().isEmpty()) {
    NSRect visible = bounds();
    visible.origin.x = offset_;
    wanted = layout_->indexesOfItemsInRect(visible);
  }
  for (auto it = shown_.begin(); it != shown_.end();) {
    if (std::binary_search(wanted.begin(), wanted.end(), it->first)) {
      ++it;
    } else {
      recycle(it->second);
      it = shown_.erase(it);
    }
  }
  auto source = dataSource();
  for (std::size_t index : wanted) {
    auto& view = shown_[index];
    if (!view && source) view = source->scrubberViewForItemAtIndex(self, index);
    if (!view) {
      shown_.erase(index);
      continue;
    }
    NSRect frame = layout_->frameForItemAtIndex(index);
    frame.origin.x -= offset_;
    view->setFrame(frame);
    if (view->superview().get() != this) {
      // Subviews follow the items' order, so that the view tree reads as the strip does.
      auto next = shown_.upper_bound(index);
      while (next != shown_.end() && (!next->second || next->second->superview().get() != this)) ++next;
      if (next != shown_.end()) addSubview(view, NSWindowOrderingMode::below, next->second);
      else addSubview(view);
    }
  }
}
