#pragma once
// A view that keeps every press to itself and reports each release over it to its click
// delegate.

#include <memory>

#include "ui/NSViewTouchBlocker.h"
#include "ui/ViewClickResponderDelegate.h"

class ClickableView : public NSViewTouchBlocker {
 public:
  static std::shared_ptr<ClickableView> initWithFrame(NSRect frame);

  // Held weakly: the screen that owns the view is usually the delegate, and a strong
  // reference back would keep both alive for ever.
  std::weak_ptr<ViewClickResponderDelegate> clickResponderDelegate;

  void mouseUp(const std::shared_ptr<NSEvent>& event) override;

  GLIMDECK_OBJECT(ClickableView)

 protected:
  using NSViewTouchBlocker::NSViewTouchBlocker;
};
