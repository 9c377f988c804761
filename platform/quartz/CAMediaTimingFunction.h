#pragma once
// The pacing of an animation: a cubic Bézier from (0, 0) to (1, 1) through two control
// points, mapping elapsed fraction to progress.

#include <memory>
#include <string_view>

#include "platform/foundation/NSObject.h"

inline constexpr std::string_view kCAMediaTimingFunctionLinear = "linear";
inline constexpr std::string_view kCAMediaTimingFunctionEaseIn = "easeIn";
inline constexpr std::string_view kCAMediaTimingFunctionEaseOut = "easeOut";
inline constexpr std::string_view kCAMediaTimingFunctionEaseInEaseOut = "easeInEaseOut";
inline constexpr std::string_view kCAMediaTimingFunctionDefault = "default";

class CAMediaTimingFunction : public NSObject {
 public:
  // One of the names above; an unknown name gives the linear function.
  static std::shared_ptr<CAMediaTimingFunction> functionWithName(std::string_view name);
  static std::shared_ptr<CAMediaTimingFunction> functionWithControlPoints(double x1, double y1, double x2, double y2);

  // Progress (0...1) at an elapsed fraction (clamped to 0...1).
  double valueAt(double fraction) const;
  void getControlPoints(double* x1, double* y1, double* x2, double* y2) const;

  GLIMDECK_OBJECT(CAMediaTimingFunction)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;

 private:
  CAMediaTimingFunction(double x1, double y1, double x2, double y2) : x1_(x1), y1_(y1), x2_(x2), y2_(y2) {}
  double x1_, y1_, x2_, y2_;
};
