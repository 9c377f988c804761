#include "app/RootViewControllerView.h"

#include <algorithm>

#include "app/RootViewControllerBackgroundView.h"
#include "platform/appkit/NSWindow.h"

std::shared_ptr<RootViewControllerView> RootViewControllerView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<RootViewControllerView>(new RootViewControllerView(frame)));
}

void RootViewControllerView::viewDidMoveToWindow() {
  auto window = this->window();
  auto content = window ? window->contentView() : nullptr;
  auto frameView = content ? content->superview() : nullptr;
  // One fill is enough, however often the panel comes into a window again.
  const bool filled = frameView && std::ranges::any_of(frameView->subviews(), [](const auto& view) {
    return asA<RootViewControllerBackgroundView>(view) != nullptr;
  });
  if (frameView && !filled) {
    // The frame view's bounds, not the content view's: the popover's arrow is white too.
    auto background = RootViewControllerBackgroundView::initWithFrame(frameView->bounds());
    background->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
    frameView->addSubview(background, NSWindowOrderingMode::below, frameView);
  }
  NSView::viewDidMoveToWindow();
}
