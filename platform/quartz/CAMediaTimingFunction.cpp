#include "platform/quartz/CAMediaTimingFunction.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<CAMediaTimingFunction> CAMediaTimingFunction::functionWithName(std::string_view name) {
  if (name == kCAMediaTimingFunctionEaseIn) return functionWithControlPoints(0.42, 0, 1, 1);
  if (name == kCAMediaTimingFunctionEaseOut) return functionWithControlPoints(0, 0, 0.58, 1);
  if (name == kCAMediaTimingFunctionEaseInEaseOut) return functionWithControlPoints(0.42, 0, 0.58, 1);
  if (name == kCAMediaTimingFunctionDefault) return functionWithControlPoints(0.25, 0.1, 0.25, 1);
  return functionWithControlPoints(0, 0, 1, 1);
}

std::shared_ptr<CAMediaTimingFunction> CAMediaTimingFunction::functionWithControlPoints(double x1, double y1,
                                                                                       double x2, double y2) {
  // The x of the control points must stay within 0...1 for the curve to be a function of time.
  auto unit = [](double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); };
  auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
  return std::shared_ptr<CAMediaTimingFunction>(
      new CAMediaTimingFunction(unit(x1), finite(y1), unit(x2), finite(y2)));
}

double CAMediaTimingFunction::valueAt(double fraction) const {
  double x = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  auto bezier = [](double a, double b, double t) {
    double u = 1 - t;
    return 3 * u * u * t * a + 3 * u * t * t * b + t * t * t;
  };
  // x(t) grows monotonically for control x within 0...1: bisection finds t for the given x.
  double lo = 0, hi = 1, t = x;
  for (int i = 0; i < 60; ++i) {
    t = (lo + hi) / 2;
    double xt = bezier(x1_, x2_, t);
    if (std::fabs(xt - x) < 1e-12) break;
    if (xt < x) lo = t;
    else hi = t;
  }
  return bezier(y1_, y2_, t);
}

void CAMediaTimingFunction::getControlPoints(double* x1, double* y1, double* x2, double* y2) const {
  if (x1) *x1 = x1_;
  if (y1) *y1 = y1_;
  if (x2) *x2 = x2_;
  if (y2) *y2 = y2_;
}

bool CAMediaTimingFunction::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto f = asA<CAMediaTimingFunction>(other);
  return f && f->x1_ == x1_ && f->y1_ == y1_ && f->x2_ == x2_ && f->y2_ == y2_;
}
