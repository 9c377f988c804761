#pragma once
// The results of one search in the root panel: an embedded GIF grid fed by the search's
// requester, with a label for a search that found nothing. A click on a result copies the
// GIF; copies and drags out are reported as shares with the owner's search parameters.
// Main thread only; the grid calls back there.

#include <memory>
#include <optional>
#include <string>

#include "browse/AnalyticsDelegate.h"
#include "browse/GifCollectionViewController.h"
#include "browse/TouchBarUpdater.h"
#include "browse/UsernameClickDelegate.h"
#include "platform/appkit/NSViewController.h"

class NSTextField;

// Asks the owner to present the log-in screen.
class SearchViewControllerDelegate {
 public:
  virtual ~SearchViewControllerDelegate() = default;
  virtual void didRequestLogin() = 0;
};

class SearchViewController : public NSViewController,
                             public GifCollectionViewControllerDelegate,
                             public DraggableCellDelegate {
 public:
  struct Constants {
    static constexpr std::string_view interfaceName = "SearchViewController";
    static constexpr std::string_view noResultsText = "No GIFs found";
  };

  static std::shared_ptr<SearchViewController> initWithNibName(std::string nibName);
  static std::shared_ptr<SearchViewController> make() { return initWithNibName({}); }

  std::weak_ptr<NSView> contentContainer;
  std::weak_ptr<NSTextField> noResultsLabel;
  const std::shared_ptr<GifCollectionViewController> contentCollectionView = GifCollectionViewController::init();
  std::weak_ptr<AnalyticsDelegate> delegate;
  std::weak_ptr<SearchViewControllerDelegate> tapDelegate;
  std::weak_ptr<TouchBarUpdater> touchBarDelegate;
  std::weak_ptr<UsernameClickDelegate> usernameClickDelegate;
  // Hears the results' scrolling, as the owner hears its own grids' (the toolbar slides with it).
  std::weak_ptr<GifCollectionViewControllerDelegate> scrollDelegate;

  const std::shared_ptr<VNRequester>& requester() const { return requester_; }
  // On a loaded screen a new requester hides the label and restarts the grid from its
  // first page; before the view loads it waits for viewDidLoad.
  void setRequester(std::shared_ptr<VNRequester> requester);

  void awakeFromNib() override;
  void viewDidLoad() override;
  void viewDidLayout() override;
  void unload();
  void restore();

  // The grid's reports.
  void cellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>& cell) override;
  void usernameTapped(const std::string& username) override;
  void loginRequested() override;
  void didRetrieveContentWithContent(const VNRequester::Content& content) override;
  void didRetrieveEmptyContentList() override;
  void gifCollectionScrollViewDidScroll(const std::shared_ptr<GifCollectionScrollView>& scrollView,
                                        double previousVerticalOffset, double currentVerticalOffset) override;
  void didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type, const std::shared_ptr<VornObject>& vorn) override;
  void successfulDragEndedWithVorn(const std::shared_ptr<VornObject>& vorn) override;

  // What a drag of the item carries: the result's web address, and its cached small GIF.
  std::optional<std::string> getDragLinkWithItem(const std::shared_ptr<NSCollectionViewItem>& item);
  std::shared_ptr<NSURL> getDragFileURLWithItem(const std::shared_ptr<NSCollectionViewItem>& item);

  // Registers the builder of the screen's interface (done once on start-up).
  static void registerInterface();

  GLIMDECK_OBJECT(SearchViewController)

 protected:
  using NSViewController::NSViewController;

 private:
  StringDictionary searchAnalytics() const;
  std::shared_ptr<VornObject> resultForItem(const std::shared_ptr<NSCollectionViewItem>& item) const;
  std::shared_ptr<VNRequester> requester_;
};
