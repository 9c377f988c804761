#include "platform/foundation/NSGeometry.h"

#include <algorithm>

NSRect NSIntersectionRect(NSRect a, NSRect b) {
  if (!NSIntersectsRect(a, b)) return NSZeroRect;
  double x0 = std::max(a.minX(), b.minX()), y0 = std::max(a.minY(), b.minY());
  double x1 = std::min(a.maxX(), b.maxX()), y1 = std::min(a.maxY(), b.maxY());
  return NSMakeRect(x0, y0, x1 - x0, y1 - y0);
}

NSRect NSUnionRect(NSRect a, NSRect b) {
  if (a.isEmpty()) return b;
  if (b.isEmpty()) return a;
  double x0 = std::min(a.minX(), b.minX()), y0 = std::min(a.minY(), b.minY());
  double x1 = std::max(a.maxX(), b.maxX()), y1 = std::max(a.maxY(), b.maxY());
  return NSMakeRect(x0, y0, x1 - x0, y1 - y0);
}

NSRect NSInsetRect(NSRect r, double dx, double dy) {
  return NSMakeRect(r.origin.x + dx, r.origin.y + dy, r.size.width - 2 * dx, r.size.height - 2 * dy);
}

NSRect NSOffsetRect(NSRect r, double dx, double dy) {
  return NSMakeRect(r.origin.x + dx, r.origin.y + dy, r.size.width, r.size.height);
}
