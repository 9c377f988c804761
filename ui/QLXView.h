#pragma once
// A plain view over which the pointer stays an arrow.

#include <memory>

#include "platform/appkit/NSView.h"

class QLXView : public NSView {
 public:
  static std::shared_ptr<QLXView> initWithFrame(NSRect frame);
  void resetCursorRects() override;
  GLIMDECK_OBJECT(QLXView)

 protected:
  using NSView::NSView;
};
