#include "platform/appkit/NSPopover.h"

#include <algorithm>

#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSViewController.h"

void NSPopover::setContentViewController(const std::shared_ptr<NSViewController>& controller) {
  contentViewController_ = controller;
  if (window_ && window_->contentViewController() != controller) {
    if (controller) {
      window_->setContentViewController(controller);
    } else {
      window_->setContentView(NSView::initWithFrame(NSZeroRect));
    }
  }
}

void NSPopover::showRelativeToRect(NSRect rect, const std::shared_ptr<NSView>& ofView, NSRectEdge preferredEdge) {
  if (!ofView || !contentViewController_) return;
  auto anchorWindow = ofView->window();
  if (!anchorWindow) return;
  NSRect anchor = anchorWindow->convertRectToScreen(ofView->convertRectToView(rect, nullptr));

  NSSize size = contentSize;
  if (size.width <= 0 || size.height <= 0) size = contentViewController_->view()->frame().size;

  if (!window_) {
    window_ = std::shared_ptr<NSPopoverWindow>(new NSPopoverWindow());
    window_->setUp(NSMakeRect(0, 0, size.width, size.height), NSWindowStyleMaskBorderless);
    window_->popover_ = sharedAs<NSPopover>();
    window_->level = Constants::windowLevel;
    window_->hidesOnDeactivate = false;
  }
  if (window_->contentViewController() != contentViewController_) window_->setContentViewController(contentViewController_);

  // The edges name sides of the view's own space: a flipped view's minimum-Y edge is its top.
  bool vertical = preferredEdge == NSRectEdge::minY || preferredEdge == NSRectEdge::maxY;
  bool towardsLow = (preferredEdge == NSRectEdge::minY || preferredEdge == NSRectEdge::minX);
  if (vertical && ofView->isFlipped()) towardsLow = !towardsLow;

  auto screen = NSScreen::screenShowingMostOf(anchor);
  if (!screen) screen = NSScreen::mainScreen();
  NSRect area = screen ? screen->frame() : NSMakeRect(0, 0, 1440, 900);

  NSRect frame = NSMakeRect(0, 0, size.width, size.height);
  if (vertical) {
    frame.origin.x = anchor.midX() - size.width / 2;
    frame.origin.y = towardsLow ? anchor.minY() - size.height : anchor.maxY();
    if (towardsLow && frame.minY() < area.minY() && anchor.maxY() + size.height <= area.maxY()) {
      frame.origin.y = anchor.maxY();
    } else if (!towardsLow && frame.maxY() > area.maxY() && anchor.minY() - size.height >= area.minY()) {
      frame.origin.y = anchor.minY() - size.height;
    }
  } else {
    frame.origin.y = anchor.midY() - size.height / 2;
    frame.origin.x = towardsLow ? anchor.minX() - size.width : anchor.maxX();
    if (towardsLow && frame.minX() < area.minX() && anchor.maxX() + size.width <= area.maxX()) {
      frame.origin.x = anchor.maxX();
    } else if (!towardsLow && frame.maxX() > area.maxX() && anchor.minX() - size.width >= area.minX()) {
      frame.origin.x = anchor.minX() - size.width;
    }
  }
  // Kept on the display along both axes, as far as it fits.
  frame.origin.x = std::clamp(frame.origin.x, area.minX(), std::max(area.minX(), area.maxX() - size.width));
  frame.origin.y = std::clamp(frame.origin.y, area.minY(), std::max(area.minY(), area.maxY() - size.height));
  window_->setFrame(frame, true);

  bool appearing = !shown_;
  shown_ = true;
  window_->makeKeyAndOrderFront(nullptr);
  if (appearing) {
    if (auto d = delegate()) d->popoverDidShow(sharedAs<NSPopover>());
  }
}

void NSPopover::performClose(const std::shared_ptr<NSObject>&) { close(); }

void NSPopover::close() {
  if (!shown_) return;
  shown_ = false;
  if (window_) window_->orderOut(nullptr);
  if (auto d = delegate()) d->popoverDidClose(sharedAs<NSPopover>());
}
