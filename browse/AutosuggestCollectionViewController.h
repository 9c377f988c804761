#pragma once
// The drop-down strip of suggested terms under the search field. It asks the service for
// suggestions of the typed prefix, shows only the reply of the prefix still current (at most
// five rows, growing downwards from a fixed top edge), moves a selection with the arrow keys,
// reports clicked and selected terms, and collapses on a click outside it. Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browse/SelectionNotifyingCollectionView.h"
#include "platform/appkit/NSCollectionViewFlowLayout.h"
#include "platform/appkit/NSViewController.h"

class NSNotification;

class AutosuggestCollectionViewControllerDelegate {
 public:
  virtual ~AutosuggestCollectionViewControllerDelegate() = default;
  // The user clicked a term.
  virtual void didSelectTermWithTerm(const std::string& term) = 0;
  // The arrow-key selection moved to a term.
  virtual void selectedTermChangedWithSelectedTerm(const std::string& term) = 0;
};

class AutosuggestCollectionViewController : public NSViewController,
                                            public NSCollectionViewDataSource,
                                            public NSCollectionViewDelegateFlowLayout,
                                            public SelectionNotifyingCollectionViewDelegate {
 public:
  struct Constants {
    static constexpr std::string_view cellIdentifier = "AutosuggestCell";
    static constexpr std::string_view interfaceName = "AutosuggestCollectionViewController";
    static constexpr double rowHeight = 65.0;
    static constexpr std::size_t maxRows = 5;
    static constexpr double maxRowWidth = 480.0;
  };

  static std::shared_ptr<AutosuggestCollectionViewController> initWithNibName(std::string nibName);
  static std::shared_ptr<AutosuggestCollectionViewController> make() { return initWithNibName({}); }

  std::weak_ptr<SelectionNotifyingCollectionView> collectionView;
  std::vector<std::string> currentTerms;
  std::weak_ptr<AutosuggestCollectionViewControllerDelegate> delegate;
  // The installed local monitor of left clicks (the application's event monitor class sits
  // a layer above the screens, so the strip installs the platform monitor itself).
  std::shared_ptr<NSObject> clickMonitor;

  const std::optional<std::string>& currentPrefix() const { return currentPrefix_; }
  // A prefix (also the same one again) asks for its suggestions; none is only stored.
  void setCurrentPrefix(std::optional<std::string> prefix);
  std::optional<std::string> selectedTerm() const;
  void fetchTerms();
  // Empties the list (and its selection).
  void hide();
  void arrowPressedWithUp(bool up);
  bool acceptsFirstResponder() const override { return true; }
  void frameChangedWithNotification(const std::shared_ptr<NSNotification>& notification);

  void viewDidLoad() override;

  // The collection view's questions and the user's clicks.
  std::size_t numberOfItemsInSection(NSCollectionView& view, std::size_t section) override;
  std::shared_ptr<NSCollectionViewItem> itemForRepresentedObjectAtIndexPath(NSCollectionView& view,
                                                                            NSIndexPath path) override;
  std::optional<NSSize> sizeForItemAtIndexPath(NSCollectionView& view, NSCollectionViewLayout& layout,
                                               NSIndexPath path) override;
  void didSelectItemsAtIndexPaths(NSCollectionView& view, const NSIndexPathSet& paths) override;
  void selectedIndexesChangedWithSelectionIndexes(const NSIndexSet& indexes) override;

  static void registerInterface();

  ~AutosuggestCollectionViewController() override;
  GLIMDECK_OBJECT(AutosuggestCollectionViewController)

 protected:
  using NSViewController::NSViewController;

 private:
  void requestSuggestions(const std::string& prefix);
  void acceptTerms(const std::optional<std::string>& prefix, std::vector<std::string> terms);
  void clearSelection();
  // Height for the terms shown; the top edge stays where it is.
  void resize();
  std::shared_ptr<NSEvent> outsideClick(const std::shared_ptr<NSEvent>& event);

  std::optional<std::string> currentPrefix_;
};
