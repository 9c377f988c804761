#pragma once
// A view whose listed layers always fill it: each layout sets their frames to the view's
// bounds at once, without implicit animation (a GIF tile keeps its movie layer here).

#include <memory>
#include <vector>

#include "platform/appkit/NSView.h"
#include "platform/quartz/CALayer.h"

class ResizingLayerBackedView : public NSView {
 public:
  static std::shared_ptr<ResizingLayerBackedView> initWithFrame(NSRect frame);

  std::vector<std::shared_ptr<CALayer>> backingLayers;

  void layout() override;

  GLIMDECK_OBJECT(ResizingLayerBackedView)

 protected:
  using NSView::NSView;
};
