#pragma once
// Several animations run on one timeline: each child's begin time counts from the group's
// start, and the group's duration cuts them off.

#include "platform/quartz/CAAnimation.h"

class CAAnimationGroup : public CAAnimation {
 public:
  static std::shared_ptr<CAAnimationGroup> animation() {
    return create();
  }

  std::vector<std::shared_ptr<CAAnimation>> animations;

  std::shared_ptr<CAAnimation> copy() const override;
  void applyAt(double localTime, CALayer& layer) const override;
  void collectKeyPaths(std::vector<std::string>& into) const override;
  void resolveDurations(double fallback) override;

  GLIMDECK_OBJECT(CAAnimationGroup)

 private:
  CAAnimationGroup() = default;
};
