#include "ui/ClickableImageView.h"

#include "ui/NSViewExtensions.h"

std::shared_ptr<ClickableImageView> ClickableImageView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<ClickableImageView>(new ClickableImageView(frame, NSCell::initImageCell(nullptr))));
}

void ClickableImageView::mouseDown(const std::shared_ptr<NSEvent>& /*event*/) {}
void ClickableImageView::mouseDragged(const std::shared_ptr<NSEvent>& /*event*/) {}

void ClickableImageView::mouseUp(const std::shared_ptr<NSEvent>& event) {
  if (!event || !isMouseEventOverView(*this, *event)) return;
  if (auto delegate = clickResponderDelegate.lock()) delegate->didClickView(sharedAs<NSView>());
}
