#pragma once
// A collection view laid out by a WaterfallLayout, fed from plain lists of sizes: the
// data source and the layout delegate of the waterfall tests and benchmarks.

#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "browse/CollectionViewDisabledResponsiveScrolling.h"
#include "browse/GifCollectionScrollView.h"
#include "browse/WaterfallLayout.h"
#include "platform/appkit/NSCollectionView.h"

// Item sizes with sides drawn evenly from [shortest, longest), the same for the same seed.
inline std::vector<NSSize> randomSizes(std::size_t count, unsigned seed, double shortest = 100, double longest = 500) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> side(shortest, longest);
  std::vector<NSSize> sizes(count);
  for (auto& size : sizes) size = {side(random), side(random)};
  return sizes;
}

class WaterfallSizes : public NSCollectionViewDataSource, public WaterfallLayoutDelegate {
 public:
  std::vector<std::vector<NSSize>> items;
  std::vector<std::optional<NSSize>> headers;  // none: no header size for the section
  bool answersHeaderSizes = false;
  bool showHeaders = false;
  std::size_t sizeQueries = 0;
  // Makes the item of a path; without it the view shows plain items.
  std::function<std::shared_ptr<NSCollectionViewItem>(NSCollectionView&, NSIndexPath)> makeItem;

  std::size_t numberOfSectionsInCollectionView(NSCollectionView&) override { return items.size(); }
  std::size_t numberOfItemsInSection(NSCollectionView&, std::size_t section) override { return items[section].size(); }
  NSSize sizeForItemAtIndexPath(NSIndexPath p) override {
    ++sizeQueries;
    return items[p.section][p.item];
  }
  std::shared_ptr<NSCollectionViewItem> itemForRepresentedObjectAtIndexPath(NSCollectionView& view,
                                                                            NSIndexPath p) override {
    return makeItem ? makeItem(view, p) : nullptr;
  }
  bool shouldShowHeaders() override { return showHeaders; }
  std::optional<NSSize> sizeForHeaderAtIndexPath(NSIndexPath p) override {
    if (!answersHeaderSizes || p.section >= headers.size()) return std::nullopt;
    return headers[p.section];
  }
};

// The broken rules of a collection view and of its waterfall together; none when all hold.
inline std::vector<std::string> gridViolations(const NSCollectionView& view, const WaterfallLayout& layout) {
  auto out = view.invariantViolations();
  for (auto& line : layout.invariantViolations()) out.push_back(std::move(line));
  return out;
}

struct WaterfallGrid {
  std::shared_ptr<WaterfallSizes> sizes = std::make_shared<WaterfallSizes>();
  std::shared_ptr<WaterfallLayout> layout = WaterfallLayout::init();
  std::shared_ptr<NSCollectionView> view;

  explicit WaterfallGrid(NSRect frame) : view(NSCollectionView::initWithFrame(frame)) {
    view->dataSource = sizes;
    layout->delegate = sizes;
    view->setCollectionViewLayout(layout);
  }
  std::vector<std::string> invariantViolations() const { return gridViolations(*view, *layout); }
  NSRect frameOf(std::size_t item, std::size_t section = 0) const {
    auto attributes = layout->layoutAttributesForItemAtIndexPath({item, section});
    return attributes ? attributes->frame : NSMakeRect(-1, -1, -1, -1);
  }
  // Adds items at the end of the last section and tells the view.
  bool append(const std::vector<NSSize>& page) {
    NSIndexPathSet paths;
    std::size_t s = sizes->items.size() - 1;
    for (const auto& size : page) {
      paths.insert({sizes->items[s].size(), s});
      sizes->items[s].push_back(size);
    }
    return view->insertItemsAtIndexPaths(paths);
  }
};

// The grid as the application builds it: the waterfall in a collection view that prepares
// only what is visible, inside the grid's scroll view.
struct ScrolledWaterfallGrid {
  std::shared_ptr<WaterfallSizes> sizes = std::make_shared<WaterfallSizes>();
  std::shared_ptr<WaterfallLayout> layout = WaterfallLayout::init();
  std::shared_ptr<GifCollectionScrollView> scrollView;
  std::shared_ptr<CollectionViewDisabledResponsiveScrolling> view;

  explicit ScrolledWaterfallGrid(NSSize viewport)
      : scrollView(GifCollectionScrollView::initWithFrame({NSZeroPoint, viewport})),
        view(CollectionViewDisabledResponsiveScrolling::initWithFrame({NSZeroPoint, viewport})) {
    view->dataSource = sizes;
    layout->delegate = sizes;
    view->setCollectionViewLayout(layout);
    scrollView->setDocumentView(view);
  }
  std::vector<std::string> invariantViolations() const { return gridViolations(*view, *layout); }
  // The items the layout itself places in the visible part of the grid.
  NSIndexPathSet itemsMeetingVisibleRect() const {
    NSIndexPathSet paths;
    for (const auto& attributes : layout->layoutAttributesForElementsInRect(scrollView->documentVisibleRect()))
      if (attributes->representedElementCategory() == NSCollectionElementCategory::item)
        paths.insert(attributes->indexPath());
    return paths;
  }
};
