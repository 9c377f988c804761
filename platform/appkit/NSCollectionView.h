#pragma once
// A view that shows the items of a data source, placed by a collection-view layout.
//
// Only the elements whose layout frames meet the prepared rectangle exist as views: the
// view asks the data source for them as they come into that rectangle and tells the
// delegate when they leave it, then keeps them in a pool per identifier for the next
// makeItemWithIdentifier. The prepared rectangle is the visible part of the view grown by
// an overdraw margin, so that scrolling finds items ready (subclasses may narrow it).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/appkit/NSCollectionViewItem.h"
#include "platform/appkit/NSCollectionViewLayout.h"
#include "platform/appkit/NSIndexPath.h"
#include "platform/appkit/NSIndexSet.h"
#include "platform/appkit/NSView.h"

class NSCollectionView;
class NSNib;
class NSScrollView;

class NSCollectionViewDataSource {
 public:
  virtual ~NSCollectionViewDataSource() = default;
  virtual std::size_t numberOfItemsInSection(NSCollectionView& collectionView, std::size_t section) = 0;
  // Optional: one section when not overridden.
  virtual std::size_t numberOfSectionsInCollectionView(NSCollectionView& /*collectionView*/) { return 1; }
  // The item that shows the element at the index path, usually from makeItemWithIdentifier.
  // Without an answer the view shows a plain, empty item there.
  virtual std::shared_ptr<NSCollectionViewItem> itemForRepresentedObjectAtIndexPath(NSCollectionView& /*collectionView*/,
                                                                                    NSIndexPath /*indexPath*/) {
    return nullptr;
  }
  // The header or footer view of a section; without an answer nothing is shown there.
  virtual std::shared_ptr<NSView> viewForSupplementaryElementOfKind(NSCollectionView& /*collectionView*/,
                                                                    std::string_view /*kind*/,
                                                                    NSIndexPath /*atIndexPath*/) {
    return nullptr;
  }
};

// Every operation is optional.
class NSCollectionViewDelegate {
 public:
  virtual ~NSCollectionViewDelegate() = default;
  virtual void willDisplayItem(NSCollectionView& /*collectionView*/, const std::shared_ptr<NSCollectionViewItem>& /*item*/,
                               NSIndexPath /*forRepresentedObjectAtIndexPath*/) {}
  virtual void didEndDisplayingItem(NSCollectionView& /*collectionView*/,
                                    const std::shared_ptr<NSCollectionViewItem>& /*item*/,
                                    NSIndexPath /*forRepresentedObjectAtIndexPath*/) {}
  virtual void willDisplaySupplementaryView(NSCollectionView& /*collectionView*/, const std::shared_ptr<NSView>& /*view*/,
                                            std::string_view /*forElementKind*/, NSIndexPath /*atIndexPath*/) {}
  virtual void didEndDisplayingSupplementaryView(NSCollectionView& /*collectionView*/,
                                                 const std::shared_ptr<NSView>& /*view*/,
                                                 std::string_view /*forElementOfKind*/, NSIndexPath /*atIndexPath*/) {}
  // The user's clicks: the paths that became selected, or stopped being selected.
  virtual void didSelectItemsAtIndexPaths(NSCollectionView& /*collectionView*/, const NSIndexPathSet& /*indexPaths*/) {}
  virtual void didDeselectItemsAtIndexPaths(NSCollectionView& /*collectionView*/, const NSIndexPathSet& /*indexPaths*/) {}
};

// Where scrollToItemsAtIndexPaths puts the items: one vertical and one horizontal choice
// may be combined; none scrolls as little as shows them.
using NSCollectionViewScrollPosition = std::uint32_t;
constexpr NSCollectionViewScrollPosition NSCollectionViewScrollPositionNone = 0;
constexpr NSCollectionViewScrollPosition NSCollectionViewScrollPositionTop = 1u << 0;
constexpr NSCollectionViewScrollPosition NSCollectionViewScrollPositionCenteredVertically = 1u << 1;
constexpr NSCollectionViewScrollPosition NSCollectionViewScrollPositionBottom = 1u << 2;
constexpr NSCollectionViewScrollPosition NSCollectionViewScrollPositionNearestHorizontalEdge = 1u << 3;
constexpr NSCollectionViewScrollPosition NSCollectionViewScrollPositionLeft = 1u << 4;
constexpr NSCollectionViewScrollPosition NSCollectionViewScrollPositionCenteredHorizontally = 1u << 5;
constexpr NSCollectionViewScrollPosition NSCollectionViewScrollPositionRight = 1u << 6;
constexpr NSCollectionViewScrollPosition NSCollectionViewScrollPositionNearestVerticalEdge = 1u << 7;

class NSCollectionView : public NSView {
 public:
  static std::shared_ptr<NSCollectionView> initWithFrame(NSRect frame);

  // What registration names in place of a class: a function that makes a new instance.
  using ItemClass = std::function<std::shared_ptr<NSCollectionViewItem>()>;
  using SupplementaryViewClass = std::function<std::shared_ptr<NSView>()>;

  std::weak_ptr<NSCollectionViewDataSource> dataSource;
  std::weak_ptr<NSCollectionViewDelegate> delegate;

  std::shared_ptr<NSCollectionViewLayout> collectionViewLayout() const { return layout_; }
  void setCollectionViewLayout(std::shared_ptr<NSCollectionViewLayout> layout);

  // The counts the view works with: those the data source gave at the last reload or
  // change, so that the layout and the view always agree.
  std::size_t numberOfSections() const { return counts_.size(); }
  std::size_t numberOfItemsInSection(std::size_t section) const;

  // ---- registration and reuse -------------------------------------------------------
  // Items made under an identifier come from the class (a new instance whose view loads
  // from its own interface) or from the interface (whose first top-level item is taken).
  void registerClass(ItemClass itemClass, std::string forItemWithIdentifier);
  void registerNib(const std::shared_ptr<NSNib>& nib, std::string forItemWithIdentifier);
  void registerClass(SupplementaryViewClass viewClass, std::string_view forSupplementaryViewOfKind,
                     std::string withIdentifier);
  void registerNib(const std::shared_ptr<NSNib>& nib, std::string_view forSupplementaryViewOfKind,
                   std::string withIdentifier);
  // A pooled item of the identifier after its prepareForReuse, or a new one, awoken and
  // with its view loaded. An identifier that was never registered gives a plain item, and
  // says so on the output.
  std::shared_ptr<NSCollectionViewItem> makeItemWithIdentifier(std::string_view identifier, NSIndexPath forIndexPath);
  std::shared_ptr<NSView> makeSupplementaryViewOfKind(std::string_view elementKind, std::string_view withIdentifier,
                                                      NSIndexPath forIndexPath);

  // ---- content ----------------------------------------------------------------------
  // Ends displaying every element (the delegate hears it for each), asks the data source
  // for its counts again, prepares the layout from scratch and shows what is now visible.
  virtual void reloadData();
  // Tells the view that the data source gained the items at these index paths. The data
  // source's new counts must equal the old ones plus the insertions in every section;
  // otherwise the view prints why, changes nothing and answers false. Items added at the
  // ends of their sections let the layout keep what it placed before.
  virtual bool insertItemsAtIndexPaths(const NSIndexPathSet& indexPaths);
  // Asks the data source again for the displayed items at these paths (ending the old ones)
  // and lets the layout measure everything again.
  void reloadItemsAtIndexPaths(const NSIndexPathSet& indexPaths);

  // Makes the elements whose frames meet the rectangle (view coordinates) and ends those
  // that no longer do. Called with the visible rectangle grown by the overdraw margin
  // whenever the view scrolls, changes size or lays out, or a layout pass of an ancestor
  // brings into view what the last preparation did not cover, while it has a superview; a
  // view taken out of its superview ends displaying everything.
  virtual void prepareContentInRect(NSRect rect);
  // The rectangle the last preparation covered.
  NSRect preparedRect() const { return preparedRect_; }
  // How far beyond the visible rectangle (in each direction, as a share of its size) the
  // view prepares elements ahead of scrolling.
  struct Constants {
    static constexpr double overdrawFraction = 0.5;
  };

  // Prepares the layout when it is invalidated (without touching the displayed elements).
  void prepareLayoutIfNeeded();
  void layout() override;
  void setFrame(NSRect frame) override;
  void viewDidMoveToSuperview() override;

  // ---- displayed elements -----------------------------------------------------------
  // Displayed items in index-path order.
  std::vector<std::shared_ptr<NSCollectionViewItem>> visibleItems() const;
  NSIndexPathSet indexPathsForVisibleItems() const;
  // The displayed item at the path; never makes one.
  std::shared_ptr<NSCollectionViewItem> itemAtIndexPath(NSIndexPath indexPath) const;
  std::optional<NSIndexPath> indexPathForItem(const std::shared_ptr<NSCollectionViewItem>& item) const;
  // The displayed item under a point of the view.
  std::optional<NSIndexPath> indexPathForItemAtPoint(NSPoint point) const;
  std::shared_ptr<NSView> supplementaryViewForElementKind(std::string_view elementKind, NSIndexPath atIndexPath) const;
  std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(NSIndexPath indexPath) const;
  std::shared_ptr<NSCollectionViewLayoutAttributes> layoutAttributesForSupplementaryElementOfKind(
      std::string_view kind, NSIndexPath atIndexPath) const;
  // The nearest scroll view around the view.
  std::shared_ptr<NSScrollView> enclosingScrollView() const;
  // Scrolls the enclosing scroll view (by code: no live-scroll notifications) so that the
  // items' frames show at the given place.
  void scrollToItemsAtIndexPaths(const NSIndexPathSet& indexPaths, NSCollectionViewScrollPosition scrollPosition);

  // ---- selection ---------------------------------------------------------------------
  // Clicks select only while the view is selectable; with multiple selection a click with
  // the command or shift key adds or removes one item.
  bool selectable = false;
  bool allowsMultipleSelection = false;
  bool allowsEmptySelection = true;
  const NSIndexPathSet& selectionIndexPaths() const { return selectionIndexPaths_; }
  void setSelectionIndexPaths(const NSIndexPathSet& indexPaths);
  // The selected items of section 0, by index.
  NSIndexSet selectionIndexes() const;
  virtual void setSelectionIndexes(const NSIndexSet& indexes);
  // Selection by code: the delegate hears nothing.
  void selectItemsAtIndexPaths(const NSIndexPathSet& indexPaths, NSCollectionViewScrollPosition scrollPosition);
  void deselectItemsAtIndexPaths(const NSIndexPathSet& indexPaths);
  void mouseDown(const std::shared_ptr<NSEvent>& event) override;

  // Item sizes of the older grid model; kept for interfaces that set them, unused by layouts.
  NSSize maxItemSize = NSZeroSize;
  NSSize minItemSize = NSZeroSize;

  bool isFlipped() const override { return true; }
  GLIMDECK_OBJECT(NSCollectionView)

  // What should always hold between the view, its layout and its data, each broken rule as
  // one line (none: all hold): displayed elements are the view's own subviews at their
  // layout frames and at valid paths, exactly those meeting the prepared rectangle while
  // the view is in a tree and laid out, none at two paths or also pooled, and the
  // selection names valid paths. Tests call it after every step.
  std::vector<std::string> invariantViolations() const;

 protected:
  using NSView::NSView;
  void fetchCounts();
  std::vector<std::size_t> counts_;

 private:
  friend class NSCollectionViewLayout;
  using SupplementaryKey = std::pair<std::string, NSIndexPath>;  // kind, path
  using PoolKey = std::pair<std::string, std::string>;           // kind (empty for items), identifier
  struct Registration {
    ItemClass itemClass;
    SupplementaryViewClass viewClass;
    std::shared_ptr<NSNib> nib;
  };
  // The layout tells its view that it must be prepared again.
  virtual void layoutInvalidated() { setNeedsLayout(true); }
  // Prepares the layout, fits the frame to the content and prepares the visible content.
  void refreshContent();
  void ancestorWasLaidOut() override;
  void fitFrameToContent();
  NSRect proposedContentRect() const;
  bool isValid(NSIndexPath path) const;
  // The steps of an insert: why the data source's new counts do not match the old ones and
  // the inserted paths (empty when they do), moving displayed items and the selection past
  // the inserted paths, and telling the layout what changed.
  std::string insertMismatch(const std::vector<std::size_t>& before, const NSIndexPathSet& indexPaths) const;
  void moveElementsPastInsertion(const NSIndexPathSet& indexPaths);
  void invalidateLayoutForInsertion(const std::vector<std::size_t>& before, const NSIndexPathSet& indexPaths);
  std::shared_ptr<NSObject> dequeue(const PoolKey& key);
  void endDisplayingItem(NSIndexPath path, std::shared_ptr<NSCollectionViewItem> item);  // by value: the entry goes
  void endDisplayingSupplementary(SupplementaryKey key, std::shared_ptr<NSView> view);
  void endDisplayingEverything();
  void displayItem(NSIndexPath path, NSRect frame);
  void displaySupplementary(const SupplementaryKey& key, NSRect frame);
  void applySelectionToItems();
  void selectByClick(std::optional<NSIndexPath> path, bool extend);
  void observeClipView();

  std::shared_ptr<NSCollectionViewLayout> layout_;
  NSIndexPathSet selectionIndexPaths_;
  std::map<PoolKey, Registration> registrations_;
  std::map<PoolKey, std::vector<std::shared_ptr<NSObject>>> pools_;
  // The pool each made supplementary view returns to.
  std::unordered_map<const NSView*, std::pair<std::weak_ptr<NSView>, PoolKey>> supplementaryOrigins_;
  std::map<NSIndexPath, std::shared_ptr<NSCollectionViewItem>> displayedItems_;
  std::map<SupplementaryKey, std::shared_ptr<NSView>> displayedSupplementary_;
  NSRect preparedRect_ = NSZeroRect;
  bool refreshing_ = false;
  bool loaded_ = false;  // counts fetched at least once
  std::shared_ptr<NSObject> clipObservation_;
};
