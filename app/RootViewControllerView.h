#pragma once
// The root panel's own view. Once it is in the popover's window it lays a white background
// under the popover's frame view, so that the panel is white from edge to edge, the arrow
// included.

#include <memory>

#include "platform/appkit/NSView.h"

class RootViewControllerView : public NSView {
 public:
  static std::shared_ptr<RootViewControllerView> initWithFrame(NSRect frame);

  void viewDidMoveToWindow() override;

  GLIMDECK_OBJECT(RootViewControllerView)

 protected:
  using NSView::NSView;
};
