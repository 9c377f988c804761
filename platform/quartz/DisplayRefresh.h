#pragma once
// The display's refresh: pictures that change with the clock (an animation's next frame, a
// movie's next picture) are shown at the refresh at or after their change, not at the
// change itself. So every tile whose picture changes within one refresh is redrawn in the
// same display pass, as a display link would pace them, rather than each in a pass of its own.

#include <cmath>

namespace DisplayRefresh {

inline constexpr double kPerSecond = 60.0;

// The first refresh (clock seconds) at or after a time; a time on a refresh is its own.
inline double atOrAfter(double time) {
  if (!std::isfinite(time)) return time;
  const double ticks = time * kPerSecond;
  const double nearest = std::round(ticks);
  // A time that misses a refresh only by rounding is on it.
  const double tick = std::abs(ticks - nearest) < 1e-6 ? nearest : std::ceil(ticks);
  return tick / kPerSecond;
}

}  // namespace DisplayRefresh
