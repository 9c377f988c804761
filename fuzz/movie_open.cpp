// Opens arbitrary bytes as a movie file and asks for pictures at its start, middle and end
// and past it. Opening must fail with an error of the movie domain or give a clip whose
// pictures have the clip's size; nothing may fault or run on without bound.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/av/MovieDecoder.h"

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "movie_open: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("glimdeck-fuzz-movie-" + std::to_string(::getpid()) + ".mp4");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  MovieDecoder::Limits limits;
  limits.cacheBytes = 1 << 20;
  limits.maxSide = 1024;
  limits.maxPixels = 1024 * 1024;
  limits.packetsPerRequest = 256;
  limits.secondsPerRequest = 1.0;
  auto movie = MovieDecoder::open(path, limits);
  if (!movie) {
    if (!movie.error() || movie.error()->domain() != AVFoundationErrorDomain) fault("a refusal without a movie error");
    return 0;
  }
  double duration = (*movie)->duration();
  if (!(duration > 0)) fault("a clip without length");
  for (double t : {0.0, duration / 2, duration, duration + 1, 0.0}) {
    auto frame = (*movie)->frameAt(t);
    if (!frame) continue;
    if (!frame->image) fault("a frame without a picture");
    const auto& pixels = frame->image->pixels();
    if (pixels.width > limits.maxSide || pixels.height > limits.maxSide) fault("a picture past the limits");
    if (pixels.rgba.size() != std::size_t(pixels.width) * pixels.height * 4) fault("a short picture");
    if (!(frame->end > frame->start)) fault("a frame without length");
    if ((*movie)->cachedBytes() > limits.cacheBytes) fault("the cache past its bound");
  }
  return 0;
}
