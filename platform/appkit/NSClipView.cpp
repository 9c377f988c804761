#include "platform/appkit/NSClipView.h"

#include <algorithm>

#include "platform/foundation/NSNotificationCenter.h"

std::shared_ptr<NSClipView> NSClipView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSClipView>(new NSClipView(frame)));
}

void NSClipView::setDocumentView(const std::shared_ptr<NSView>& view) {
  if (auto old = documentView()) old->removeFromSuperview();
  documentView_ = view;
  if (view) {
    view->setFrameOrigin(NSZeroPoint);
    addSubview(view);
  }
  scrollToPoint(NSZeroPoint);
}

NSRect NSClipView::documentVisibleRect() const {
  auto document = documentView();
  if (!document) return NSZeroRect;
  return NSIntersectionRect(bounds(), document->frame());
}

NSPoint NSClipView::constrainBoundsOrigin(NSPoint proposed) const {
  auto document = documentView();
  NSSize content = document ? document->frame().size : NSZeroSize;
  auto clamp = [](double value, double limit) { return std::clamp(value, 0.0, std::max(0.0, limit)); };
  return {clamp(proposed.x, content.width - bounds().width()), clamp(proposed.y, content.height - bounds().height())};
}

void NSClipView::scrollToPoint(NSPoint point) {
  NSPoint origin = constrainBoundsOrigin(point);
  if (origin == bounds().origin) return;
  setBoundsOrigin(origin);
  postBoundsChanged();
}

void NSClipView::setFrame(NSRect frame) {
  NSSize old = this->frame().size;
  NSView::setFrame(frame);
  if (old != frame.size) postBoundsChanged();
}

void NSClipView::postBoundsChanged() {
  NSNotificationCenter::defaultCenter()->postNotificationName(std::string(Constants::boundsDidChangeNotification),
                                                              sharedAs<NSObject>());
}
