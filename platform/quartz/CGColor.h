#pragma once
// A colour as the drawing layer takes it: straight (not premultiplied) sRGB components
// from 0 to 1 and an alpha.

#include <algorithm>

struct CGColor {
  double red = 0, green = 0, blue = 0, alpha = 1;
  friend bool operator==(const CGColor&, const CGColor&) = default;

  CGColor withAlpha(double a) const { return {red, green, blue, std::clamp(a, 0.0, 1.0)}; }
  bool isClear() const { return alpha <= 0; }
};

inline CGColor CGColorCreateGenericRGB(double r, double g, double b, double a) { return {r, g, b, a}; }
