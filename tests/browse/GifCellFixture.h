#pragma once
// The fixture of the tile suites: the collections' fixture (stand-in, store, sign-in) with a
// clean pasteboard and media cache, and tiles made, loaded and configured as a grid makes them.

#include "browse/GifCell.h"
#include "model/VNTag.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSPasteboard.h"
#include "service/AssetCache.h"
#include "tests/collections/CollectionsFixture.h"

class GifCellFixture : public CollectionsTest {
 protected:
  void SetUp() override {
    CollectionsTest::SetUp();
    NSPasteboard::resetPasteboards();
    // The process's media cache outlives each test's HOME: start from an empty one.
    AssetCache::shared()->setMapping({});
    AssetCache::shared()->setOrder({});
  }

  // A GIF tile as a grid configures it: reset, the item, early progress, hover and drag on.
  std::shared_ptr<GifCell> tile(const std::shared_ptr<VornObject>& vorn) {
    auto cell = GifCell::make();
    cell->loadViewIfNeeded();
    cell->reset();
    cell->configureWithVorn(vorn);
    cell->simulateProgress();
    cell->showOverlayOnMouseover = true;
    cell->canDragCell = true;
    return cell;
  }

  // A tile in a view, with an owner, showing a (still) GIF.
  std::shared_ptr<GifCell> shownTile(const std::shared_ptr<VornObject>& vorn,
                                     const std::shared_ptr<GifCollectionCellDelegate>& owner,
                                     const std::shared_ptr<NSView>& parent) {
    auto cell = tile(vorn);
    cell->delegate = owner;
    parent->addSubview(cell->view());
    cell->updateAnimatedImageWithImage(sizedImage({100, 100}));
    return cell;
  }

  // The tile made a tag's tile, as home's grid makes it: reset, then a tag of that title.
  static void showTag(GifCell& cell, const std::string& title) {
    cell.reset();
    auto tag = VNTag::initWithNewApiData({});
    tag->categoryTitle = title;
    cell.configureWithTag(tag);
  }

  // An image claiming any size, also one without area.
  static std::shared_ptr<NSImage> sizedImage(NSSize size) {
    auto image = NSImage::imageWithPixels(1, 1, {0, 0, 0, 255});
    image->setSize(size);
    return image;
  }
};
