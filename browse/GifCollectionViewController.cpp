#include "browse/GifCollectionViewController.h"

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSOperationQueue.h"
#include "collections/Collection.h"
#include "model/VNTag.h"
#include "service/AssetCache.h"
#include "service/VNStreamRequester.h"
#include "service/VNTagRequester.h"
#include "ui/ProgressIndicator.h"

namespace {

bool isSponsored(const std::shared_ptr<NSObject>& object) {
  auto vorn = std::dynamic_pointer_cast<VornObject>(object);
  return vorn && vorn->featureData && vorn->advertisingSourceID;
}

}  // namespace

GifCollectionViewController::GifCollectionViewController() : DraggableAdTrackingCollectionViewController("") {}

GifCollectionViewController::~GifCollectionViewController() {
  if (downloader) downloader->cancelAll();
}

void GifCollectionViewController::loadView() {
  const auto frame = NSMakeRect(0, 0, 300, 400);
  auto root = NSView::initWithFrame(frame);
  auto scroll = GifCollectionScrollView::initWithFrame(frame);
  scroll->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
  auto collection = CollectionViewDisabledResponsiveScrolling::initWithFrame(frame);
  auto waterfall = WaterfallLayout::init();
  collection->setCollectionViewLayout(waterfall);
  scroll->setDocumentView(collection);
  root->addSubview(scroll);
  auto spinner = NSProgressIndicator::initWithFrame(NSMakeRect(134, 184, 32, 32));
  spinner->style = NSProgressIndicatorStyle::spinning;
  spinner->displayedWhenStopped = false;
  root->addSubview(spinner);
  mainCollectionView = collection;
  layout = waterfall;
  loadingIndicator = spinner;
  setView(root);
}

void GifCollectionViewController::viewDidLoad() {
  DraggableAdTrackingCollectionViewController::viewDidLoad();
  auto self = std::static_pointer_cast<GifCollectionViewController>(shared_from_this());
  if (auto collection = mainCollectionView.lock()) {
    collection->registerClass([] { return GifCell::make(); }, std::string(Constants::cellIdentifier));
    collection->dataSource = self;
    collection->delegate = self;
  }
  if (auto scroll = enclosingScrollView()) {
    scroll->setWantsLayer(true);
    scroll->hasVerticalScroller = false;
    scroll->hasHorizontalScroller = false;
    auto r = scroll->documentVisibleRect();
    lastVerticalContentOffset = r.origin.y - r.size.height;
  }
  if (auto waterfall = layout.lock()) {
    waterfall->delegate = self;
    waterfall->setExpansive(false);
    waterfall->invalidateLayout();
  }
  downloader->setDelegate(self);
  NSNotificationCenter::defaultCenter()->addObserver(self, &GifCollectionViewController::scrollViewDidScroll,
                                                     NSScrollView::Constants::didLiveScrollNotification, nullptr);
}

bool GifCollectionViewController::canFetchMore() const {
  if (!requester) return false;
  if (std::dynamic_pointer_cast<VNTagRequester>(requester)) return false;
  return requester->canFetchMore();
}

void GifCollectionViewController::fetchPage() {
  fetchLock_ = true;
  std::weak_ptr<GifCollectionViewController> weak =
      std::static_pointer_cast<GifCollectionViewController>(shared_from_this());
  auto generation = generation_;
  requester->fetchWithCallback([weak, generation](bool success, std::optional<VNRequester::Content> content) {
    // The reply comes on the network's thread; the grid is only touched on the main thread.
    NSOperationQueue::mainQueue()->addOperationWithBlock([weak, generation, success, content = std::move(content)] {
      if (auto grid = weak.lock()) grid->contentFetched(generation, success, content);
    });
  });
}

void GifCollectionViewController::reload() {
  ++generation_;
  fetchLock_ = false;
  forgetFailures();
  auto scroll = enclosingScrollView();
  scrollViewHeightPreTransform = scroll ? scroll->documentVisibleRect().size.height : 0;
  auto& main = contentList[mainContentDisplaySection];
  main.insert(main.end(), preContent.begin(), preContent.end());
  auto collection = mainCollectionView.lock();
  if (collection) collection->reloadData();
  if (requester) {
    if (auto spinner = loadingIndicator.lock()) spinner->startAnimation(nullptr);
    awaitingFirstPage_ = true;
    fetchPage();
    return;
  }
  auto listener = delegate.lock();
  if (main.empty()) {
    if (listener) listener->didRetrieveEmptyContentList();
  } else {
    if (collection) collection->reloadData();
    if (listener) listener->didRetrieveContentWithContent(main);
  }
}

void GifCollectionViewController::contentFetched(std::uint64_t generation, bool success,
                                                 std::optional<VNRequester::Content> content) {
  // A reply to an earlier search or stream belongs to a grid that is gone.
  if (generation != generation_) return;
  fetchLock_ = false;
  auto spinner = loadingIndicator.lock();
  if (!success || !content) {
    // Without stopping here the spinner would turn for ever.
    if (spinner) spinner->stopAnimation(nullptr);
    pageFailed();
    return;
  }
  forgetFailures();
  awaitingFirstPage_ = false;
  VNRequester::Content page;
  for (const auto& object : *content) {
    auto vorn = std::dynamic_pointer_cast<VornObject>(object);
    bool pinned = vorn && std::ranges::any_of(preContent, [&](const auto& pre) {
                    auto other = std::dynamic_pointer_cast<VornObject>(pre);
                    return other && other->isEqual(vorn);
                  });
    if (!pinned) page.push_back(object);
  }
  auto collection = mainCollectionView.lock();
  auto shown = collection ? collection->numberOfItemsInSection(mainContentDisplaySection) : 0;
  auto& main = contentList[mainContentDisplaySection];
  main.insert(main.end(), page.begin(), page.end());
  if (spinner) spinner->stopAnimation(nullptr);
  if (collection) {
    if (shown < 1) collection->reloadData();
    else insertItemsAtIndexStart(shown);
  }
  auto listener = delegate.lock();
  if (!listener) return;
  if (!canFetchMore() && main.empty()) listener->didRetrieveEmptyContentList();
  else listener->didRetrieveContentWithContent(*content);
}

void GifCollectionViewController::pageFailed() {
  std::weak_ptr<GifCollectionViewController> weak = sharedAs<GifCollectionViewController>();
  retry_.failed([weak] {
    auto grid = weak.lock();
    if (!grid) return;
    // A first page is asked for again whatever the requester says of further pages (a list
    // of tags has none); a later one only when the user is still near the end.
    if (grid->awaitingFirstPage_ && grid->requester && !grid->fetchLock_) grid->fetchPage();
    else grid->pageIfNeeded(grid->enclosingScrollView());
  });
  if (!contentList[mainContentDisplaySection].empty() || !isViewLoaded() || failureLabel_.lock()) return;
  // A first page that failed would leave an empty white grid: the user is told why.
  auto root = view();
  const NSRect bounds = root->bounds();
  auto label = NSTextField::labelWithString(std::string(Constants::failedText));
  label->setAlignment(NSTextAlignment::center);
  label->setFrame(NSMakeRect(10, bounds.size.height / 2 - 11, std::max(0.0, bounds.size.width - 20), 22));
  label->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin | NSViewMaxYMargin;
  root->addSubview(label);
  failureLabel_ = label;
}

void GifCollectionViewController::forgetFailures() {
  retry_.succeeded();
  if (auto label = failureLabel_.lock()) label->removeFromSuperview();
  failureLabel_.reset();
}

void GifCollectionViewController::insertItemsAtIndexStart(std::size_t start) {
  auto collection = mainCollectionView.lock();
  if (!collection) return;
  NSIndexPathSet paths;
  for (auto i = start; i < contentList[mainContentDisplaySection].size(); ++i)
    paths.insert({i, mainContentDisplaySection});
  if (!paths.empty()) collection->insertItemsAtIndexPaths(paths);
}

void GifCollectionViewController::pageIfNeeded(const std::shared_ptr<GifCollectionScrollView>& scroll) {
  if (!scroll || fetchLock_ || !canFetchMore() || !retry_.mayAsk()) return;
  auto waterfall = layout.lock();
  double h = waterfall ? waterfall->collectionViewContentSize().height : 0;
  auto r = scroll->documentVisibleRect();
  // Strictly past the threshold: exactly at it is not yet near enough.
  if (r.origin.y > h - r.size.height - Constants::pagingThreshold) fetchPage();
}

void GifCollectionViewController::scrollViewDidScroll(const std::shared_ptr<NSNotification>& notification) {
  auto scroll = enclosingScrollView();
  if (!scroll || notification->object() != std::static_pointer_cast<NSObject>(scroll)) return;
  pageIfNeeded(scroll);
  logViewsForPendingPromotedContent();
  auto r = scroll->documentVisibleRect();
  double current = r.origin.y - scrollViewHeightPreTransform;
  if (auto listener = delegate.lock()) listener->gifCollectionScrollViewDidScroll(scroll, lastVerticalContentOffset, current);
  lastVerticalContentOffset = current;
}

void GifCollectionViewController::reset() {
  ++generation_;
  cancelActiveDownloads();
  if (requester) requester->cancelRequest();
  // The reply that would have stopped the spinner belongs to the generation just left.
  if (auto spinner = loadingIndicator.lock()) spinner->stopAnimation(nullptr);
  forgetFailures();
  awaitingFirstPage_ = false;
  for (auto& section : contentList) section.clear();
  requester = nullptr;
  preContent.clear();
  indexPathsForPromotedContent.clear();
  indexPathsForTrackedPromotedContent.clear();
  indexPathsForPendingPromotedContent.clear();
  if (auto collection = mainCollectionView.lock()) collection->reloadData();
  if (auto scroll = enclosingScrollView()) {
    auto r = scroll->documentVisibleRect();
    lastVerticalContentOffset = r.origin.y - r.size.height;
  }
}

void GifCollectionViewController::unload() {
  downloader->cancelAll();
  auto collection = mainCollectionView.lock();
  if (!collection) return;
  for (const auto& item : collection->visibleItems())
    if (auto cell = std::dynamic_pointer_cast<GifCell>(item)) cell->unload();
}

// The visible tiles are made anew, as a tile scrolled back into view is: their media come
// again from the cache and play from their start. Nothing of what `unload` let go is kept,
// so a closed panel holds no players or decoded frames.
void GifCollectionViewController::restore() {
  if (auto collection = mainCollectionView.lock()) collection->reloadItemsAtIndexPaths(collection->indexPathsForVisibleItems());
}

void GifCollectionViewController::setActiveDownloadWithUrl(const std::shared_ptr<NSURL>& url, NSIndexPath path) {
  activeDownloadPaths[url->absoluteString()].push_back(path);
}

void GifCollectionViewController::cancelActiveDownloads() {
  downloader->cancelAll();
  activeDownloadPaths.clear();
}

std::size_t GifCollectionViewController::numberOfSectionsInCollectionView(NSCollectionView&) {
  return contentList.size();
}

std::size_t GifCollectionViewController::numberOfItemsInSection(NSCollectionView&, std::size_t section) {
  if (section < sectionEnableMap.size() && !sectionEnableMap[section]) return 0;
  return section < contentList.size() ? contentList[section].size() : 0;
}

void GifCollectionViewController::setNumberOfSections(std::size_t count) {
  contentList.assign(count, {});
  sectionEnableMap.assign(count, true);
}

void GifCollectionViewController::setContentForMainSection(std::vector<std::shared_ptr<NSObject>> content) {
  contentList[mainContentDisplaySection] = std::move(content);
}

void GifCollectionViewController::mediaDownload(const std::string& address, DownloadFileType type, NSIndexPath path,
                                                bool waits) {
  auto url = NSURL::URLWithString(address);
  if (!url) return;
  if (waits) setActiveDownloadWithUrl(url, path);
  downloader->downloadMedia(url, type);
}

std::shared_ptr<NSCollectionViewItem> GifCollectionViewController::itemForRepresentedObjectAtIndexPath(
    NSCollectionView& view, NSIndexPath path) {
  const auto& object = contentList[path.section][path.item];
  auto cell = std::dynamic_pointer_cast<GifCell>(view.makeItemWithIdentifier(Constants::cellIdentifier, path));
  if (!cell) return NSCollectionViewItem::make();
  auto self = std::dynamic_pointer_cast<GifCollectionCellDelegate>(shared_from_this());
  if (auto tag = std::dynamic_pointer_cast<VNTag>(object)) {
    cell->configureWithTag(tag);
    cell->simulateProgress();
    cell->delegate = self;
    cell->shouldAspectFillGif = true;
    mediaDownload(tag->categoryCoverGifURL, DownloadFileType::gif, path);
    return cell;
  }
  if (auto vorn = std::dynamic_pointer_cast<VornObject>(object)) {
    cell->configureWithVorn(vorn);
    cell->simulateProgress();
    cell->delegate = self;
    cell->showOverlayOnMouseover = shouldShowOverlayOnVornMouseover;
    cell->canDragCell = true;
    if (isSponsored(vorn)) {
      indexPathsForPromotedContent.insert(path);
      configure(cell, path, vorn);
    }
    if (vorn->tinyMp4Url && NSURL::URLWithString(*vorn->tinyMp4Url)) {
      mediaDownload(*vorn->tinyMp4Url, DownloadFileType::mp4, path);
      // Only fills the cache, from which a drag out reads the GIF.
      mediaDownload(vorn->tinyGifUrl, DownloadFileType::gif, path, false);
    } else {
      mediaDownload(vorn->tinyGifUrl, DownloadFileType::gif, path);
    }
    return cell;
  }
  if (auto pack = std::dynamic_pointer_cast<Collection>(object)) {
    cell->configureWithCollection(pack);
    cell->shouldAspectFillGif = true;
    cell->delegate = self;
    if (auto preview = pack->previewURL()) mediaDownload(preview->absoluteString(), DownloadFileType::gif, path);
    return cell;
  }
  return NSCollectionViewItem::make();
}

void GifCollectionViewController::didEndDisplayingItem(NSCollectionView&, const std::shared_ptr<NSCollectionViewItem>& item,
                                                       NSIndexPath) {
  if (auto resettable = std::dynamic_pointer_cast<ResettableCell>(item)) resettable->reset();
}

NSSize GifCollectionViewController::sizeForItemAtIndexPath(NSIndexPath path) {
  const auto& object = contentList[path.section][path.item];
  auto vorn = std::dynamic_pointer_cast<VornObject>(object);
  if (vorn && vorn->dims && (vorn->dims->width != 0 || vorn->dims->height != 0)) return *vorn->dims;
  double h = isViewLoaded() ? view()->frame().size.height : 0;
  auto tag = std::dynamic_pointer_cast<VNTag>(object);
  if (tag && tag->displayWidthToHeightRatio) return {h * *tag->displayWidthToHeightRatio, h};
  return {h * 1.9344, h};
}

void GifCollectionViewController::didClick(const std::shared_ptr<GifCell>& cell) {
  auto collection = mainCollectionView.lock();
  auto path = collection ? collection->indexPathForItem(cell) : std::nullopt;
  if (!path) return;
  if (auto listener = delegate.lock()) listener->cellTapped(contentList[path->section][path->item], cell);
}

void GifCollectionViewController::didClickUsernameLabel(const std::string& text) {
  if (auto listener = delegate.lock()) listener->usernameTapped(text);
}

void GifCollectionViewController::didRequestLogin() {
  if (auto listener = delegate.lock()) listener->loginRequested();
}

void GifCollectionViewController::didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type,
                                                                        const std::shared_ptr<VornObject>& vorn) {
  if (auto listener = delegate.lock()) listener->didShareFromEllipsesMenuWithShareType(type, vorn);
}

void GifCollectionViewController::reportSuccessfulDragWithDraggedVorn(const std::shared_ptr<VornObject>& vorn) {
  if (auto listener = dragDelegate.lock()) listener->successfulDragEndedWithVorn(vorn);
}

NSRect GifCollectionViewController::getDragFrameWithCellFrame(NSRect cellFrame) {
  auto collection = mainCollectionView.lock();
  auto superview = collection ? collection->superview() : nullptr;
  NSRect frame = superview ? superview->convertRectToView(cellFrame, nullptr) : NSZeroRect;
  if (auto waterfall = layout.lock()) {
    frame.origin.x -= waterfall->streamSpacing() + waterfall->cellSpacing() * 0.5;
    frame.origin.y -= waterfall->streamSpacing();
  }
  return frame;
}

void GifCollectionViewController::didProgress(const std::shared_ptr<NSURL>& url, double percentage) {
  if (!url) return;
  std::weak_ptr<GifCollectionViewController> weak =
      std::static_pointer_cast<GifCollectionViewController>(shared_from_this());
  NSOperationQueue::mainQueue()->addOperationWithBlock([weak, key = url->absoluteString(), percentage] {
    auto grid = weak.lock();
    if (!grid) return;
    auto found = grid->activeDownloadPaths.find(key);
    auto collection = grid->mainCollectionView.lock();
    if (found == grid->activeDownloadPaths.end() || !collection) return;
    for (auto path : found->second) {
      auto cell = std::dynamic_pointer_cast<GifCell>(collection->itemAtIndexPath(path));
      auto indicator = cell ? cell->indicator.lock() : nullptr;
      if (!indicator) continue;
      indicator->setHidden(false);
      indicator->setValue(std::max(indicator->value(), percentage), true, 0.5);
    }
  });
}

void GifCollectionViewController::downloadCompletedWithUrl(const std::shared_ptr<NSURL>& url,
                                                           const std::optional<std::string>& cacheKey,
                                                           std::optional<DownloadFileType> fileType,
                                                           DownloadCompleteStatus status) {
  if (!url) return;
  std::weak_ptr<GifCollectionViewController> weak =
      std::static_pointer_cast<GifCollectionViewController>(shared_from_this());
  NSOperationQueue::mainQueue()->addOperationWithBlock([weak, key = url->absoluteString(), cacheKey, fileType, status] {
    if (auto grid = weak.lock()) grid->completeDownload(key, cacheKey, fileType, status);
  });
}

void GifCollectionViewController::completeDownload(const std::string& url, const std::optional<std::string>& cacheKey,
                                                   std::optional<DownloadFileType> fileType,
                                                   DownloadCompleteStatus status) {
  auto found = activeDownloadPaths.find(url);
  if (found == activeDownloadPaths.end()) return;
  // The entry goes with its answer: a grid scrolled through thousands of tiles would
  // otherwise keep a key for every address it ever asked for.
  auto paths = std::move(found->second);
  activeDownloadPaths.erase(found);
  if (status == DownloadCompleteStatus::fileTooLarge || status == DownloadCompleteStatus::failedToDownload) return;
  auto collection = mainCollectionView.lock();
  if (!collection) return;
  for (auto path : paths) {
    auto cell = std::dynamic_pointer_cast<GifCell>(collection->itemAtIndexPath(path));
    if (!cell) continue;
    if (fileType == DownloadFileType::mp4) {
      auto file = cacheKey ? AssetCache::shared()->storagePathForKey(*cacheKey) : nullptr;
      if (!file) continue;
      cell->playMovieWithFilePath(file);
      mediaShownAt(path);
      continue;
    }
    // Read and decoded off the main thread: a page of tiles arriving at once would stall it.
    std::weak_ptr<GifCollectionViewController> weak = sharedAs<GifCollectionViewController>();
    cell->loadAnimatedImage(
        [url, cacheKey, status] { return CollectionViewGifDownloader::sourceOfMedia(url, cacheKey, status); },
        [weak, path] {
          if (auto grid = weak.lock()) grid->mediaShownAt(path);
        });
  }
}

void GifCollectionViewController::mediaShownAt(NSIndexPath path) {
  if (path.section >= contentList.size() || path.item >= contentList[path.section].size()) return;
  const auto& object = contentList[path.section][path.item];
  if (indexPathsForPromotedContent.contains(path) && isSponsored(object)) {
    auto vorn = std::static_pointer_cast<VornObject>(object);
    attemptAdvertisementLoggingAt(path, *vorn->advertisingSourceID, vorn->pixels);
  }
}
