#include "ui/ClickableView.h"

#include "ui/NSViewExtensions.h"

std::shared_ptr<ClickableView> ClickableView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<ClickableView>(new ClickableView(frame)));
}

void ClickableView::mouseUp(const std::shared_ptr<NSEvent>& event) {
  if (!event || !isMouseEventOverView(*this, *event)) return;
  if (auto delegate = clickResponderDelegate.lock()) delegate->didClickView(sharedAs<NSView>());
}
