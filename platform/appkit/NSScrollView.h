#pragma once
// Shows a part of a larger document view and moves over it: under the wheel (live
// scrolling, announced by notifications with the scroll view as object) or by code (which
// announces nothing).

#include <memory>
#include <string_view>

#include "platform/appkit/NSClipView.h"

// A scroll bar of a scroll view. Scrolling here goes by the wheel and by code, so a scroller
// only carries the look its owner gives it (alpha, hidden); it takes no events.
class NSScroller : public NSView {
 public:
  static std::shared_ptr<NSScroller> initWithFrame(NSRect frame);
  std::shared_ptr<NSView> hitTest(NSPoint /*pointInSuperview*/) override { return nullptr; }
  GLIMDECK_OBJECT(NSScroller)

 protected:
  using NSView::NSView;
};

class NSScrollView : public NSView {
 public:
  static std::shared_ptr<NSScrollView> initWithFrame(NSRect frame);

  struct Constants {
    static constexpr std::string_view willStartLiveScrollNotification = "NSScrollViewWillStartLiveScrollNotification";
    static constexpr std::string_view didLiveScrollNotification = "NSScrollViewDidLiveScrollNotification";
    static constexpr std::string_view didEndLiveScrollNotification = "NSScrollViewDidEndLiveScrollNotification";
  };

  std::shared_ptr<NSClipView> contentView() const { return contentView_; }
  std::shared_ptr<NSView> documentView() const { return contentView_->documentView(); }
  void setDocumentView(const std::shared_ptr<NSView>& view) { contentView_->setDocumentView(view); }
  NSRect documentVisibleRect() const { return contentView_->documentVisibleRect(); }
  NSPoint contentOffset() const { return contentView_->bounds().origin; }
  // Scrolling by code: moves at once and posts no live-scroll notification (only the clip
  // view's bounds change, which the document view follows).
  void scrollToPoint(NSPoint point) { contentView_->scrollToPoint(point); }

  // Whether the scrollers show; the wheel scrolls either way.
  bool hasVerticalScroller = true;
  bool hasHorizontalScroller = false;
  std::shared_ptr<NSScroller> verticalScroller() const { return verticalScroller_; }
  std::shared_ptr<NSScroller> horizontalScroller() const { return horizontalScroller_; }

  // One wheel step: moves by the event's deltas (a positive delta shows what lies above or
  // to the left), kept inside the document, with will-start, did-live-scroll and did-end.
  // A view that can move only sideways takes a plain vertical step sideways; a step that
  // moves nothing announces nothing.
  void scrollWheel(const std::shared_ptr<NSEvent>& event) override;
  void setFrame(NSRect frame) override;

  GLIMDECK_OBJECT(NSScrollView)

 protected:
  using NSView::NSView;
  void didInit() override;

 private:
  std::shared_ptr<NSClipView> contentView_;
  std::shared_ptr<NSScroller> verticalScroller_ = NSScroller::initWithFrame(NSZeroRect);
  std::shared_ptr<NSScroller> horizontalScroller_ = NSScroller::initWithFrame(NSZeroRect);
};
