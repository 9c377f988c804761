#pragma once
// An image view whose release over it is reported to a click delegate; presses and drags end
// here, so no drag of the image starts and nothing above hears them.

#include <memory>

#include "platform/appkit/NSImageView.h"
#include "ui/ViewClickResponderDelegate.h"

class ClickableImageView : public NSImageView {
 public:
  static std::shared_ptr<ClickableImageView> initWithFrame(NSRect frame);

  // Held weakly for the same reason as ClickableView's.
  std::weak_ptr<ViewClickResponderDelegate> clickResponderDelegate;

  void mouseDown(const std::shared_ptr<NSEvent>& event) override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;
  void mouseDragged(const std::shared_ptr<NSEvent>& event) override;

  GLIMDECK_OBJECT(ClickableImageView)

 protected:
  using NSImageView::NSImageView;
};
