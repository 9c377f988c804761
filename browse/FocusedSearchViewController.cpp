#include "browse/FocusedSearchViewController.h"

#include "browse/FocusedSearchCollectionViewHeader.h"
#include "model/TelescopeUnit.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSTextField.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSOperationQueue.h"
#include "service/AdvertisingLogger.h"
#include "service/AssetCache.h"
#include "service/NetworkUtilities.h"
#include "ui/NSCollectionViewExtensions.h"

namespace {

std::shared_ptr<VornObject> sponsoredVorn(const std::shared_ptr<NSObject>& object) {
  auto vorn = asA<VornObject>(object);
  return vorn && vorn->featureData && vorn->advertisingSourceID ? vorn : nullptr;
}

// Units of a reply's entries, in their order; entries that make no unit are left out.
std::vector<std::shared_ptr<NSObject>> unitsOf(const TelescopePayload::List& entries) {
  std::vector<std::shared_ptr<NSObject>> units;
  for (const auto& entry : entries) {
    if (auto unit = TelescopeUnit::initWithApiResponse(entry)) units.push_back(*unit);
  }
  return units;
}

}  // namespace

std::shared_ptr<FocusedSearchViewController> FocusedSearchViewController::initWithNibName(std::string nibName) {
  registerInterface();
  return create(nibName.empty() ? std::string(Constants::interfaceName) : std::move(nibName));
}

FocusedSearchViewController::~FocusedSearchViewController() {
  if (downloader) downloader->cancelAll();
}

void FocusedSearchViewController::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), [](const std::shared_ptr<NSObject>& owner) {
      const auto frame = NSMakeRect(0, 0, 480, 120);
      auto root = NSView::initWithFrame(frame);
      auto scroll = GifCollectionScrollView::initWithFrame(frame);
      scroll->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
      auto strip = CollectionViewDisabledResponsiveScrolling::initWithFrame(frame);
      auto flow = NSCollectionViewFlowLayout::init();
      flow->setScrollDirection(NSCollectionViewScrollDirection::horizontal);
      flow->setMinimumInteritemSpacing(5);
      flow->setMinimumLineSpacing(5);
      strip->setCollectionViewLayout(flow);
      scroll->setDocumentView(strip);
      root->addSubview(scroll);
      if (auto screen = asA<FocusedSearchViewController>(owner)) {
        screen->setView(root);
        screen->mainCollectionView = strip;
        screen->collectionViewLayout = flow;
      }
      return std::vector<std::shared_ptr<NSObject>>{root};
    });
    return true;
  }();
  (void)registered;
}

namespace {
const bool focusedSearchInterfaceRegistered = (FocusedSearchViewController::registerInterface(), true);
}  // namespace

void FocusedSearchViewController::viewDidLoad() {
  DraggableAdTrackingCollectionViewController::viewDidLoad();
  auto self = sharedAs<FocusedSearchViewController>();
  contentList = {{}, {}};
  auto strip = mainCollectionView.lock();
  strip->registerClass([] { return GifCell::make(); }, std::string(Constants::cellIdentifier));
  strip->registerNib(NSNib::initWithNibNamed(Constants::headerInterface), NSCollectionElementKindSectionHeader,
                     std::string(Constants::headerIdentifier));
  strip->dataSource = self;
  strip->delegate = self;
  if (auto scroll = strip->enclosingScrollView()) {
    scroll->verticalScroller()->setAlphaValue(0.0);
    scroll->horizontalScroller()->setAlphaValue(0.0);
    scroll->hasVerticalScroller = false;
    scroll->hasHorizontalScroller = false;
  }
  downloader->setDelegate(self);
  loadData();
  NSNotificationCenter::defaultCenter()->addObserver(self, &FocusedSearchViewController::scrollViewDidScroll,
                                                     NSScrollView::Constants::didLiveScrollNotification, nullptr);
}

std::shared_ptr<VNStreamRequester> FocusedSearchViewController::trendingContentRequester() {
  if (!trendingContentRequester_) trendingContentRequester_ = VNStreamRequester::getForTrendingContent();
  return trendingContentRequester_;
}

void FocusedSearchViewController::setCurrentSearchTerm(std::optional<std::string> term) {
  currentSearchTerm_ = std::move(term);
  currentMode = currentSearchTerm_ ? Mode::search : Mode::trendingGifs;
  if (isViewLoaded()) loadData();
}

void FocusedSearchViewController::loadData() {
  reset();
  if (currentMode == Mode::trendingGifs) {
    // A new stream: the end of an earlier one must not keep this one from paging.
    trendingContentRequester_ = VNStreamRequester::getForTrendingContent();
    fetchTrendingPage(true);
    return;
  }
  if (currentSearchTerm_) fetchCorrectionsFor(*currentSearchTerm_);
}

void FocusedSearchViewController::fetchCorrectionsFor(const std::string& term) {
  // Held strongly until the reply: the strip outlives its requests in the panel anyway.
  auto self = sharedAs<FocusedSearchViewController>();
  auto generation = generation_;
  currentTelescopeTask =
      NetworkUtilities::getTelescopingTerms(term, [self, term, generation](std::shared_ptr<TelescopePayload> payload) {
        NSOperationQueue::mainQueue()->addOperationWithBlock([self, term, generation, payload] {
          // A request a reset cancelled answers with an empty reply, also when the same term
          // was searched again: taken, it would fold the strip away until the new reply.
          if (generation == self->generation_) self->showTelescopePayload(term, payload);
        });
      });
}

void FocusedSearchViewController::showTelescopePayload(const std::optional<std::string>& term,
                                                       const std::shared_ptr<TelescopePayload>& payload) {
  if (currentMode != Mode::search || term != currentSearchTerm_) return;
  contentList[0] = payload ? unitsOf(payload->didYouMeanList) : std::vector<std::shared_ptr<NSObject>>{};
  contentList[1] = payload ? unitsOf(payload->telescopeList) : std::vector<std::shared_ptr<NSObject>>{};
  if (auto listener = delegate.lock()) listener->didLoadResultsWithResultsEmpty(contentList[0].empty() && contentList[1].empty());
  if (auto strip = mainCollectionView.lock()) strip->reloadData();
}

void FocusedSearchViewController::reset() {
  ++generation_;
  cancelActiveDownloads();
  if (currentTelescopeTask) currentTelescopeTask->cancel();
  if (trendingContentRequester_) trendingContentRequester_->cancelRequest();
  trendingRequesterFetchLock = true;
  retry_.succeeded();
  indexPathsForPromotedContent.clear();
  indexPathsForTrackedPromotedContent.clear();
  indexPathsForPendingPromotedContent.clear();
  contentList = {{}, {}};
  if (auto strip = mainCollectionView.lock()) strip->reloadData();
}

void FocusedSearchViewController::fetchTrendingPage(bool firstPage) {
  auto generation = generation_;
  auto requester = trendingContentRequester();
  if (firstPage) {
    std::weak_ptr<FocusedSearchViewController> weak = sharedAs<FocusedSearchViewController>();
    requester->fetchWithCallback([weak, generation](bool success, std::optional<VNRequester::Content> items) {
      NSOperationQueue::mainQueue()->addOperationWithBlock([weak, generation, success, items = std::move(items)] {
        if (auto screen = weak.lock()) screen->trendingPageArrived(generation, true, success, items);
      });
    });
    return;
  }
  auto self = sharedAs<FocusedSearchViewController>();
  requester->fetchWithCallback([self, generation](bool success, std::optional<VNRequester::Content> items) {
    NSOperationQueue::mainQueue()->addOperationWithBlock([self, generation, success, items = std::move(items)] {
      self->trendingPageArrived(generation, false, success, items);
    });
  });
}

void FocusedSearchViewController::trendingPageArrived(std::uint64_t generation, bool firstPage, bool success,
                                                      const std::optional<VNRequester::Content>& items) {
  // A reply to a load that was reset since must not unlock the new one, nor add its items.
  if (generation != generation_) return;
  if (!firstPage && !success) {
    // Kept locked, the strip would never page again until the next load; it asks again
    // after a pause instead.
    trendingRequesterFetchLock = false;
    std::weak_ptr<FocusedSearchViewController> weak = sharedAs<FocusedSearchViewController>();
    retry_.failed([weak] {
      if (auto screen = weak.lock()) screen->pageIfNeeded();
    });
    return;
  }
  if (success) {
    retry_.succeeded();
  } else {
    // A first page that failed would leave the strip empty until the next load.
    std::weak_ptr<FocusedSearchViewController> weak = sharedAs<FocusedSearchViewController>();
    retry_.failed([weak] {
      auto screen = weak.lock();
      if (!screen || screen->currentMode != Mode::trendingGifs || !screen->contentList[0].empty() ||
          screen->trendingRequesterFetchLock) {
        return;
      }
      screen->trendingRequesterFetchLock = true;
      screen->fetchTrendingPage(true);
    });
  }
  contentFetched(success, items);
}

void FocusedSearchViewController::setRequester(const std::shared_ptr<VNRequester>& requester, std::size_t /*section*/) {
  if (!requester) return;
  auto generation = generation_;
  std::weak_ptr<FocusedSearchViewController> weak = sharedAs<FocusedSearchViewController>();
  requester->fetchWithCallback([weak, generation](bool success, std::optional<VNRequester::Content> items) {
    NSOperationQueue::mainQueue()->addOperationWithBlock([weak, generation, success, items = std::move(items)] {
      if (auto screen = weak.lock()) screen->trendingPageArrived(generation, true, success, items);
    });
  });
}

void FocusedSearchViewController::contentFetched(bool success, const std::optional<VNRequester::Content>& retrievedContent) {
  trendingRequesterFetchLock = false;
  if (!success || !retrievedContent || retrievedContent->empty() || currentMode != Mode::trendingGifs) return;
  std::weak_ptr<FocusedSearchViewController> weak = sharedAs<FocusedSearchViewController>();
  NSOperationQueue::mainQueue()->addOperationWithBlock([weak, generation = generation_, items = *retrievedContent] {
    if (auto screen = weak.lock()) screen->appendPageAndReload(generation, items);
  });
}

void FocusedSearchViewController::appendPageAndReload(std::uint64_t generation, const VNRequester::Content& items) {
  if (generation != generation_) return;
  auto& trending = contentList[0];
  const auto shown = trending.size();
  trending.insert(trending.end(), items.begin(), items.end());
  if (shown == 0) {
    if (auto strip = mainCollectionView.lock()) strip->reloadData();
  } else {
    insertItemsAtIndexStart(shown, trending.size(), 0);
  }
  if (auto listener = delegate.lock()) listener->didLoadResultsWithResultsEmpty(false);
}

void FocusedSearchViewController::insertItemsAtIndexStart(std::size_t start, std::size_t endIndex, std::size_t section) {
  auto strip = mainCollectionView.lock();
  if (!strip || endIndex < start) return;
  NSIndexPathSet paths;
  for (auto i = start; i < endIndex; ++i) paths.insert({i, section});
  if (!paths.empty()) strip->insertItemsAtIndexPaths(paths);
}

void FocusedSearchViewController::scrollViewDidScroll(const std::shared_ptr<NSNotification>& notification) {
  auto scroll = enclosingScrollView();
  if (!scroll || notification->object() != std::static_pointer_cast<NSObject>(scroll)) return;
  if (currentMode != Mode::trendingGifs) return;
  logViewsForPendingPromotedContent();
  pageIfNeeded();
}

void FocusedSearchViewController::pageIfNeeded() {
  auto scroll = enclosingScrollView();
  if (!scroll || currentMode != Mode::trendingGifs || trendingRequesterFetchLock || !retry_.mayAsk()) return;
  if (trendingContentRequester()->endOfStream()) return;
  auto flow = collectionViewLayout.lock();
  const double w = flow ? flow->collectionViewContentSize().width : 0;
  const auto v = scroll->documentVisibleRect();
  if (v.origin.x > w - v.size.width - Constants::pagingThreshold) {
    trendingRequesterFetchLock = true;
    fetchTrendingPage(false);
  }
}

void FocusedSearchViewController::setActiveDownloadWithUrl(const std::shared_ptr<NSURL>& url, NSIndexPath path) {
  activeDownloadPaths[url->absoluteString()].push_back(path);
}

void FocusedSearchViewController::cancelActiveDownloads() {
  downloader->cancelAll();
  activeDownloadPaths.clear();
}

void FocusedSearchViewController::unload() {
  downloader->cancelAll();
  auto strip = mainCollectionView.lock();
  if (!strip) return;
  for (const auto& item : strip->visibleItems())
    if (auto cell = asA<GifCell>(item)) cell->unload();
}

void FocusedSearchViewController::restore() {
  if (auto strip = mainCollectionView.lock()) strip->reloadItemsAtIndexPaths(strip->indexPathsForVisibleItems());
}

std::shared_ptr<NSObject> FocusedSearchViewController::objectAt(NSIndexPath path) const {
  if (path.section >= contentList.size() || path.item >= contentList[path.section].size()) return nullptr;
  return contentList[path.section][path.item];
}

void FocusedSearchViewController::logViewsForAllVisiblePromos() {
  auto strip = mainCollectionView.lock();
  if (!strip) return;
  for (auto path : strip->indexPathsForVisibleItems()) {
    auto vorn = sponsoredVorn(objectAt(path));
    auto cell = asA<GifCell>(strip->itemAtIndexPath(path));
    auto image = cell ? cell->gif.lock() : nullptr;
    if (!vorn || !image || !image->image()) continue;
    if (!isCellFullyVisibleAt(strip, path)) {
      indexPathsForPendingPromotedContent.insert(path);
      continue;
    }
    if (!indexPathsForTrackedPromotedContent.contains(path)) {
      AdvertisingLogger::didViewSearchSessionContentWithSourceID(*vorn->advertisingSourceID, vorn->pixels);
      indexPathsForTrackedPromotedContent.insert(path);
    }
    AdvertisingLogger::didViewContentWithSourceID(*vorn->advertisingSourceID);
  }
}

void FocusedSearchViewController::reportSuccessfulDragWithDraggedVorn(const std::shared_ptr<VornObject>& vorn) {
  if (auto listener = delegate.lock()) listener->focusCellDragged(vorn);
}

NSRect FocusedSearchViewController::getDragFrameWithCellFrame(NSRect cellFrame) {
  // The strip scrolls sideways: the drag image starts where the tile shows, not where it lies.
  if (auto scroll = enclosingScrollView()) cellFrame.origin.x -= scroll->contentOffset().x;
  return cellFrame;
}

std::size_t FocusedSearchViewController::numberOfSectionsInCollectionView(NSCollectionView&) { return contentList.size(); }

std::size_t FocusedSearchViewController::numberOfItemsInSection(NSCollectionView&, std::size_t section) {
  return section < contentList.size() ? contentList[section].size() : 0;
}

std::shared_ptr<NSCollectionViewItem> FocusedSearchViewController::itemForRepresentedObjectAtIndexPath(
    NSCollectionView& view, NSIndexPath path) {
  auto object = objectAt(path);
  auto unit = asA<TelescopeUnit>(object);
  auto vorn = asA<VornObject>(object);
  auto cell = unit || vorn ? asA<GifCell>(view.makeItemWithIdentifier(Constants::cellIdentifier, path)) : nullptr;
  if (!cell) return NSCollectionViewItem::make();
  auto self = sharedAs<FocusedSearchViewController>();
  cell->delegate = std::static_pointer_cast<GifCollectionCellDelegate>(self);
  if (unit) {
    cell->configureWithTelescopeUnit(unit);
    cell->shouldAspectFillGif = true;
    if (unit->imageURL) {
      downloader->downloadMedia(unit->imageURL, DownloadFileType::gif);
      setActiveDownloadWithUrl(unit->imageURL, path);
    }
    return cell;
  }
  cell->configureWithVorn(vorn);
  cell->copiedGifMessage = std::string(Constants::copiedText);
  cell->copyConfirmLabel.lock()->setStringValue(cell->copiedGifMessage);
  cell->canDragCell = true;
  if (sponsoredVorn(vorn)) {
    indexPathsForPromotedContent.insert(path);
    configure(cell, path, vorn);
  }
  if (auto url = NSURL::URLWithString(vorn->tinyGifUrl)) {
    downloader->downloadMedia(url, DownloadFileType::gif);
    setActiveDownloadWithUrl(url, path);
  }
  return cell;
}

std::shared_ptr<NSView> FocusedSearchViewController::viewForSupplementaryElementOfKind(NSCollectionView& view,
                                                                                      std::string_view kind,
                                                                                      NSIndexPath path) {
  if (kind == NSCollectionElementKindSectionHeader && path.section == 1 && !contentList[1].empty()) {
    auto header = asA<FocusedSearchCollectionViewHeader>(view.makeSupplementaryViewOfKind(kind, Constants::headerIdentifier, path));
    if (header) {
      header->setTitleText(std::string(Constants::headerTitle));
      return header;
    }
  }
  return NSView::initWithFrame(NSZeroRect);
}

void FocusedSearchViewController::didEndDisplayingItem(NSCollectionView&, const std::shared_ptr<NSCollectionViewItem>& item,
                                                       NSIndexPath) {
  if (auto resettable = std::dynamic_pointer_cast<ResettableCell>(item)) resettable->reset();
}

std::optional<NSSize> FocusedSearchViewController::sizeForItemAtIndexPath(NSCollectionView& view, NSCollectionViewLayout&,
                                                                          NSIndexPath path) {
  auto vorn = asA<VornObject>(objectAt(path));
  if (!vorn) return Constants::suggestionSize;
  const double h = view.frame().size.height;
  double ratio = Constants::suggestionSize.width / Constants::suggestionSize.height;
  if (vorn->dims && vorn->dims->height > 0) ratio = vorn->dims->width / vorn->dims->height;
  return NSMakeSize(h * ratio, h);
}

std::optional<NSSize> FocusedSearchViewController::referenceSizeForHeaderInSection(NSCollectionView&, NSCollectionViewLayout&,
                                                                                   std::size_t section) {
  if (section == 1 && !contentList[1].empty()) return Constants::headerSize;
  return NSZeroSize;
}

void FocusedSearchViewController::didClick(const std::shared_ptr<GifCell>& cell) {
  auto strip = mainCollectionView.lock();
  auto path = strip ? strip->indexPathForItem(cell) : std::nullopt;
  auto object = path ? objectAt(*path) : nullptr;
  if (!object) return;
  if (auto listener = delegate.lock()) listener->focusCellTapped(object, cell);
}

void FocusedSearchViewController::downloadCompletedWithUrl(const std::shared_ptr<NSURL>& url,
                                                           const std::optional<std::string>& cacheKey,
                                                           std::optional<DownloadFileType>, DownloadCompleteStatus status) {
  if (!url) return;
  std::weak_ptr<FocusedSearchViewController> weak = sharedAs<FocusedSearchViewController>();
  NSOperationQueue::mainQueue()->addOperationWithBlock([weak, key = url->absoluteString(), cacheKey, status] {
    if (auto screen = weak.lock()) screen->completeDownload(key, cacheKey, status);
  });
}

void FocusedSearchViewController::completeDownload(const std::string& url, const std::optional<std::string>& cacheKey,
                                                   DownloadCompleteStatus status) {
  auto found = activeDownloadPaths.find(url);
  if (found == activeDownloadPaths.end()) return;
  // The entry goes with its answer, so the map does not keep every address ever shown.
  auto paths = std::move(found->second);
  activeDownloadPaths.erase(found);
  if (status == DownloadCompleteStatus::fileTooLarge || status == DownloadCompleteStatus::failedToDownload) return;
  auto strip = mainCollectionView.lock();
  if (!strip) return;
  std::weak_ptr<FocusedSearchViewController> weak = sharedAs<FocusedSearchViewController>();
  for (auto path : paths) {
    auto cell = asA<GifCell>(strip->itemAtIndexPath(path));
    if (!cell) continue;
    // Read and decoded off the main thread, as the grid's tiles are.
    cell->loadAnimatedImage(
        [url, cacheKey, status] { return CollectionViewGifDownloader::sourceOfMedia(url, cacheKey, status); },
        [weak, path] {
          auto screen = weak.lock();
          if (!screen) return;
          auto listener = screen->delegate.lock();
          auto vorn = sponsoredVorn(screen->objectAt(path));
          if (listener && listener->shouldTrackPromotedTrendingContent() &&
              screen->indexPathsForPromotedContent.contains(path) && vorn) {
            screen->attemptAdvertisementLoggingAt(path, *vorn->advertisingSourceID, vorn->pixels);
          }
        });
  }
}
