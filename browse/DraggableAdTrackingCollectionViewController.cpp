#include "browse/DraggableAdTrackingCollectionViewController.h"

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "service/AdvertisingLogger.h"
#include "service/AssetCache.h"
#include "ui/NSCollectionViewExtensions.h"
#include "service/GlobalKeys.h"

std::shared_ptr<DraggableAdTrackingCollectionViewController> DraggableAdTrackingCollectionViewController::initWithNibName(
    std::string nibName) {
  return std::shared_ptr<DraggableAdTrackingCollectionViewController>(
      new DraggableAdTrackingCollectionViewController(std::move(nibName)));
}

std::shared_ptr<GifCollectionScrollView> DraggableAdTrackingCollectionViewController::enclosingScrollView() {
  if (!isViewLoaded()) return nullptr;
  auto collection = mainCollectionView.lock();
  return collection ? std::dynamic_pointer_cast<GifCollectionScrollView>(collection->enclosingScrollView()) : nullptr;
}

void DraggableAdTrackingCollectionViewController::setScrollingEnabled(bool enabled) {
  scrollingEnabled_ = enabled;
  if (auto scroll = enclosingScrollView()) scroll->isEnabled = enabled;
}

void DraggableAdTrackingCollectionViewController::didBeginDrag(const std::shared_ptr<GifCell>& cell,
                                                               const std::shared_ptr<VornObject>& vorn,
                                                               const std::shared_ptr<NSEvent>& event) {
  if (currentDraggingVorn || !cell || !vorn) return;
  auto image = cell->getCurrentImage();
  if (!image) return;
  currentDraggingVorn = vorn;
  auto item = NSPasteboardItem::make();
  item->setDataProvider(std::dynamic_pointer_cast<NSPasteboardItemDataProvider>(shared_from_this()),
                        {kUTTypeGIF, kUTTypeFileURL, kUTTypePlainText});
  auto dragging = NSDraggingItem::initWithPasteboardWriter(item);
  dragging->setDraggingFrame(getDragFrameWithCellFrame(cell->view()->frame()), image);
  auto values = std::make_shared<DragBegin>();
  values->draggingItem = dragging;
  values->event = event;
  values->source = std::dynamic_pointer_cast<NSDraggingSource>(shared_from_this());
  values->view = view();
  NSNotificationCenter::defaultCenter()->postNotificationName(std::string(GlobalKeys::dragBeginNotificationName), values);
  // When nobody began a session (no observer, or the view has no window) no end will come:
  // the drag is over before it started, and the next one must be free to begin.
  auto session = NSDraggingSession::current();
  if (!session || session->hasEnded() || session->source() != values->source) currentDraggingVorn = nullptr;
}

NSDragOperation DraggableAdTrackingCollectionViewController::draggingSession(
    const std::shared_ptr<NSDraggingSession>& /*session*/, NSDraggingContext /*context*/) {
  return NSDragOperationCopy;
}

void DraggableAdTrackingCollectionViewController::draggingSession(const std::shared_ptr<NSDraggingSession>& /*session*/,
                                                                  NSPoint /*endedAtPoint*/, NSDragOperation operation) {
  if (operation != NSDragOperationNone && currentDraggingVorn) {
    reportSuccessfulDragWithDraggedVorn(currentDraggingVorn);
  } else {
    NSNotificationCenter::defaultCenter()->postNotificationName(std::string(GlobalKeys::dragEndNotificationName), nullptr);
  }
  currentDraggingVorn = nullptr;
}

void DraggableAdTrackingCollectionViewController::pasteboard(const std::shared_ptr<NSPasteboard>& pasteboard,
                                                             const std::shared_ptr<NSPasteboardItem>& /*item*/,
                                                             const NSPasteboardType& type) {
  if (!pasteboard || !currentDraggingVorn) return;
  auto cached = AssetCache::shared()->storagePathForKey(currentDraggingVorn->tinyGifUrl);
  if (type == kUTTypeGIF) {
    if (!cached) return;
    if (auto bytes = NSFileManager::defaultManager()->contentsAtPath(cached->path())) pasteboard->setData(bytes, type);
  } else if (type == kUTTypeFileURL) {
    if (cached) pasteboard->setString(cached->absoluteString(), type);
  } else if (type == kUTTypePlainText) {
    if (auto web = currentDraggingVorn->webUrl()) pasteboard->setString(*web, type);
  }
}

void DraggableAdTrackingCollectionViewController::logAdvertisementViewAt(
    NSIndexPath path, const std::string& sourceID, const std::optional<std::vector<std::string>>& pixels) {
  if (!indexPathsForTrackedPromotedContent.contains(path)) {
    AdvertisingLogger::didViewSearchSessionContentWithSourceID(sourceID, pixels);
    indexPathsForTrackedPromotedContent.insert(path);
  }
  AdvertisingLogger::didViewContentWithSourceID(sourceID);
}

void DraggableAdTrackingCollectionViewController::attemptAdvertisementLoggingAt(
    NSIndexPath path, const std::string& sourceID, const std::optional<std::vector<std::string>>& pixels) {
  if (isCellFullyVisibleAt(mainCollectionView.lock(), path)) logAdvertisementViewAt(path, sourceID, pixels);
  else indexPathsForPendingPromotedContent.insert(path);
}

void DraggableAdTrackingCollectionViewController::logViewsForPendingPromotedContent() {
  auto collection = mainCollectionView.lock();
  if (!collection || indexPathsForPendingPromotedContent.empty()) return;
  auto visible = collection->indexPathsForVisibleItems();
  NSIndexPathSet logged;
  for (auto path : indexPathsForPendingPromotedContent) {
    if (!visible.contains(path) || !isCellFullyVisibleAt(collection, path)) continue;
    if (path.section >= contentList.size() || path.item >= contentList[path.section].size()) continue;
    auto vorn = std::dynamic_pointer_cast<VornObject>(contentList[path.section][path.item]);
    if (!vorn || !vorn->featureData || !vorn->advertisingSourceID) continue;
    logAdvertisementViewAt(path, *vorn->advertisingSourceID, vorn->pixels);
    logged.insert(path);
  }
  for (auto path : logged) indexPathsForPendingPromotedContent.erase(path);
}

void DraggableAdTrackingCollectionViewController::configure(const std::shared_ptr<GifCell>& cell, NSIndexPath,
                                                            const std::shared_ptr<VornObject>& promotedVorn) {
  if (!cell || !promotedVorn || !promotedVorn->adBadgeData) return;
  const auto& badge = *promotedVorn->adBadgeData;
  if (badge.badgePosition == AdBadgePosition::noBadge) return;
  auto url = badge.badgeAssetUrl();
  if (!url) return;
  cell->applyAdBadgePosition(badge.badgePosition);
  cell->showAdBadgeWithImage(url);
}
