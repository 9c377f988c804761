#pragma once
// Points, sizes and rectangles in points, double precision throughout.

#include <cmath>

struct NSPoint {
  double x = 0, y = 0;
  friend bool operator==(const NSPoint&, const NSPoint&) = default;
};

struct NSSize {
  double width = 0, height = 0;
  friend bool operator==(const NSSize&, const NSSize&) = default;
};

struct NSRect {
  NSPoint origin;
  NSSize size;
  friend bool operator==(const NSRect&, const NSRect&) = default;

  double minX() const { return origin.x; }
  double minY() const { return origin.y; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  double midX() const { return origin.x + size.width / 2; }
  double midY() const { return origin.y + size.height / 2; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  bool isEmpty() const { return !(size.width > 0) || !(size.height > 0); }
};

using CGPoint = NSPoint;
using CGSize = NSSize;
using CGRect = NSRect;
using CGFloat = double;

inline NSPoint NSMakePoint(double x, double y) { return {x, y}; }
inline NSSize NSMakeSize(double w, double h) { return {w, h}; }
inline NSRect NSMakeRect(double x, double y, double w, double h) { return {{x, y}, {w, h}}; }
inline constexpr NSRect NSZeroRect{};
inline constexpr NSSize NSZeroSize{};
inline constexpr NSPoint NSZeroPoint{};

// Distances in from the four edges of a rectangle.
struct NSEdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;
  friend bool operator==(const NSEdgeInsets&, const NSEdgeInsets&) = default;
};
inline NSEdgeInsets NSEdgeInsetsMake(double top, double left, double bottom, double right) {
  return {top, left, bottom, right};
}
inline constexpr NSEdgeInsets NSEdgeInsetsZero{};

inline bool NSPointInRect(NSPoint p, NSRect r) {
  return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}
// Whether b lies wholly inside a (an empty b never does).
inline bool NSContainsRect(NSRect a, NSRect b) {
  return !b.isEmpty() && a.minX() <= b.minX() && b.maxX() <= a.maxX() && a.minY() <= b.minY() && b.maxY() <= a.maxY();
}
inline bool NSIntersectsRect(NSRect a, NSRect b) {
  return !a.isEmpty() && !b.isEmpty() && a.minX() < b.maxX() && b.minX() < a.maxX() &&
         a.minY() < b.maxY() && b.minY() < a.maxY();
}
NSRect NSIntersectionRect(NSRect a, NSRect b);
NSRect NSUnionRect(NSRect a, NSRect b);
NSRect NSInsetRect(NSRect r, double dx, double dy);
NSRect NSOffsetRect(NSRect r, double dx, double dy);
