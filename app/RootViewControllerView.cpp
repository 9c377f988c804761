#include "app/RootViewControllerView.h"

#include "app/RootViewControllerBackgroundView.h"
#include "platform/appkit/NSWindow.h"

std::shared_ptr<RootViewControllerView> RootViewControllerView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<RootViewControllerView>(new RootViewControllerView(frame)));
}

void RootViewControllerView::viewDidMoveToWindow() {
  auto window = this->window();
  auto content = window ? window->contentView() : nullptr;
  if (auto frameView = content ? content->superview() : nullptr) {
    // The frame view's bounds, not the content view's: the popover's arrow is white too.
    auto background = RootViewControllerBackgroundView::initWithFrame(frameView->bounds());
    background->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
    frameView->addSubview(background, NSWindowOrderingMode::below, frameView);
  }
  NSView::viewDidMoveToWindow();
}
