#pragma once
// Where an animated image is at a moment of its playback: which frame shows and when the
// next one is due. Time is counted in whole microseconds, so that a clock moved by exactly
// the sum of some delays lands exactly on the frame that starts there.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class NSImage;

class ImageAnimation {
 public:
  // Delays this short (or zero) are played at the minimum instead, as browsers do: files
  // that ask for "as fast as possible" would otherwise spin a core.
  static constexpr double kShortDelay = 0.01;
  static constexpr double kMinimumDelay = 0.1;

  // Reads the frame delays and the number of plays (0: for ever) of the image.
  explicit ImageAnimation(const NSImage& image);
  ImageAnimation(const std::vector<double>& delays, int plays);

  struct Position {
    std::size_t frame = 0;
    // Seconds since the start of playback at which the shown frame changes; none once
    // the animation has stopped (or for a still image).
    std::optional<double> nextChange;
  };
  // The position `elapsed` seconds after playback started (negative counts as 0).
  Position at(double elapsed) const;

  std::size_t frameCount() const { return starts_.empty() ? 0 : starts_.size() - 1; }
  // Seconds one pass through the frames takes.
  double passDuration() const;

 private:
  std::vector<std::int64_t> starts_;  // microseconds at which each frame starts, then the pass's end
  int plays_ = 0;
};
