#pragma once
// A region of a view whose owner hears the pointer entering, leaving and moving in it.

#include <cstdint>
#include <memory>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

using NSTrackingAreaOptions = std::uint32_t;
constexpr NSTrackingAreaOptions NSTrackingMouseEnteredAndExited = 0x01;
constexpr NSTrackingAreaOptions NSTrackingMouseMoved = 0x02;
constexpr NSTrackingAreaOptions NSTrackingCursorUpdate = 0x04;
constexpr NSTrackingAreaOptions NSTrackingActiveWhenFirstResponder = 0x10;
constexpr NSTrackingAreaOptions NSTrackingActiveInKeyWindow = 0x20;
constexpr NSTrackingAreaOptions NSTrackingActiveInActiveApp = 0x40;
constexpr NSTrackingAreaOptions NSTrackingActiveAlways = 0x80;
constexpr NSTrackingAreaOptions NSTrackingAssumeInside = 0x100;
constexpr NSTrackingAreaOptions NSTrackingInVisibleRect = 0x200;
constexpr NSTrackingAreaOptions NSTrackingEnabledDuringMouseDrag = 0x400;

class NSTrackingArea : public NSObject {
 public:
  // The owner is held weakly: a view usually owns the areas it adds to itself.
  static std::shared_ptr<NSTrackingArea> initWithRect(NSRect rect, NSTrackingAreaOptions options,
                                                      const std::shared_ptr<NSObject>& owner,
                                                      std::shared_ptr<NSObject> userInfo);

  NSRect rect() const { return rect_; }
  NSTrackingAreaOptions options() const { return options_; }
  std::shared_ptr<NSObject> owner() const { return owner_.lock(); }
  std::shared_ptr<NSObject> userInfo() const { return userInfo_; }

  // Whether the pointer was inside when the window last looked.
  bool isPointerInside() const { return inside_; }
  void setPointerInside(bool inside) { inside_ = inside; }

  GLIMDECK_OBJECT(NSTrackingArea)

 private:
  NSTrackingArea() = default;
  NSRect rect_;
  NSTrackingAreaOptions options_ = 0;
  std::weak_ptr<NSObject> owner_;
  std::shared_ptr<NSObject> userInfo_;
  bool inside_ = false;
};
