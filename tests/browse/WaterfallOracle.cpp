#include "tests/browse/WaterfallOracle.h"

#include <algorithm>
#include <cmath>

double WaterfallOracle::maxLength() const { return *std::max_element(streamLength.begin(), streamLength.end()); }

void WaterfallOracle::prepare() {
  long n = std::max(1L, streamCount);
  double x = std::isfinite(cross) && cross > 0 ? cross : 0;
  cache.clear();
  supplementaryCache.clear();
  streamLength.assign(n, 0.0);
  for (std::size_t s = 0; s < items.size(); ++s) {
    // The header of the section.
    NSRect header = NSZeroRect;
    if (s < headers.size() && headers[s]) {
      auto clean = [](double v) { return std::isfinite(v) && v > 0 ? v : 0.0; };
      double w = clean(headers[s]->width), h = clean(headers[s]->height);
      double m = maxLength();
      header = columns ? NSMakeRect(0, m, w, h) : NSMakeRect(m, 0, w, h);
      for (auto& l : streamLength) l = m + (columns ? h : w);
    }
    supplementaryCache[{0, s}] = header;
    // Its items, in order.
    for (std::size_t i = 0; i < items[s].size(); ++i) {
      double m = *std::min_element(streamLength.begin(), streamLength.end());
      long t = 0;
      for (long k = n - 1; k >= 0; --k)
        if (streamLength[k] == m) t = k;
      double sw = x / n;
      NSSize size = items[s][i];
      double ratio = size.width / size.height;
      if (size.width <= 0 || size.height <= 0 || !std::isfinite(size.width) || !std::isfinite(size.height) ||
          !std::isfinite(ratio))
        ratio = 1.0;
      ratio = std::clamp(ratio, 0.001, 1000.0);
      bool expanded = expansive && (columns ? ratio : 1.0 / ratio) >= expansionRatio;
      NSRect r;
      if (columns && !expanded) r = NSMakeRect(t * sw, streamLength[t], sw, sw / ratio);
      if (columns && expanded) r = NSMakeRect(0, maxLength(), x, x / ratio);
      if (!columns && !expanded) r = NSMakeRect(streamLength[t], t * sw, ratio * sw, sw);
      if (!columns && expanded) r = NSMakeRect(maxLength(), 0, ratio * x, x);
      NSRect frame = columns ? NSInsetRect(r, cellSpacing * 0.5, streamSpacing * 0.5)
                             : NSInsetRect(r, streamSpacing * 0.5, cellSpacing * 0.5);
      if (frame.size.width < 0) frame = NSMakeRect(r.midX(), frame.origin.y, 0, frame.size.height);
      if (frame.size.height < 0) frame = NSMakeRect(frame.origin.x, r.midY(), frame.size.width, 0);
      cache[{i, s}] = frame;
      double along = columns ? r.size.height : r.size.width;
      if (!expanded) {
        streamLength[t] += along;
      } else {
        double level = maxLength() + along;
        for (auto& l : streamLength) l = level;
      }
    }
  }
}

std::vector<std::pair<NSIndexPath, NSRect>> WaterfallOracle::elementsInRect(NSRect r, bool showHeaders) const {
  std::vector<std::pair<NSIndexPath, NSRect>> out;
  if (showHeaders)
    for (const auto& [path, frame] : supplementaryCache)
      if (NSIntersectsRect(frame, r)) out.emplace_back(path, frame);
  for (const auto& [path, frame] : cache)
    if (NSIntersectsRect(frame, r)) out.emplace_back(path, frame);
  return out;
}
