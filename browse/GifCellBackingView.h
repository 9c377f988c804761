#pragma once
// The root view of a GIF tile: tracks the pointer over its whole area, even while the panel
// is not the key window, and tells a hover delegate when it enters and leaves, including
// when the tile is laid out under a pointer that is already resting there.

#include <memory>

#include "platform/appkit/NSTrackingArea.h"
#include "platform/appkit/NSView.h"

class GifCellBackingViewHoverDelegate {
 public:
  virtual ~GifCellBackingViewHoverDelegate() = default;
  virtual void mouseEntered() = 0;
  virtual void mouseExited() = 0;
};

class GifCellBackingView : public NSView {
 public:
  static std::shared_ptr<GifCellBackingView> initWithFrame(NSRect frame);

  std::shared_ptr<NSTrackingArea> trackingArea;
  std::weak_ptr<GifCellBackingViewHoverDelegate> delegate;

  void updateTrackingAreas() override;
  void mouseEntered(const std::shared_ptr<NSEvent>& event) override;
  void mouseExited(const std::shared_ptr<NSEvent>& event) override;

  GLIMDECK_OBJECT(GifCellBackingView)

 protected:
  using NSView::NSView;
};
