#pragma once
// The white fill laid under the popover's frame view by the root panel's view.

#include <memory>

#include "platform/appkit/NSView.h"

class RootViewControllerBackgroundView : public NSView {
 public:
  static std::shared_ptr<RootViewControllerBackgroundView> initWithFrame(NSRect frame);

  // Redrawn whenever it is marked for display; the setter cannot change that.
  long layerContentsRedrawPolicy() const { return 1; }
  void setLayerContentsRedrawPolicy(long /*policy*/) {}
  void drawRect(NSRect dirtyRect) override;

  GLIMDECK_OBJECT(RootViewControllerBackgroundView)

 protected:
  using NSView::NSView;
};
