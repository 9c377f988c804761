#pragma once
// Shows a part of a larger document view and moves over it: under the wheel (live
// scrolling, announced by notifications with the scroll view as object) or by code (which
// announces nothing).

#include <memory>
#include <string_view>

#include "platform/appkit/NSClipView.h"

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
  // Scrolling by code: moves at once and posts nothing.
  void scrollToPoint(NSPoint point) { contentView_->scrollToPoint(point); }

  bool hasVerticalScroller = true;
  bool hasHorizontalScroller = false;

  // One wheel step: moves by the event's deltas (a positive delta shows what lies above or
  // to the left), kept inside the document, with will-start, did-live-scroll and did-end.
  void scrollWheel(const std::shared_ptr<NSEvent>& event) override;
  void setFrame(NSRect frame) override;

  std::string className() const override { return "NSScrollView"; }

 protected:
  using NSView::NSView;
  void didInit() override;

 private:
  std::shared_ptr<NSClipView> contentView_;
};
