#pragma once
// The base of the GIF grids: the collection view outlet, the sections of objects shown, the
// switch that lets the grid scroll, and the drag of one GIF out of the panel. For the drag it
// is the dragging source and the lazy provider of the dragged item's GIF bytes, file URL and
// link; it announces a drag with "dragBegin" (whose observer begins the session) and a drag
// that ended without a drop with "dragEnd". Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <set>
#include <vector>

#include "browse/CollectionViewDisabledResponsiveScrolling.h"
#include "browse/GifCell.h"
#include "browse/GifCollectionScrollView.h"
#include "platform/appkit/NSDraggingItem.h"
#include "platform/appkit/NSDraggingSession.h"
#include "platform/appkit/NSIndexSet.h"
#include "platform/appkit/NSPasteboardItem.h"
#include "platform/appkit/NSViewController.h"

class DraggableAdTrackingCollectionViewController : public NSViewController,
                                                    public GifCollectionCellDelegate,
                                                    public NSDraggingSource,
                                                    public NSPasteboardItemDataProvider {
 public:
  // The object of "dragBegin": what the observer begins the dragging session with.
  class DragBegin : public NSObject {
   public:
    std::shared_ptr<NSDraggingItem> draggingItem;
    std::shared_ptr<NSEvent> event;
    std::shared_ptr<NSDraggingSource> source;
    std::shared_ptr<NSView> view;
    std::string className() const override { return "DragBegin"; }
  };

  static std::shared_ptr<DraggableAdTrackingCollectionViewController> initWithNibName(std::string nibName);

  std::weak_ptr<CollectionViewDisabledResponsiveScrolling> mainCollectionView;
  std::vector<std::vector<std::shared_ptr<NSObject>>> contentList{{}};
  NSIndexPathSet indexPathsForPromotedContent;
  NSIndexPathSet indexPathsForTrackedPromotedContent;
  NSIndexPathSet indexPathsForPendingPromotedContent;
  std::shared_ptr<VornObject> currentDraggingVorn;

  // The collection view's scroll view when it is a grid's; none before the view loads.
  std::shared_ptr<GifCollectionScrollView> enclosingScrollView();
  bool scrollingEnabled() const { return scrollingEnabled_; }
  // Passed on to the grid's scroll view, when there is one.
  void setScrollingEnabled(bool enabled);

  // Sponsored views: logged once the cell is fully visible, else kept pending until a scroll
  // shows it whole; the tracking pixels go out once per index path.
  void attemptAdvertisementLoggingAt(NSIndexPath path, const std::string& sourceID,
                                     const std::optional<std::vector<std::string>>& pixels);
  void logAdvertisementViewAt(NSIndexPath path, const std::string& sourceID,
                              const std::optional<std::vector<std::string>>& pixels);
  void logViewsForPendingPromotedContent();
  // Puts the item's sponsor badge on its cell, when the item names one that can be shown.
  void configure(const std::shared_ptr<GifCell>& cell, NSIndexPath path, const std::shared_ptr<VornObject>& promotedVorn);

  // Overridable: a drag ended with a drop; the frame of the drag image for a cell's frame.
  virtual void reportSuccessfulDragWithDraggedVorn(const std::shared_ptr<VornObject>& /*vorn*/) {}
  virtual NSRect getDragFrameWithCellFrame(NSRect /*cellFrame*/) { return NSMakeRect(0, 0, 1, 1); }

  // The cells' drag questions (GifCollectionCellDelegate).
  void didClick(const std::shared_ptr<GifCell>& /*cell*/) override {}
  bool canBeginDrag() override { return !currentDraggingVorn; }
  bool implementsCanBeginDrag() const override { return true; }
  void didBeginDrag(const std::shared_ptr<GifCell>& cell, const std::shared_ptr<VornObject>& vorn,
                    const std::shared_ptr<NSEvent>& event) override;
  bool implementsDidBeginDrag() const override { return true; }

  // NSDraggingSource: copy, inside and outside the application; the end of the session.
  NSDragOperation draggingSession(const std::shared_ptr<NSDraggingSession>& session,
                                  NSDraggingContext context) override;
  void draggingSession(const std::shared_ptr<NSDraggingSession>& session, NSPoint endedAtPoint,
                       NSDragOperation operation) override;
  // The dragged item's data, asked for by type when a drop target reads it.
  void pasteboard(const std::shared_ptr<NSPasteboard>& pasteboard, const std::shared_ptr<NSPasteboardItem>& item,
                  const NSPasteboardType& provideDataForType) override;

  std::string className() const override { return "DraggableAdTrackingCollectionViewController"; }

 protected:
  using NSViewController::NSViewController;

 private:
  bool scrollingEnabled_ = true;
};
