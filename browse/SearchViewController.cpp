#include "browse/SearchViewController.h"

#include "collections/CollectionManager.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSTextField.h"
#include "service/AdvertisingLogger.h"
#include "service/AssetCache.h"
#include "browse/ShareReporting.h"

std::shared_ptr<SearchViewController> SearchViewController::initWithNibName(std::string nibName) {
  registerInterface();
  return create(nibName.empty() ? std::string(Constants::interfaceName) : std::move(nibName));
}

void SearchViewController::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), [](const std::shared_ptr<NSObject>& owner) {
      const auto frame = NSMakeRect(0, 0, 360, 420);
      auto root = NSView::initWithFrame(frame);
      auto container = NSView::initWithFrame(frame);
      container->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
      root->addSubview(container);
      auto label = NSTextField::labelWithString(std::string(Constants::noResultsText));
      label->setAlignment(NSTextAlignment::center);
      label->setFrame(NSMakeRect(20, frame.size.height / 2 - 11, frame.size.width - 40, 22));
      label->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin | NSViewMaxYMargin;
      label->setHidden(true);
      root->addSubview(label);
      if (auto screen = asA<SearchViewController>(owner)) {
        screen->setView(root);
        screen->contentContainer = container;
        screen->noResultsLabel = label;
      }
      return std::vector<std::shared_ptr<NSObject>>{root};
    });
    return true;
  }();
  (void)registered;
}

namespace {
const bool searchInterfaceRegistered = (SearchViewController::registerInterface(), true);
}  // namespace

void SearchViewController::awakeFromNib() {
  NSViewController::awakeFromNib();
  auto self = sharedAs<SearchViewController>();
  contentCollectionView->dragDelegate = self;
  contentCollectionView->shouldShowOverlayOnVornMouseover = true;
  contentContainer.lock()->addSubview(contentCollectionView->view());
  contentCollectionView->delegate = self;
}

void SearchViewController::viewDidLoad() {
  NSViewController::viewDidLoad();
  contentCollectionView->view()->setFrame(contentContainer.lock()->bounds());
  if (requester_) {
    contentCollectionView->requester = requester_;
    contentCollectionView->reload();
  }
}

void SearchViewController::viewDidLayout() {
  NSViewController::viewDidLayout();
  contentCollectionView->view()->setFrame(contentContainer.lock()->bounds());
}

void SearchViewController::setRequester(std::shared_ptr<VNRequester> requester) {
  requester_ = std::move(requester);
  if (!isViewLoaded() || !requester_) return;
  noResultsLabel.lock()->setHidden(true);
  contentCollectionView->reset();
  contentCollectionView->requester = requester_;
  contentCollectionView->reload();
}

void SearchViewController::unload() { contentCollectionView->unload(); }

void SearchViewController::restore() { contentCollectionView->restore(); }

StringDictionary SearchViewController::searchAnalytics() const {
  auto owner = delegate.lock();
  return owner ? owner->requestSearchAnalytics() : StringDictionary{};
}

void SearchViewController::cellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) {
  auto vorn = asA<VornObject>(object);
  if (!vorn) return;
  ShareReporting::logShare(searchAnalytics(), *vorn);
  ShareReporting::copyAndConfirm(vorn, cell);
  if (vorn->isPromotedContent()) AdvertisingLogger::didShareContentWithSourceID(*vorn->advertisingSourceID);
}

void SearchViewController::usernameTapped(const std::string& username) {
  if (auto listener = usernameClickDelegate.lock()) listener->didTapUsernameLabel(username);
}

void SearchViewController::loginRequested() {
  if (auto listener = tapDelegate.lock()) listener->didRequestLogin();
}

void SearchViewController::didRetrieveContentWithContent(const VNRequester::Content& content) {
  if (auto listener = touchBarDelegate.lock()) listener->fetchedContent(content);
}

void SearchViewController::didRetrieveEmptyContentList() {
  if (auto label = noResultsLabel.lock()) label->setHidden(false);
}

void SearchViewController::gifCollectionScrollViewDidScroll(const std::shared_ptr<GifCollectionScrollView>& scrollView,
                                                            double previousVerticalOffset, double currentVerticalOffset) {
  if (auto listener = scrollDelegate.lock())
    listener->gifCollectionScrollViewDidScroll(scrollView, previousVerticalOffset, currentVerticalOffset);
}

void SearchViewController::didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type,
                                                                 const std::shared_ptr<VornObject>& vorn) {
  if (vorn) ShareReporting::logShare(searchAnalytics(), *vorn, type);
}

void SearchViewController::successfulDragEndedWithVorn(const std::shared_ptr<VornObject>& vorn) {
  if (!vorn) return;
  ShareReporting::logShare(searchAnalytics(), *vorn);
  if (vorn->isPromotedContent()) AdvertisingLogger::didShareContentWithSourceID(*vorn->advertisingSourceID);
  CollectionManager::sharedInstance()->addVornToRecents(vorn);
}

std::shared_ptr<VornObject> SearchViewController::resultForItem(const std::shared_ptr<NSCollectionViewItem>& item) const {
  auto collection = contentCollectionView->mainCollectionView.lock();
  auto path = collection && item ? collection->indexPathForItem(item) : std::nullopt;
  const auto& results = contentCollectionView->mainSection();
  if (!path || path->item >= results.size()) return nullptr;
  return asA<VornObject>(results[path->item]);
}

std::optional<std::string> SearchViewController::getDragLinkWithItem(const std::shared_ptr<NSCollectionViewItem>& item) {
  auto vorn = resultForItem(item);
  return vorn ? vorn->webUrl() : std::nullopt;
}

std::shared_ptr<NSURL> SearchViewController::getDragFileURLWithItem(const std::shared_ptr<NSCollectionViewItem>& item) {
  auto vorn = resultForItem(item);
  return vorn ? AssetCache::shared()->storagePathForKey(vorn->tinyGifUrl) : nullptr;
}
