#include "platform/quartz/CGPath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// Distance of the control points of a cubic quarter-circle from its ends, per unit radius.
constexpr double kKappa = 0.5522847498307936;
}  // namespace

CGPath CGPath::rect(NSRect rect) {
  CGPath path;
  path.addRect(rect);
  return path;
}

void CGPath::addRect(NSRect r) {
  moveTo({r.minX(), r.minY()});
  lineTo({r.maxX(), r.minY()});
  lineTo({r.maxX(), r.maxY()});
  lineTo({r.minX(), r.maxY()});
  closePath();
}

CGPath CGPath::roundedRect(NSRect r, double radius) {
  double limit = std::min(std::fabs(r.width()), std::fabs(r.height())) / 2;
  double rad = std::clamp(std::isnan(radius) ? 0.0 : radius, 0.0, limit);
  if (rad <= 0) return rect(r);
  constexpr double pi = 3.14159265358979323846;
  CGPath path;
  path.moveTo({r.minX() + rad, r.minY()});
  path.lineTo({r.maxX() - rad, r.minY()});
  path.addArc({r.maxX() - rad, r.minY() + rad}, rad, -pi / 2, 0, false);
  path.lineTo({r.maxX(), r.maxY() - rad});
  path.addArc({r.maxX() - rad, r.maxY() - rad}, rad, 0, pi / 2, false);
  path.lineTo({r.minX() + rad, r.maxY()});
  path.addArc({r.minX() + rad, r.maxY() - rad}, rad, pi / 2, pi, false);
  path.lineTo({r.minX(), r.minY() + rad});
  path.addArc({r.minX() + rad, r.minY() + rad}, rad, pi, 3 * pi / 2, false);
  path.closePath();
  return path;
}

CGPath CGPath::ellipse(NSRect r) {
  double cx = r.midX(), cy = r.midY(), rx = r.width() / 2, ry = r.height() / 2;
  double ox = rx * kKappa, oy = ry * kKappa;
  CGPath path;
  path.moveTo({cx + rx, cy});
  path.curveTo({cx + rx, cy + oy}, {cx + ox, cy + ry}, {cx, cy + ry});
  path.curveTo({cx - ox, cy + ry}, {cx - rx, cy + oy}, {cx - rx, cy});
  path.curveTo({cx - rx, cy - oy}, {cx - ox, cy - ry}, {cx, cy - ry});
  path.curveTo({cx + ox, cy - ry}, {cx + rx, cy - oy}, {cx + rx, cy});
  path.closePath();
  return path;
}

void CGPath::addPath(const CGPath& other) {
  elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
}

std::vector<CGPathArc> CGPath::arcs() const {
  std::vector<CGPathArc> out;
  for (const auto& e : elements_) {
    if (auto arc = std::get_if<CGPathArc>(&e)) out.push_back(*arc);
  }
  return out;
}

NSRect CGPath::boundingBox() const {
  double minX = std::numeric_limits<double>::infinity(), minY = minX;
  double maxX = -minX, maxY = -minX;
  auto take = [&](NSPoint p) {
    minX = std::min(minX, p.x);
    minY = std::min(minY, p.y);
    maxX = std::max(maxX, p.x);
    maxY = std::max(maxY, p.y);
  };
  for (const auto& e : elements_) {
    std::visit(
        [&](const auto& el) {
          using T = std::decay_t<decltype(el)>;
          if constexpr (std::is_same_v<T, CGPathMove> || std::is_same_v<T, CGPathLine>) {
            take(el.point);
          } else if constexpr (std::is_same_v<T, CGPathCurve>) {
            take(el.control1);
            take(el.control2);
            take(el.point);
          } else if constexpr (std::is_same_v<T, CGPathArc>) {
            take({el.centre.x - el.radius, el.centre.y - el.radius});
            take({el.centre.x + el.radius, el.centre.y + el.radius});
          }
        },
        e);
  }
  if (minX > maxX) return NSZeroRect;
  return NSMakeRect(minX, minY, maxX - minX, maxY - minY);
}
