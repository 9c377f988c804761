#pragma once
// An animation of layer properties over the clock. Layers copy an animation when it is
// added, so changing it afterwards changes nothing on screen.

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/quartz/CAMediaTimingFunction.h"

class CALayer;
class CAAnimation;

class CAAnimationDelegate {
 public:
  virtual ~CAAnimationDelegate() = default;
  virtual void animationDidStart(const std::shared_ptr<CAAnimation>& animation) { (void)animation; }
  // finished is true when the animation ran to its end, false when it was removed before.
  virtual void animationDidStop(const std::shared_ptr<CAAnimation>& animation, bool finished) {
    (void)animation;
    (void)finished;
  }
};

inline constexpr std::string_view kCAFillModeRemoved = "removed";
inline constexpr std::string_view kCAFillModeForwards = "forwards";
inline constexpr std::string_view kCAFillModeBackwards = "backwards";
inline constexpr std::string_view kCAFillModeBoth = "both";

class CAAnimation : public NSObject {
 public:
  // Seconds of one pass; 0 takes the transaction's duration when the animation is added.
  double duration = 0;
  // For an animation added to a layer: the clock time it starts, 0 meaning when added.
  // For one inside a group: seconds after the group starts.
  double beginTime = 0;
  // Passes to play; 0 plays once, HUGE_VAL for ever.
  double repeatCount = 0;
  bool autoreverses = false;
  bool removedOnCompletion = true;
  std::string fillMode{kCAFillModeRemoved};
  // None paces linearly.
  std::shared_ptr<CAMediaTimingFunction> timingFunction;
  // Held strongly, as the platform does, until the animation is gone.
  std::shared_ptr<CAAnimationDelegate> delegate;

  static double defaultDuration() { return 0.25; }

  // The time from start to end of all passes; infinite when it repeats for ever.
  double activeDuration() const;
  // The progress (0...1, paced) at a local time (seconds since the start), or none when the
  // animation has no effect then (before its start or after its end, unless filled).
  std::optional<double> progressAt(double localTime) const;

  virtual std::shared_ptr<CAAnimation> copy() const = 0;
  // Sets the animated values for a local time onto a layer (a presentation copy).
  virtual void applyAt(double localTime, CALayer& layer) const = 0;
  // The key paths the animation changes.
  virtual void collectKeyPaths(std::vector<std::string>& into) const = 0;
  // Gives zero durations the default (the transaction's), here and in any children.
  virtual void resolveDurations(double fallback);

  GLIMDECK_OBJECT(CAAnimation)

 protected:
  CAAnimation() = default;
  void copyTimingTo(CAAnimation& other) const;
};
