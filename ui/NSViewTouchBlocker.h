#pragma once
// A plain view that keeps mouse presses, releases and drags to itself, so that they reach
// neither the views beneath it nor its next responder.

#include <memory>

#include "platform/appkit/NSView.h"

class NSViewTouchBlocker : public NSView {
 public:
  static std::shared_ptr<NSViewTouchBlocker> initWithFrame(NSRect frame);

  void mouseDown(const std::shared_ptr<NSEvent>& event) override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;
  void mouseDragged(const std::shared_ptr<NSEvent>& event) override;

  std::string className() const override { return "NSViewTouchBlocker"; }

 protected:
  using NSView::NSView;
};
