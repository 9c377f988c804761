#pragma once
// A horizontal strip of items on the Touch Bar that the user slides through and taps. Its
// data source says how many items there are and gives each one's view; its layout places
// them; its delegate hears of taps. Only the items inside the scrubber's bounds have views
// (a scrubber of hundreds of GIFs makes a bar's width of them); the views of items that
// slide out are kept by identifier and handed out again by makeItemWithIdentifier.
//
// No hardware shows a bar here: touchItemAtIndex and scrollItemAtIndex stand for the
// finger, so that a test can drive the scrubber as a user would.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/appkit/NSIndexSet.h"
#include "platform/appkit/NSScrubberItemView.h"

class NSNib;
class NSScrubber;
class NSScrubberLayout;

class NSScrubberDataSource {
 public:
  virtual ~NSScrubberDataSource() = default;
  virtual std::size_t numberOfItemsForScrubber(const std::shared_ptr<NSScrubber>& scrubber) = 0;
  virtual std::shared_ptr<NSScrubberItemView> scrubberViewForItemAtIndex(const std::shared_ptr<NSScrubber>& scrubber,
                                                                         std::size_t index) = 0;
};

class NSScrubberDelegate {
 public:
  virtual ~NSScrubberDelegate() = default;
  virtual void scrubberDidSelectItemAtIndex(const std::shared_ptr<NSScrubber>& /*scrubber*/, std::size_t /*index*/) {}
};

// Fixed: the selection stays under the middle of the bar and the items move. Free: the
// items stay and the finger moves over them.
enum class NSScrubberMode { fixed, free };

enum class NSScrubberAlignment { none, leading, trailing, center };

class NSScrubber : public NSView {
 public:
  using ItemViewClass = std::function<std::shared_ptr<NSScrubberItemView>()>;

  static std::shared_ptr<NSScrubber> initWithFrame(NSRect frame);

  std::shared_ptr<NSScrubberDataSource> dataSource() const { return dataSource_.lock(); }
  void setDataSource(const std::shared_ptr<NSScrubberDataSource>& dataSource);
  std::shared_ptr<NSScrubberDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NSScrubberDelegate>& delegate) { delegate_ = delegate; }

  std::shared_ptr<NSScrubberLayout> scrubberLayout() const { return layout_; }
  void setScrubberLayout(std::shared_ptr<NSScrubberLayout> layout);
  NSScrubberMode mode = NSScrubberMode::fixed;

  // How item views are made for an identifier: a class (a factory) or an interface, whose
  // first top-level item view is taken.
  void registerClass(ItemViewClass itemViewClass, std::string forItemIdentifier);
  void registerNib(const std::shared_ptr<NSNib>& nib, std::string forItemIdentifier);
  // A kept view of that identifier, else a new one; none (and a line saying so) when the
  // identifier was never registered or its interface holds no item view.
  std::shared_ptr<NSScrubberItemView> makeItemWithIdentifier(std::string_view identifier,
                                                             const std::shared_ptr<NSObject>& owner);

  // Asks the data source again and remakes every shown view.
  void reloadData();
  // Items inserted at these indexes (of the new numbering): the other items keep their
  // views. A data source whose count did not grow by as many is reloaded instead.
  void insertItemsAtIndexes(const NSIndexSet& indexes);
  std::size_t numberOfItems() const { return count_; }
  // The view of an item inside the bounds, or none.
  std::shared_ptr<NSScrubberItemView> itemViewForItemAtIndex(std::size_t index) const;
  // The indexes whose views are shown, in order.
  std::vector<std::size_t> shownItemIndexes() const;

  std::optional<std::size_t> selectedIndex() const { return selectedIndex_; }
  void setSelectedIndex(std::optional<std::size_t> index);
  // A finger lifted on the item: it becomes the selection and the delegate is told.
  void touchItemAtIndex(std::size_t index);
  // Slides the strip so the item stands at the alignment within the bounds.
  void scrollItemAtIndex(std::size_t index, NSScrubberAlignment alignment);
  // How far the strip is slid (the x of the content at the bounds' left edge).
  double contentOffset() const { return offset_; }

  void setFrame(NSRect frame) override;
  GLIMDECK_OBJECT(NSScrubber)

 protected:
  using NSView::NSView;

 private:
  struct Registration {
    ItemViewClass itemViewClass;
    std::shared_ptr<NSNib> nib;
  };

  // Places the views of the items inside the bounds, making the missing ones and keeping
  // those that left.
  void tile();
  void recycle(const std::shared_ptr<NSScrubberItemView>& view);
  void clampOffset();

  std::weak_ptr<NSScrubberDataSource> dataSource_;
  std::weak_ptr<NSScrubberDelegate> delegate_;
  std::shared_ptr<NSScrubberLayout> layout_;
  std::map<std::string, Registration, std::less<>> registrations_;
  std::map<std::string, std::vector<std::shared_ptr<NSScrubberItemView>>, std::less<>> reusable_;
  std::map<std::size_t, std::shared_ptr<NSScrubberItemView>> shown_;
  std::size_t count_ = 0;
  std::optional<std::size_t> selectedIndex_;
  double offset_ = 0;
  bool tiling_ = false;
  bool loaded_ = false;
};
