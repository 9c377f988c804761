#include "platform/quartz/CAAnimation.h"

#include <algorithm>

double CAAnimation::activeDuration() const {
  double passes = repeatCount > 0 ? repeatCount : 1;
  if (std::isinf(passes)) return HUGE_VAL;
  return std::max(0.0, duration) * passes * (autoreverses ? 2 : 1);
}

std::optional<double> CAAnimation::progressAt(double localTime) const {
  bool fillsBackwards = fillMode == kCAFillModeBackwards || fillMode == kCAFillModeBoth;
  bool fillsForwards = fillMode == kCAFillModeForwards || fillMode == kCAFillModeBoth;
  double active = activeDuration();
  double raw;
  if (localTime < 0) {
    if (!fillsBackwards) return std::nullopt;
    raw = 0;
  } else if (localTime >= active) {
    if (!fillsForwards) return std::nullopt;
    // The end state of the last pass: reversed passes end where they began.
    raw = autoreverses ? 0 : 1;
  } else if (duration <= 0) {
    raw = 1;
  } else {
    double cycle = duration * (autoreverses ? 2 : 1);
    double within = std::fmod(localTime, cycle);
    raw = within <= duration ? within / duration : (cycle - within) / duration;
  }
  return timingFunction ? timingFunction->valueAt(raw) : raw;
}

void CAAnimation::resolveDurations(double fallback) {
  if (!(duration > 0)) duration = fallback;
}

void CAAnimation::copyTimingTo(CAAnimation& other) const {
  other.duration = duration;
  other.beginTime = beginTime;
  other.repeatCount = repeatCount;
  other.autoreverses = autoreverses;
  other.removedOnCompletion = removedOnCompletion;
  other.fillMode = fillMode;
  other.timingFunction = timingFunction;
  other.delegate = delegate;
}
