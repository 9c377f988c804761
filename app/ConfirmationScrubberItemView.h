#pragma once
// A scrubber item view with nothing of its own, for a confirmation shown inside a scrubber.

#include <memory>

#include "platform/appkit/NSScrubberItemView.h"

class ConfirmationScrubberItemView : public NSScrubberItemView {
 public:
  static std::shared_ptr<ConfirmationScrubberItemView> initWithFrame(NSRect frame) {
    return finishInit(std::shared_ptr<ConfirmationScrubberItemView>(new ConfirmationScrubberItemView(frame)));
  }
  GLIMDECK_OBJECT(ConfirmationScrubberItemView)

 protected:
  using NSScrubberItemView::NSScrubberItemView;
};
