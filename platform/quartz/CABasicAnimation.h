#pragma once
// Moves one layer property from a value to another: numbers, points, sizes, rectangles
// and colours are interpolated; other values switch at the end.

#include "platform/quartz/CAAnimation.h"

class CABasicAnimation : public CAAnimation {
 public:
  static std::shared_ptr<CABasicAnimation> animationWithKeyPath(std::string_view keyPath);

  std::string keyPath;
  // None means the layer's value at the time: from the current one, or to the model's.
  id fromValue;
  id toValue;
  // Added to the start value when there is no end value.
  id byValue;

  std::shared_ptr<CAAnimation> copy() const override;
  void applyAt(double localTime, CALayer& layer) const override;
  void collectKeyPaths(std::vector<std::string>& into) const override { into.push_back(keyPath); }

  // The value between two (progress 0 gives from, 1 gives to).
  static id interpolate(const id& from, const id& to, double progress);
  static id add(const id& value, const id& by);

  GLIMDECK_OBJECT(CABasicAnimation)

 private:
  CABasicAnimation() = default;
};
