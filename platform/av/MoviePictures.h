#pragma once
// The pictures of one movie as a layer shows them: decoded on a worker, ahead of the time
// playback asks for, at the pixel size they are shown at, and kept within a budget of
// bytes, so that a short clip that fits is decoded once and its later passes cost nothing.
// Drawing asks and never waits: a picture not decoded yet is asked for, and whoever asked
// hears on the main thread when it is there. Any thread may ask.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/av/MovieDecoder.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainThreadWaiters.h"

class MoviePictures : public std::enable_shared_from_this<MoviePictures> {
 public:
  // Pictures decoded ahead of the one asked for.
  static constexpr int kAhead = 3;

  // Takes over an opened decoder; its own cache is left to this object.
  static std::shared_ptr<MoviePictures> make(std::unique_ptr<MovieDecoder> decoder, std::size_t budgetBytes);
  // The serial queue every movie decodes its pictures on, one picture at a time.
  static std::shared_ptr<DispatchQueue> decodingQueue();

  // Seconds; it may grow once the last picture is decoded.
  double duration() const { return duration_.load(); }
  NSSize naturalSize() const { return naturalSize_; }

  // The picture showing at `time` at the pixel size, if decoded; otherwise none, the worker
  // decodes it and those after it, and `whenReady` (if any) runs on the main thread then.
  std::optional<MovieDecoder::Frame> frameIfReady(double time, int width, int height,
                                                  std::function<void()> whenReady = nullptr);

  // Pictures the codec produced so far, and the bytes of those held now.
  std::size_t framesDecoded() const { return framesDecoded_.load(); }
  std::size_t heldBytes();

 private:
  MoviePictures() = default;
  std::optional<MovieDecoder::Frame> covering(double time) const;
  void work();
  void keep(const MovieDecoder::Frame& frame);

  std::unique_ptr<MovieDecoder> decoder_;  // the worker's own
  std::size_t budget_ = 0;
  std::atomic<double> duration_{0};
  std::atomic<std::size_t> framesDecoded_{0};
  NSSize naturalSize_;

  std::mutex mutex_;
  std::map<double, MovieDecoder::Frame> held_;  // by start
  std::size_t heldBytes_ = 0;
  int width_ = 0, height_ = 0;  // the size asked for last
  double wanted_ = 0;           // the time asked for last
  std::optional<double> dryAfter_;  // nothing more decodes from this time on
  bool working_ = false;
  MainThreadWaiters<double> waiters_;  // by the time they wait for
};
