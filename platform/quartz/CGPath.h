#pragma once
// A path as a list of drawing elements, kept as given so that a recording can be read back
// (an arc stays an arc with its centre, radius, angles and direction).

#include <variant>
#include <vector>

#include "platform/foundation/NSGeometry.h"

struct CGPathMove {
  NSPoint point;
  friend bool operator==(const CGPathMove&, const CGPathMove&) = default;
};
struct CGPathLine {
  NSPoint point;
  friend bool operator==(const CGPathLine&, const CGPathLine&) = default;
};
struct CGPathCurve {
  NSPoint control1, control2, point;
  friend bool operator==(const CGPathCurve&, const CGPathCurve&) = default;
};
// Angles in radians; clockwise false means the angle grows from start to end.
struct CGPathArc {
  NSPoint centre;
  double radius = 0;
  double startAngle = 0, endAngle = 0;
  bool clockwise = false;
  friend bool operator==(const CGPathArc&, const CGPathArc&) = default;
};
struct CGPathClose {
  friend bool operator==(const CGPathClose&, const CGPathClose&) = default;
};

using CGPathElement = std::variant<CGPathMove, CGPathLine, CGPathCurve, CGPathArc, CGPathClose>;

enum class CGFillRule { nonZero, evenOdd };

class CGPath {
 public:
  static CGPath rect(NSRect rect);
  // A rectangle with rounded corners; the radius is limited to half the shorter side.
  static CGPath roundedRect(NSRect rect, double radius);
  static CGPath ellipse(NSRect rect);

  void moveTo(NSPoint point) { elements_.push_back(CGPathMove{point}); }
  void lineTo(NSPoint point) { elements_.push_back(CGPathLine{point}); }
  void curveTo(NSPoint control1, NSPoint control2, NSPoint point) {
    elements_.push_back(CGPathCurve{control1, control2, point});
  }
  void addArc(NSPoint centre, double radius, double startAngle, double endAngle, bool clockwise) {
    elements_.push_back(CGPathArc{centre, radius, startAngle, endAngle, clockwise});
  }
  void addRect(NSRect rect);
  void addPath(const CGPath& other);
  void closePath() { elements_.push_back(CGPathClose{}); }
  void clear() { elements_.clear(); }

  bool isEmpty() const { return elements_.empty(); }
  const std::vector<CGPathElement>& elements() const { return elements_; }
  // Every arc of the path, in order.
  std::vector<CGPathArc> arcs() const;
  // The smallest rectangle holding every point the elements name (control points included,
  // arcs by their full circle).
  NSRect boundingBox() const;

  friend bool operator==(const CGPath&, const CGPath&) = default;

 private:
  std::vector<CGPathElement> elements_;
};
