#include "platform/appkit/NSScrollView.h"

#include <utility>

#include "platform/appkit/NSEvent.h"
#include "platform/foundation/NSNotificationCenter.h"

std::shared_ptr<NSScrollView> NSScrollView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSScrollView>(new NSScrollView(frame)));
}

std::shared_ptr<NSScroller> NSScroller::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSScroller>(new NSScroller(frame)));
}

void NSScrollView::didInit() {
  NSView::didInit();
  contentView_ = NSClipView::initWithFrame(NSMakeRect(0, 0, frame().size.width, frame().size.height));
  contentView_->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
  addSubview(contentView_);
}

void NSScrollView::setFrame(NSRect frame) {
  NSView::setFrame(frame);
  if (contentView_) {
    contentView_->setFrame(NSMakeRect(0, 0, frame.size.width, frame.size.height));
    contentView_->scrollToPoint(contentView_->bounds().origin);
  }
}

void NSScrollView::scrollWheel(const std::shared_ptr<NSEvent>& event) {
  if (!event || !documentView()) return;
  const NSPoint origin = contentOffset();
  // Scrollers only show the position: a grid that hides them still scrolls under the wheel.
  double dx = event->scrollingDeltaX();
  double dy = event->scrollingDeltaY();
  // A view that can only move sideways takes the plain wheel sideways, as a desktop's
  // scrolled windows do: down moves on to the right.
  const NSSize document = documentView()->frame().size;
  const NSSize shown = contentView_->bounds().size;
  if (dx == 0 && document.height <= shown.height && document.width > shown.width) std::swap(dx, dy);
  const NSPoint wanted = contentView_->constrainBoundsOrigin({origin.x - dx, origin.y - dy});
  // A step that moves nothing (at an end, or across a view that cannot move that way) is
  // no live scroll: those who page or slide with the view must not act on it.
  if (wanted == origin) return;
  auto center = NSNotificationCenter::defaultCenter();
  auto self = sharedAs<NSObject>();
  center->postNotificationName(std::string(Constants::willStartLiveScrollNotification), self);
  contentView_->scrollToPoint(wanted);
  center->postNotificationName(std::string(Constants::didLiveScrollNotification), self);
  center->postNotificationName(std::string(Constants::didEndLiveScrollNotification), self);
}
