#include "platform/quartz/CAAnimationGroup.h"

std::shared_ptr<CAAnimation> CAAnimationGroup::copy() const {
  std::shared_ptr<CAAnimationGroup> other(new CAAnimationGroup());
  copyTimingTo(*other);
  for (const auto& child : animations) {
    if (child) other->animations.push_back(child->copy());
  }
  return other;
}

void CAAnimationGroup::applyAt(double localTime, CALayer& layer) const {
  auto progress = progressAt(localTime);
  if (!progress) return;
  double groupTime = *progress * duration;
  for (const auto& child : animations) child->applyAt(groupTime - child->beginTime, layer);
}

void CAAnimationGroup::collectKeyPaths(std::vector<std::string>& into) const {
  for (const auto& child : animations) child->collectKeyPaths(into);
}

void CAAnimationGroup::resolveDurations(double fallback) {
  CAAnimation::resolveDurations(fallback);
  for (const auto& child : animations) child->resolveDurations(fallback);
}
