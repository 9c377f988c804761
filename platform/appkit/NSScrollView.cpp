#include "platform/appkit/NSScrollView.h"

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
  auto center = NSNotificationCenter::defaultCenter();
  auto self = sharedAs<NSObject>();
  NSPoint origin = contentOffset();
  // Scrollers only show the position: a grid that hides them still scrolls under the wheel.
  double dx = event->scrollingDeltaX();
  double dy = event->scrollingDeltaY();
  center->postNotificationName(std::string(Constants::willStartLiveScrollNotification), self);
  contentView_->scrollToPoint({origin.x - dx, origin.y - dy});
  center->postNotificationName(std::string(Constants::didLiveScrollNotification), self);
  center->postNotificationName(std::string(Constants::didEndLiveScrollNotification), self);
}
