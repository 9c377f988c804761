#include "ui/ClickableView.h"

std::shared_ptr<ClickableView> ClickableView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<ClickableView>(new ClickableView(frame)));
}

void ClickableView::mouseUp(const std::shared_ptr<NSEvent>& /*event*/) {
  if (auto delegate = clickResponderDelegate.lock()) delegate->didClickView(sharedAs<NSView>());
}
