#pragma once
// A rectangle of whole canvas pixels, x0/y0 included and x1/y1 not; empty when it holds
// no pixel. What the Cairo context tracks drawing, clips, layers and shadows with.

#include <algorithm>
#include <cmath>
#include <span>
#include <utility>
#include <vector>

struct PixelBox {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;

  // Far beyond any canvas; keeps arithmetic on boxes in range.
  static constexpr int kFar = 1 << 24;

  // The pixels that the rectangle of real coordinates touches.
  static PixelBox covering(double minX, double minY, double maxX, double maxY) {
    auto lower = [](double v) { return std::isfinite(v) ? static_cast<int>(std::clamp(std::floor(v), -double(kFar), double(kFar))) : (v < 0 ? -kFar : kFar); };
    auto upper = [](double v) { return std::isfinite(v) ? static_cast<int>(std::clamp(std::ceil(v), -double(kFar), double(kFar))) : (v < 0 ? -kFar : kFar); };
    if (!(minX <= maxX) || !(minY <= maxY)) return {};
    return {lower(minX), lower(minY), upper(maxX), upper(maxY)};
  }

  bool empty() const { return x1 <= x0 || y1 <= y0; }
  int width() const { return empty() ? 0 : x1 - x0; }
  int height() const { return empty() ? 0 : y1 - y0; }
  long area() const { return long(width()) * height(); }

  PixelBox intersected(const PixelBox& other) const {
    PixelBox r{std::max(x0, other.x0), std::max(y0, other.y0), std::min(x1, other.x1), std::min(y1, other.y1)};
    return r.empty() ? PixelBox{} : r;
  }
  PixelBox united(const PixelBox& other) const {
    if (empty()) return other;
    if (other.empty()) return *this;
    return {std::min(x0, other.x0), std::min(y0, other.y0), std::max(x1, other.x1), std::max(y1, other.y1)};
  }
  PixelBox grown(int dx, int dy) const {
    if (empty()) return {};
    return {x0 - dx, y0 - dy, x1 + dx, y1 + dy};
  }
  PixelBox grown(int by) const { return grown(by, by); }
  // Moved by a distance of real pixels, rounded out to the pixels it then touches.
  PixelBox shifted(double dx, double dy) const {
    if (empty()) return {};
    return covering(x0 + dx, y0 + dy, x1 + dx, y1 + dy);
  }
  bool contains(const PixelBox& other) const {
    return other.empty() || (x0 <= other.x0 && y0 <= other.y0 && x1 >= other.x1 && y1 >= other.y1);
  }
  // The parts of `area` that none of the boxes holds, as disjoint boxes (row by row).
  static std::vector<PixelBox> outside(const PixelBox& area, std::span<const PixelBox> holes) {
    std::vector<PixelBox> parts;
    if (area.empty()) return parts;
    std::vector<int> rows{area.y0, area.y1};
    for (const PixelBox& hole : holes) {
      const PixelBox h = hole.intersected(area);
      if (!h.empty()) rows.insert(rows.end(), {h.y0, h.y1});
    }
    std::ranges::sort(rows);
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (std::size_t r = 0; r + 1 < rows.size(); ++r) {
      const int top = rows[r], bottom = rows[r + 1];
      // The holes across this band of rows, left to right.
      std::vector<std::pair<int, int>> spans;
      for (const PixelBox& hole : holes) {
        const PixelBox h = hole.intersected(area);
        if (!h.empty() && h.y0 <= top && h.y1 >= bottom) spans.emplace_back(h.x0, h.x1);
      }
      std::ranges::sort(spans);
      int x = area.x0;
      for (auto [from, to] : spans) {
        if (from > x) parts.push_back({x, top, from, bottom});
        x = std::max(x, to);
      }
      if (x < area.x1) parts.push_back({x, top, area.x1, bottom});
    }
    return parts;
  }
  friend bool operator==(const PixelBox&, const PixelBox&) = default;
};
