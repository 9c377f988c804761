#pragma once
// The view a scroll view looks through: its bounds origin is the scroll position over the
// document view, its only subview.

#include <memory>
#include <string_view>

#include "platform/appkit/NSView.h"

class NSClipView : public NSView {
 public:
  static std::shared_ptr<NSClipView> initWithFrame(NSRect frame);

  struct Constants {
    // Posted (object: the clip view) whenever the visible part moves or changes size, by
    // code or under the wheel; the document view follows it to show what came into view.
    static constexpr std::string_view boundsDidChangeNotification = "NSViewBoundsDidChangeNotification";
  };

  std::shared_ptr<NSView> documentView() const { return documentView_.lock(); }
  void setDocumentView(const std::shared_ptr<NSView>& view);
  // The part of the document seen through the clip view, in the document's coordinates.
  NSRect documentVisibleRect() const;
  // The nearest origin that keeps the view inside the document (the top left when the
  // document is smaller).
  NSPoint constrainBoundsOrigin(NSPoint proposed) const;
  // Moves the visible part to the constrained origin.
  void scrollToPoint(NSPoint point);
  bool isFlipped() const override { return true; }
  void setFrame(NSRect frame) override;

  GLIMDECK_OBJECT(NSClipView)

 protected:
  using NSView::NSView;

 private:
  void postBoundsChanged();
  std::weak_ptr<NSView> documentView_;
};
