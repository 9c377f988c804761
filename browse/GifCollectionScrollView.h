#pragma once
// The scroll view around every GIF grid. While it is disabled the wheel does not move it;
// scrolling by code still does.

#include <memory>

#include "platform/appkit/NSScrollView.h"

class GifCollectionScrollView : public NSScrollView {
 public:
  static std::shared_ptr<GifCollectionScrollView> initWithFrame(NSRect frame);

  bool isEnabled = true;

  void scrollWheel(const std::shared_ptr<NSEvent>& event) override;
  GLIMDECK_OBJECT(GifCollectionScrollView)

 protected:
  using NSScrollView::NSScrollView;
};
