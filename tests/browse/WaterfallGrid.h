#pragma once
// A collection view laid out by a WaterfallLayout, fed from plain lists of sizes: the
// data source and the layout delegate of the waterfall tests and benchmarks.

#include <memory>
#include <optional>
#include <vector>

#include "browse/WaterfallLayout.h"
#include "platform/appkit/NSCollectionView.h"

class WaterfallSizes : public NSCollectionViewDataSource, public WaterfallLayoutDelegate {
 public:
  std::vector<std::vector<NSSize>> items;
  std::vector<std::optional<NSSize>> headers;  // none: no header size for the section
  bool answersHeaderSizes = false;
  bool showHeaders = false;
  std::size_t sizeQueries = 0;

  std::size_t numberOfSectionsInCollectionView(NSCollectionView&) override { return items.size(); }
  std::size_t numberOfItemsInSection(NSCollectionView&, std::size_t section) override { return items[section].size(); }
  NSSize sizeForItemAtIndexPath(NSIndexPath p) override {
    ++sizeQueries;
    return items[p.section][p.item];
  }
  bool shouldShowHeaders() override { return showHeaders; }
  std::optional<NSSize> sizeForHeaderAtIndexPath(NSIndexPath p) override {
    if (!answersHeaderSizes || p.section >= headers.size()) return std::nullopt;
    return headers[p.section];
  }
};

struct WaterfallGrid {
  std::shared_ptr<WaterfallSizes> sizes = std::make_shared<WaterfallSizes>();
  std::shared_ptr<WaterfallLayout> layout = WaterfallLayout::init();
  std::shared_ptr<NSCollectionView> view;

  explicit WaterfallGrid(NSRect frame) : view(NSCollectionView::initWithFrame(frame)) {
    view->dataSource = sizes;
    layout->delegate = sizes;
    view->setCollectionViewLayout(layout);
  }
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
