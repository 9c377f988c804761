#include "platform/av/CMTime.h"

#include <cmath>
#include <limits>

CMTime CMTimeMake(std::int64_t value, std::int32_t timescale) { return {value, timescale}; }

CMTime CMTimeMakeWithSeconds(double seconds, std::int32_t preferredTimescale) {
  if (preferredTimescale <= 0 || !std::isfinite(seconds)) return kCMTimeInvalid;
  double ticks = std::round(seconds * preferredTimescale);
  constexpr double kLargest = double(std::numeric_limits<std::int64_t>::max() / 2);
  if (std::fabs(ticks) > kLargest) return kCMTimeInvalid;
  return {static_cast<std::int64_t>(ticks), preferredTimescale};
}

double CMTimeGetSeconds(CMTime time) { return time.isValid() ? double(time.value) / time.timescale : 0; }

int CMTimeCompare(CMTime a, CMTime b) {
  double x = CMTimeGetSeconds(a), y = CMTimeGetSeconds(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}
