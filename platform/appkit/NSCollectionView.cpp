#include "platform/appkit/NSCollectionView.h"

#include <map>

#include "platform/foundation/OutputSink.h"

std::shared_ptr<NSCollectionView> NSCollectionView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSCollectionView>(new NSCollectionView(frame)));
}

void NSCollectionView::setCollectionViewLayout(std::shared_ptr<NSCollectionViewLayout> layout) {
  if (layout_) layout_->setCollectionView(nullptr);
  layout_ = std::move(layout);
  if (layout_) layout_->setCollectionView(sharedAs<NSCollectionView>());
}

std::size_t NSCollectionView::numberOfItemsInSection(std::size_t section) const {
  return section < counts_.size() ? counts_[section] : 0;
}

void NSCollectionView::fetchCounts() {
  counts_.clear();
  auto source = dataSource.lock();
  if (!source) return;
  std::size_t sections = source->numberOfSectionsInCollectionView(*this);
  for (std::size_t s = 0; s < sections; ++s) counts_.push_back(source->numberOfItemsInSection(*this, s));
}

void NSCollectionView::reloadData() {
  fetchCounts();
  if (layout_) layout_->invalidateLayout();
  prepareLayoutIfNeeded();
}

void NSCollectionView::prepareLayoutIfNeeded() {
  if (layout_) layout_->prepareIfNeeded();
}

bool NSCollectionView::insertItemsAtIndexPaths(const NSIndexPathSet& indexPaths) {
  auto before = counts_;
  std::map<std::size_t, std::size_t> added;
  for (const auto& path : indexPaths) ++added[path.section];
  fetchCounts();
  std::string mismatch;
  if (counts_.size() != before.size()) {
    mismatch = "the data source has " + std::to_string(counts_.size()) + " sections instead of " + std::to_string(before.size());
  } else {
    for (std::size_t s = 0; s < counts_.size() && mismatch.empty(); ++s) {
      std::size_t expected = before[s] + (added.contains(s) ? added[s] : 0);
      if (counts_[s] != expected)
        mismatch = "section " + std::to_string(s) + " has " + std::to_string(counts_[s]) +
                   " items in the data source, " + std::to_string(expected) + " expected after the insert";
    }
    for (const auto& [section, count] : added)
      if (section >= counts_.size() && mismatch.empty())
        mismatch = "an insert names section " + std::to_string(section) + ", which does not exist";
  }
  if (mismatch.empty()) {
    for (const auto& path : indexPaths)
      if (path.item >= counts_[path.section])
        mismatch = "inserted item " + std::to_string(path.item) + " lies beyond the " +
                   std::to_string(counts_[path.section]) + " items of section " + std::to_string(path.section);
  }
  if (!mismatch.empty()) {
    counts_ = std::move(before);
    OutputSink::print("NSCollectionView: invalid insert refused: " + mismatch);
    return false;
  }
  // Appended items: every inserted path lies in the tail of its section.
  bool appended = true;
  for (const auto& path : indexPaths)
    if (path.item < before[path.section]) appended = false;
  if (layout_) {
    NSCollectionViewLayoutInvalidationContext context;
    context.invalidateEverything = !appended;
    context.invalidateDataSourceCounts = true;
    layout_->invalidateLayoutWithContext(context);
  }
  prepareLayoutIfNeeded();
  return true;
}
