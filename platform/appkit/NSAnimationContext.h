#pragma once
// Animation groups for views. Changes made in a group through an "animator" proxy (a view's
// or constraint's animator()) take their final value at once; the group's completion runs
// on the main run loop once its duration has passed on the clock (and any layer animation
// added inside it has ended). A group is a layer transaction underneath, so layer
// animations added in it without a duration take the group's.

#include <functional>
#include <memory>

#include "platform/foundation/NSObject.h"
#include "platform/quartz/CAMediaTimingFunction.h"

class NSAnimationContext : public NSObject {
 public:
  // Runs the changes in a new group and schedules the completion (if any) after it.
  static void runAnimationGroup(const std::function<void(NSAnimationContext&)>& changes,
                                std::function<void()> completionHandler = nullptr);
  // The innermost open group, or a default one outside any group.
  static std::shared_ptr<NSAnimationContext> currentContext();
  static void beginGrouping();
  static void endGrouping();
  // Whether a group is open: animator proxies may ask, and do the same either way.
  static bool isGrouping();

  static double defaultDuration() { return 0.25; }

  double duration() const { return duration_; }
  void setDuration(double seconds);
  std::shared_ptr<CAMediaTimingFunction> timingFunction() const { return timingFunction_; }
  void setTimingFunction(std::shared_ptr<CAMediaTimingFunction> function);
  bool allowsImplicitAnimation = false;
  std::function<void()> completionHandler;

  GLIMDECK_OBJECT(NSAnimationContext)

 private:
  NSAnimationContext() = default;
  double duration_ = defaultDuration();
  std::shared_ptr<CAMediaTimingFunction> timingFunction_;
  bool open_ = false;
};
