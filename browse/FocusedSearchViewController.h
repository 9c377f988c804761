#pragma once
// The strip under the root panel's search field. Without a search term it pages through
// trending GIFs sideways, each load a fresh stream; with one it shows the term's corrections
// (section 0) and related searches (section 1, under a "Focus your\nsearch" header) from the
// service's related-terms reply. Replies for a term or a load that is no longer current are
// dropped; a failed page is asked for again after a pause, as the grid does. Main thread
// only; network and download replies hop there first.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browse/DraggableAdTrackingCollectionViewController.h"
#include "browse/PageRetry.h"
#include "model/TelescopePayload.h"
#include "platform/appkit/NSCollectionViewFlowLayout.h"
#include "service/CollectionViewGifDownloader.h"
#include "service/VNStreamRequester.h"

class FocusedSearchViewControllerDelegate {
 public:
  virtual ~FocusedSearchViewControllerDelegate() = default;
  // A tile was clicked: its object (a suggestion unit or a GIF item) and the tile.
  virtual void focusCellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) = 0;
  // A GIF dragged out of the strip was dropped.
  virtual void focusCellDragged(const std::shared_ptr<VornObject>& vorn) = 0;
  virtual void didLoadResultsWithResultsEmpty(bool resultsEmpty) = 0;
  // Whether a sponsored trending GIF whose preview just showed may be logged as viewed now.
  virtual bool shouldTrackPromotedTrendingContent() = 0;
};

class FocusedSearchViewController : public DraggableAdTrackingCollectionViewController,
                                    public NSCollectionViewDataSource,
                                    public NSCollectionViewDelegateFlowLayout,
                                    public CollectionViewGifDownloaderDelegate {
 public:
  enum class Mode { search = 0, trendingGifs = 1 };

  struct Constants {
    static constexpr NSSize suggestionSize{140.0, 70.0};
    static constexpr NSSize headerSize{100.0, 80.0};
    static constexpr double pagingThreshold = 100.0;
    static constexpr std::string_view headerTitle = "Focus your\nsearch";
    static constexpr std::string_view cellIdentifier = "GifCell";
    static constexpr std::string_view headerInterface = "FocusedSearchCollectionViewHeader";
    static constexpr std::string_view headerIdentifier = "Header";
    static constexpr std::string_view copiedText = "Copied!";
    static constexpr std::string_view interfaceName = "FocusedSearchViewController";
  };

  static std::shared_ptr<FocusedSearchViewController> initWithNibName(std::string nibName);
  static std::shared_ptr<FocusedSearchViewController> make() { return initWithNibName({}); }

  std::weak_ptr<NSCollectionViewFlowLayout> collectionViewLayout;
  std::weak_ptr<FocusedSearchViewControllerDelegate> delegate;
  std::shared_ptr<CollectionViewGifDownloader> downloader = CollectionViewGifDownloader::make();
  std::map<std::string, std::vector<NSIndexPath>> activeDownloadPaths;
  bool trendingRequesterFetchLock = false;
  std::shared_ptr<NSURLSessionDataTask> currentTelescopeTask;
  Mode currentMode = Mode::trendingGifs;

  // The trending stream's requester, made on first use and anew by every load.
  std::shared_ptr<VNStreamRequester> trendingContentRequester();

  const std::optional<std::string>& currentSearchTerm() const { return currentSearchTerm_; }
  // A term switches to the suggestions, none to trending; a loaded strip loads them.
  void setCurrentSearchTerm(std::optional<std::string> term);

  void loadData();
  void reset();
  void fetchCorrectionsFor(const std::string& term);
  // The requester's first page goes to section 0 whatever the section given.
  void setRequester(const std::shared_ptr<VNRequester>& requester, std::size_t section);
  void insertItemsAtIndexStart(std::size_t start, std::size_t endIndex, std::size_t section);
  void contentFetched(bool success, const std::optional<VNRequester::Content>& retrievedContent);
  void setActiveDownloadWithUrl(const std::shared_ptr<NSURL>& url, NSIndexPath path);
  void cancelActiveDownloads();
  void unload();
  void restore();
  void logViewsForAllVisiblePromos();
  void scrollViewDidScroll(const std::shared_ptr<NSNotification>& notification);

  void reportSuccessfulDragWithDraggedVorn(const std::shared_ptr<VornObject>& vorn) override;
  NSRect getDragFrameWithCellFrame(NSRect cellFrame) override;

  void viewDidLoad() override;
  ~FocusedSearchViewController() override;

  // The collection view's questions.
  std::size_t numberOfSectionsInCollectionView(NSCollectionView& view) override;
  std::size_t numberOfItemsInSection(NSCollectionView& view, std::size_t section) override;
  std::shared_ptr<NSCollectionViewItem> itemForRepresentedObjectAtIndexPath(NSCollectionView& view,
                                                                            NSIndexPath path) override;
  std::shared_ptr<NSView> viewForSupplementaryElementOfKind(NSCollectionView& view, std::string_view kind,
                                                            NSIndexPath path) override;
  void didEndDisplayingItem(NSCollectionView& view, const std::shared_ptr<NSCollectionViewItem>& item,
                            NSIndexPath path) override;
  std::optional<NSSize> sizeForItemAtIndexPath(NSCollectionView& view, NSCollectionViewLayout& layout,
                                               NSIndexPath path) override;
  std::optional<NSSize> referenceSizeForHeaderInSection(NSCollectionView& view, NSCollectionViewLayout& layout,
                                                        std::size_t section) override;
  // The tiles' and the downloader's reports.
  void didClick(const std::shared_ptr<GifCell>& cell) override;
  void didClickUsernameLabel(const std::string& /*text*/) override {}
  void didProgress(const std::shared_ptr<NSURL>& /*url*/, double /*percentage*/) override {}
  void downloadCompletedWithUrl(const std::shared_ptr<NSURL>& url, const std::optional<std::string>& cacheKey,
                                std::optional<DownloadFileType> fileType, DownloadCompleteStatus status) override;

  static void registerInterface();

  GLIMDECK_OBJECT(FocusedSearchViewController)

 protected:
  using DraggableAdTrackingCollectionViewController::DraggableAdTrackingCollectionViewController;

 private:
  // Asks for a trending page; a reply that comes after a newer load started is dropped.
  void fetchTrendingPage(bool firstPage);
  void trendingPageArrived(std::uint64_t generation, bool firstPage, bool success,
                           const std::optional<VNRequester::Content>& items);
  void appendPageAndReload(std::uint64_t generation, const VNRequester::Content& items);
  // Asks for the next trending page when the strip shows its end and nothing holds paging back.
  void pageIfNeeded();
  void showTelescopePayload(const std::optional<std::string>& term, const std::shared_ptr<TelescopePayload>& payload);
  void completeDownload(const std::string& url, const std::optional<std::string>& cacheKey, DownloadCompleteStatus status);
  std::shared_ptr<NSObject> objectAt(NSIndexPath path) const;

  std::optional<std::string> currentSearchTerm_;
  std::shared_ptr<VNStreamRequester> trendingContentRequester_;
  std::uint64_t generation_ = 0;
  PageRetry retry_;
};
