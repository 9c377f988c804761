#pragma once
// A view that shows the items of a data source, placed by a collection-view layout.

#include <cstddef>
#include <memory>

#include "platform/appkit/NSCollectionViewLayout.h"
#include "platform/appkit/NSIndexPath.h"
#include "platform/appkit/NSIndexSet.h"
#include "platform/appkit/NSView.h"

class NSCollectionView;

class NSCollectionViewDataSource {
 public:
  virtual ~NSCollectionViewDataSource() = default;
  virtual std::size_t numberOfItemsInSection(NSCollectionView& collectionView, std::size_t section) = 0;
  // Optional: one section when not overridden.
  virtual std::size_t numberOfSectionsInCollectionView(NSCollectionView& /*collectionView*/) { return 1; }
};

class NSCollectionView : public NSView {
 public:
  static std::shared_ptr<NSCollectionView> initWithFrame(NSRect frame);

  std::weak_ptr<NSCollectionViewDataSource> dataSource;

  std::shared_ptr<NSCollectionViewLayout> collectionViewLayout() const { return layout_; }
  void setCollectionViewLayout(std::shared_ptr<NSCollectionViewLayout> layout);

  // The counts the view works with: those the data source gave at the last reload or
  // change, so that the layout and the view always agree.
  std::size_t numberOfSections() const { return counts_.size(); }
  std::size_t numberOfItemsInSection(std::size_t section) const;

  // Asks the data source for its counts again and prepares the layout from scratch.
  virtual void reloadData();
  // Tells the view that the data source gained the items at these index paths. The data
  // source's new counts must equal the old ones plus the insertions in every section;
  // otherwise the view prints why, changes nothing and answers false. Items added at the
  // ends of their sections let the layout keep what it placed before.
  virtual bool insertItemsAtIndexPaths(const NSIndexPathSet& indexPaths);
  // The selected items of a single-section view, by index.
  const NSIndexSet& selectionIndexes() const { return selectionIndexes_; }
  virtual void setSelectionIndexes(const NSIndexSet& indexes) { selectionIndexes_ = indexes; }
  bool selectable = false;
  bool allowsMultipleSelection = false;

  // Prepares the layout when it is invalidated.
  void prepareLayoutIfNeeded();

  std::string className() const override { return "NSCollectionView"; }

 protected:
  using NSView::NSView;
  void fetchCounts();
  std::vector<std::size_t> counts_;

 private:
  friend class NSCollectionViewLayout;
  // The layout tells its view that it must be prepared again.
  virtual void layoutInvalidated() { setNeedsLayout(true); }
  std::shared_ptr<NSCollectionViewLayout> layout_;
  NSIndexSet selectionIndexes_;
};
