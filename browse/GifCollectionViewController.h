#pragma once
// The reusable GIF grid every browsing screen embeds: it fills its main section page by page
// from a stream requester, pages on when the user scrolls near the end, hands out tiles with
// their preview media downloads, shows download progress and plays what arrives. A page
// that fails is asked for again after a pause that grows with each failure in a row; while
// the grid has nothing to show because of it, it says so. Grid state is main-thread only;
// requester and downloader replies hop there before touching it.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browse/DraggableAdTrackingCollectionViewController.h"
#include "browse/EllipsesMenuShareType.h"
#include "browse/PageRetry.h"
#include "browse/WaterfallLayout.h"
#include "browse/WaterfallLayoutDelegate.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSProgressIndicator.h"
#include "platform/appkit/NSTextField.h"
#include "service/CollectionViewGifDownloader.h"
#include "service/VNRequester.h"

// Told when a drag of a GIF out of a grid ended with a drop.
class DraggableCellDelegate {
 public:
  virtual ~DraggableCellDelegate() = default;
  virtual void successfulDragEndedWithVorn(const std::shared_ptr<VornObject>& vorn) = 0;
};

// What the embedding screen hears; every operation is optional.
class GifCollectionViewControllerDelegate {
 public:
  virtual ~GifCollectionViewControllerDelegate() = default;
  virtual void cellTapped(const std::shared_ptr<NSObject>& /*object*/, const std::shared_ptr<GifCell>& /*cell*/) {}
  virtual void didRetrieveContentWithContent(const VNRequester::Content& /*content*/) {}
  virtual void didRetrieveEmptyContentList() {}
  virtual void gifCollectionScrollViewDidScroll(const std::shared_ptr<GifCollectionScrollView>& /*scrollView*/,
                                                double /*previousVerticalOffset*/, double /*currentVerticalOffset*/) {}
  virtual void usernameTapped(const std::string& /*username*/) {}
  virtual void loginRequested() {}
  virtual void didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType /*type*/,
                                                     const std::shared_ptr<VornObject>& /*vorn*/) {}
};

class GifCollectionViewController : public DraggableAdTrackingCollectionViewController,
                                    public NSCollectionViewDataSource,
                                    public NSCollectionViewDelegate,
                                    public WaterfallLayoutDelegate,
                                    public CollectionViewGifDownloaderDelegate {
 public:
  struct Constants {
    static constexpr std::string_view cellIdentifier = "GifCell";
    static constexpr double pagingThreshold = 100.0;
    static constexpr std::string_view failedText = "The GIFs could not be loaded. Trying again shortly.";
  };

  static std::shared_ptr<GifCollectionViewController> init() { return create(); }

  std::weak_ptr<WaterfallLayout> layout;
  std::weak_ptr<NSProgressIndicator> loadingIndicator;
  std::vector<std::shared_ptr<NSObject>> preContent;
  std::shared_ptr<CollectionViewGifDownloader> downloader = CollectionViewGifDownloader::make();
  std::weak_ptr<GifCollectionViewControllerDelegate> delegate;
  std::shared_ptr<VNRequester> requester;
  // A disabled section reports no items, whatever contentList holds.
  std::vector<bool> sectionEnableMap{true};
  std::size_t mainContentDisplaySection = 0;
  // Display options the embedding screens keep here; the grid itself does not read them.
  bool highlightFavorites = true;
  bool adjustsLoadingIndicatorForHeader = false;
  bool roundedTagCorners = false;
  bool uppercaseCellText = true;
  bool longHoldCropEnabled = false;
  bool shouldFavoriteOnDoubleTap = false;
  bool shouldShowOverlayOnVornMouseover = true;
  double lastVerticalContentOffset = 0;
  double scrollViewHeightPreTransform = 0;
  std::map<std::string, std::vector<NSIndexPath>> activeDownloadPaths;
  std::weak_ptr<DraggableCellDelegate> dragDelegate;

  bool fetchLock() const { return fetchLock_; }
  // The words over an empty grid whose page failed; none while there is no such failure.
  std::shared_ptr<NSTextField> failureLabel() const { return failureLabel_.lock(); }
  std::size_t numberOfSections() const { return contentList.size(); }
  // So many empty sections, all enabled.
  void setNumberOfSections(std::size_t count);
  // Replaces the main section's objects without reloading the collection view.
  void setContentForMainSection(std::vector<std::shared_ptr<NSObject>> content);
  const std::vector<std::shared_ptr<NSObject>>& mainSection() const { return contentList[mainContentDisplaySection]; }

  // Without an interface file: the waterfall in its collection view inside the grid's scroll
  // view, with the spinner above it.
  void loadView() override;
  void viewDidLoad() override;
  void reload();
  void unload();
  void reset();
  void restore();
  void scrollViewDidScroll(const std::shared_ptr<NSNotification>& notification);
  void insertItemsAtIndexStart(std::size_t start);
  void setActiveDownloadWithUrl(const std::shared_ptr<NSURL>& url, NSIndexPath path);
  void cancelActiveDownloads();

  // Data source and delegate of the collection view.
  std::size_t numberOfItemsInSection(NSCollectionView& view, std::size_t section) override;
  std::size_t numberOfSectionsInCollectionView(NSCollectionView& view) override;
  std::shared_ptr<NSCollectionViewItem> itemForRepresentedObjectAtIndexPath(NSCollectionView& view,
                                                                            NSIndexPath path) override;
  void didEndDisplayingItem(NSCollectionView& view, const std::shared_ptr<NSCollectionViewItem>& item,
                            NSIndexPath path) override;
  // The layout's questions.
  NSSize sizeForItemAtIndexPath(NSIndexPath path) override;
  bool shouldShowHeaders() override { return false; }
  // The tiles' reports.
  void didClick(const std::shared_ptr<GifCell>& cell) override;
  void didClickUsernameLabel(const std::string& text) override;
  bool implementsDidClickUsernameLabel() const override { return true; }
  void didRequestLogin() override;
  bool implementsDidRequestLogin() const override { return true; }
  void didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type, const std::shared_ptr<VornObject>& vorn) override;
  bool implementsDidShareFromEllipsesMenu() const override { return true; }
  // The downloader's reports, from its queue.
  void didProgress(const std::shared_ptr<NSURL>& url, double percentage) override;
  void downloadCompletedWithUrl(const std::shared_ptr<NSURL>& url, const std::optional<std::string>& cacheKey,
                                std::optional<DownloadFileType> fileType, DownloadCompleteStatus status) override;

  void reportSuccessfulDragWithDraggedVorn(const std::shared_ptr<VornObject>& vorn) override;
  // The cell's frame in the window, moved back by the layout's spacing around it.
  NSRect getDragFrameWithCellFrame(NSRect cellFrame) override;

  ~GifCollectionViewController() override;

  GLIMDECK_OBJECT(GifCollectionViewController)

 private:
  GifCollectionViewController();
  bool canFetchMore() const;
  // Asks the requester for a page; a reply for an older generation than the grid's is dropped.
  void fetchPage();
  // Asks for the next page when the visible rect is near the end and nothing holds paging back.
  void pageIfNeeded(const std::shared_ptr<GifCollectionScrollView>& scroll);
  void pageFailed();
  void forgetFailures();
  void contentFetched(std::uint64_t generation, bool success, std::optional<VNRequester::Content> content);
  void mediaDownload(const std::string& address, DownloadFileType type, NSIndexPath path, bool waits = true);
  void completeDownload(const std::string& url, const std::optional<std::string>& cacheKey,
                        std::optional<DownloadFileType> fileType, DownloadCompleteStatus status);
  // A tile got its media: a sponsored one may count as viewed now.
  void mediaShownAt(NSIndexPath path);

  bool fetchLock_ = false;
  // Bumped by every reload and reset: replies carry the generation they were asked in.
  std::uint64_t generation_ = 0;
  PageRetry retry_;
  // From a reload with a requester until its first page arrives.
  bool awaitingFirstPage_ = false;
  std::weak_ptr<NSTextField> failureLabel_;
};
