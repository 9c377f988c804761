#include "platform/appkit/NSTrackingArea.h"

std::shared_ptr<NSTrackingArea> NSTrackingArea::initWithRect(NSRect rect, NSTrackingAreaOptions options,
                                                             const std::shared_ptr<NSObject>& owner,
                                                             std::shared_ptr<NSObject> userInfo) {
  auto area = std::shared_ptr<NSTrackingArea>(new NSTrackingArea());
  area->rect_ = rect;
  area->options_ = options;
  area->owner_ = owner;
  area->userInfo_ = std::move(userInfo);
  area->inside_ = (options & NSTrackingAssumeInside) != 0;
  return area;
}
