#pragma once
// A time as a rational number of seconds: value / timescale.

#include <cstdint>

struct CMTime {
  std::int64_t value = 0;
  std::int32_t timescale = 0;  // 0: an invalid time
  bool isValid() const { return timescale > 0; }
  friend bool operator==(const CMTime&, const CMTime&) = default;
};

inline constexpr CMTime kCMTimeZero{0, 1};
inline constexpr CMTime kCMTimeInvalid{0, 0};

CMTime CMTimeMake(std::int64_t value, std::int32_t timescale);
// The nearest time of the timescale to a number of seconds.
CMTime CMTimeMakeWithSeconds(double seconds, std::int32_t preferredTimescale);
// Seconds; 0 for an invalid time.
double CMTimeGetSeconds(CMTime time);
// -1, 0 or 1 as the first time is earlier, equal or later.
int CMTimeCompare(CMTime a, CMTime b);
