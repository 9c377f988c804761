#pragma once
// Makes the stand-in's real movie previews: short, small H.264 clips in MP4 (FFmpeg's
// libx264 encoder, MPEG-4 Part 2 where that is missing) of a coloured tile with a square
// that moves one step a frame, at 10 frames a second.

#include <expected>
#include <string>

#include "standin/GifMaker.h"

class MovieMaker {
 public:
  static constexpr int kFramesPerSecond = 10;

  // The clip of the look (its size rounded up to even numbers, as the encoders need).
  static std::expected<std::string, std::string> tinyMovie(const GifMaker::Look& look);

  MovieMaker() = delete;
};
