#include "platform/appkit/ImageAnimation.h"

#include <algorithm>
#include <cmath>

#include "platform/appkit/NSImage.h"

namespace {
constexpr double kMicroseconds = 1e6;
// Far beyond any playback; keeps the conversion to whole microseconds in range.
constexpr double kLongestElapsed = 1e12;

std::int64_t microseconds(double seconds) {
  if (!(seconds > 0)) return 0;
  return std::llround(std::min(seconds, kLongestElapsed) * kMicroseconds);
}

std::vector<double> delaysOf(const NSImage& image) {
  std::vector<double> delays;
  delays.reserve(image.frameCount());
  for (std::size_t i = 0; i < image.frameCount(); ++i) delays.push_back(image.frameDelay(i));
  return delays;
}
}  // namespace

ImageAnimation::ImageAnimation(const NSImage& image) : ImageAnimation(delaysOf(image), image.loopCount()) {}

ImageAnimation::ImageAnimation(const std::vector<double>& delays, int plays) : plays_(std::max(0, plays)) {
  starts_.reserve(delays.size() + 1);
  std::int64_t at = 0;
  starts_.push_back(0);
  for (double delay : delays) {
    double shown = std::isfinite(delay) && delay > kShortDelay ? std::min(delay, 655.35) : kMinimumDelay;
    at += microseconds(shown);
    starts_.push_back(at);
  }
}

double ImageAnimation::passDuration() const { return starts_.empty() ? 0 : starts_.back() / kMicroseconds; }

ImageAnimation::Position ImageAnimation::at(double elapsed) const {
  std::size_t count = frameCount();
  if (count <= 1) return {};
  std::int64_t pass = starts_.back();
  std::int64_t now = microseconds(std::isfinite(elapsed) ? elapsed : 0);
  std::int64_t done = now / pass;
  if (plays_ > 0 && done >= plays_) return {count - 1, std::nullopt};
  std::int64_t within = now % pass;
  // The last start not after `within`.
  auto next = std::upper_bound(starts_.begin(), starts_.end(), within);
  std::size_t frame = static_cast<std::size_t>(next - starts_.begin()) - 1;
  std::int64_t change = done * pass + *next;
  return {frame, change / kMicroseconds};
}
