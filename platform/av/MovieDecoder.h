#pragma once
// Frames of a movie file, decoded on demand with FFmpeg (libavformat, libavcodec,
// libswscale) into straight RGBA pictures at the size they are shown at (the movie's own
// size unless told otherwise). Only MP4/QuickTime files from the local disk are read. The
// decoder runs at most one frame ahead of the frame asked for; decoded frames are kept in
// a cache bounded by their size, so a short clip that fits plays its later passes without
// decoding again. Limits fit a preview, and hostile files are bounded: picture size, frame
// count, packets read per request and the time one request may take are all capped. One
// thread at a time.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/CGImage.h"

// The error domain of movie failures and its codes (the platform's values).
inline constexpr std::string_view AVFoundationErrorDomain = "AVFoundationErrorDomain";
enum AVError : std::int64_t {
  AVErrorUnknown = -11800,
  AVErrorDecodeFailed = -11821,
  AVErrorFileFormatNotRecognized = -11828,
  AVErrorNoImageAtTime = -11832,
};

class MovieDecoder {
 public:
  struct Limits {
    std::size_t cacheBytes = 2u << 20;     // decoded frames kept per decoder
    int maxSide = 1920;                     // pixels, either direction
    std::int64_t maxPixels = 1920 * 1088;  // pixels of one frame
    std::size_t packetsPerRequest = 2048;   // packets read to answer one request
    double secondsPerRequest = 2.0;         // real time one request (or opening) may take
  };

  static std::expected<std::unique_ptr<MovieDecoder>, std::shared_ptr<NSError>> open(
      const std::filesystem::path& path, const Limits& limits);
  static std::expected<std::unique_ptr<MovieDecoder>, std::shared_ptr<NSError>> open(
      const std::filesystem::path& path) {
    return open(path, Limits{});
  }
  ~MovieDecoder();
  MovieDecoder(const MovieDecoder&) = delete;
  MovieDecoder& operator=(const MovieDecoder&) = delete;

  NSSize naturalSize() const { return {double(width_), double(height_)}; }
  // The size pictures are made at from now on (within the limits' side); a new size
  // empties the cache.
  void setOutputSize(int width, int height);
  int outputWidth() const { return outputWidth_; }
  int outputHeight() const { return outputHeight_; }
  // Seconds; at least one frame's length for a clip with pictures.
  double duration() const { return duration_; }

  // One decoded picture, drawn at its pixel size.
  class Picture : public CGImageSource {
   public:
    explicit Picture(CGImage pixels) : pixels_(std::move(pixels)) {}
    const CGImage* imageForDrawing() const override { return &pixels_; }
    NSSize size() const override { return {double(pixels_.width), double(pixels_.height)}; }
    CGImageDrawingCache* drawingCache() const override { return &drawingCache_; }
    const CGImage& pixels() const { return pixels_; }

   private:
    CGImage pixels_;
    mutable CGImageDrawingCache drawingCache_;
  };
  struct Frame {
    double start = 0;  // seconds from the clip's start
    double end = 0;
    std::shared_ptr<const Picture> image;
  };
  // The frame that shows at `time` (clamped to the clip), or none when no picture decodes.
  std::optional<Frame> frameAt(double time);

  // Counters for the costs: frames the codec produced, and bytes of the cached pictures.
  std::size_t framesDecoded() const { return framesDecoded_; }
  std::size_t cachedBytes() const { return cachedBytes_; }

 private:
  struct Parts;
  MovieDecoder();
  bool receiveFrame();
  void rewindTo(double time);
  std::shared_ptr<const Picture> convert();
  void remember(const Frame& frame);
  std::optional<Frame> cached(double time) const;

  std::unique_ptr<Parts> parts_;
  Limits limits_;
  int width_ = 0, height_ = 0;
  int outputWidth_ = 0, outputHeight_ = 0;
  double duration_ = 0;
  double frameLength_ = 0.04;  // assumed when timestamps are missing
  // The frame last produced by the codec, waiting for the next one to know its end.
  std::optional<double> pendingStart_;
  bool draining_ = false;
  bool ended_ = false;
  std::map<double, Frame> cache_;
  std::map<std::uint64_t, double> cacheOrder_;  // insertion number -> start, oldest first
  std::uint64_t insertions_ = 0;
  std::size_t cachedBytes_ = 0;
  std::size_t framesDecoded_ = 0;
};
