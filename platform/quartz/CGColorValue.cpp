#include "platform/quartz/CGColorValue.h"

#include <cmath>
#include <functional>

std::shared_ptr<CGColorValue> CGColorValue::valueWithColor(const ::CGColor& color) {
  return std::shared_ptr<CGColorValue>(new CGColorValue(color));
}

bool CGColorValue::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto value = asA<CGColorValue>(other);
  return value && value->color_ == color_;
}

std::size_t CGColorValue::hash() const {
  std::size_t h = 0;
  for (double c : {color_.red, color_.green, color_.blue, color_.alpha}) {
    h = h * 1000003u ^ std::hash<long>()(std::lround(c * 1e6));
  }
  return h;
}
