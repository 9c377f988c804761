#include "platform/av/MoviePictures.h"

#include <algorithm>
#include <cmath>


std::shared_ptr<MoviePictures> MoviePictures::make(std::unique_ptr<MovieDecoder> decoder, std::size_t budgetBytes) {
  std::shared_ptr<MoviePictures> made(new MoviePictures());
  made->duration_ = decoder->duration();
  made->naturalSize_ = decoder->naturalSize();
  made->width_ = decoder->outputWidth();
  made->height_ = decoder->outputHeight();
  made->budget_ = budgetBytes;
  made->decoder_ = std::move(decoder);
  return made;
}

std::shared_ptr<DispatchQueue> MoviePictures::decodingQueue() {
  static auto queue = DispatchQueue::makeSerial("movie decoding");
  return queue;
}

std::optional<MovieDecoder::Frame> MoviePictures::covering(double time) const {
  auto after = held_.upper_bound(time);
  if (after == held_.begin()) return std::nullopt;
  const MovieDecoder::Frame& frame = std::prev(after)->second;
  // The last picture shows on to the end, and past what could be decoded.
  if (time < frame.end || frame.end >= duration_.load() || (dryAfter_ && time >= *dryAfter_ && frame.start <= time)) {
    return frame;
  }
  return std::nullopt;
}

std::optional<MovieDecoder::Frame> MoviePictures::frameIfReady(double time, int width, int height,
                                                               std::function<void()> whenReady) {
  const double duration = duration_.load();
  time = std::clamp(std::isfinite(time) ? time : 0.0, 0.0, duration);
  if (time >= duration && duration > 0) time = std::nextafter(duration, 0.0);
  std::lock_guard lock(mutex_);
  if (width != width_ || height != height_) {
    // Shown at another size: the pictures are made again for it.
    width_ = width;
    height_ = height;
    held_.clear();
    heldBytes_ = 0;
    dryAfter_.reset();
  }
  wanted_ = time;
  auto found = covering(time);
  // Playing on: the pictures after it are made while this one shows.
  bool aheadHeld = found.has_value();
  double next = found ? found->end : 0.0;
  for (int k = 0; aheadHeld && k < kAhead && next < duration && !(dryAfter_ && next >= *dryAfter_); ++k) {
    auto following = covering(next);
    aheadHeld = following.has_value();
    if (following) next = following->end;
  }
  if (!found && whenReady) waiters_.add(time, std::move(whenReady));
  if ((!found || !aheadHeld) && !working_ && decoder_) {
    working_ = true;
    std::weak_ptr<MoviePictures> weak = weak_from_this();
    decodingQueue()->async([weak] {
      if (auto pictures = weak.lock()) pictures->work();
    });
  }
  return found;
}

void MoviePictures::keep(const MovieDecoder::Frame& frame) {
  if (!frame.image || held_.contains(frame.start)) return;
  held_[frame.start] = frame;
  heldBytes_ += frame.image->pixels().rgba.size();
  // Over the budget, the pictures furthest behind the one asked for go first.
  while (heldBytes_ > budget_ && held_.size() > 1) {
    auto oldest = held_.begin();
    if (oldest->second.end > wanted_) break;
    heldBytes_ -= oldest->second.image->pixels().rgba.size();
    held_.erase(oldest);
  }
}

void MoviePictures::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // The first picture not held, from the time asked for on.
    std::optional<double> target;
    double at = wanted_;
    for (int k = 0; k <= kAhead; ++k) {
      auto found = covering(at);
      if (!found) {
        target = at;
        break;
      }
      if (found->end >= duration_.load() || (dryAfter_ && found->end >= *dryAfter_)) break;
      at = found->end;
    }
    for (const auto& waiter : waiters_.entries()) {
      if (!target && !covering(waiter.first)) target = waiter.first;
    }
    if (target && dryAfter_ && *target >= *dryAfter_) target.reset();
    if (!target) {
      // Whoever still waits hears all the same: the picture before stands.
      waiters_.tellAll();
      working_ = false;
      return;
    }
    const int width = width_, height = height_;
    lock.unlock();
    decoder_->setOutputSize(width, height);
    auto frame = decoder_->frameAt(*target);
    lock.lock();
    framesDecoded_ = decoder_->framesDecoded();
    duration_ = decoder_->duration();
    if (width != width_ || height != height_) continue;  // asked for another size meanwhile
    if (!frame || !(frame->start <= *target && *target < frame->end)) {
      // Nothing decodes at this time: the last picture stands from here on.
      dryAfter_ = dryAfter_ ? std::min(*dryAfter_, *target) : *target;
    }
    if (frame) keep(*frame);
    waiters_.tell([&](double time) { return covering(time) || (dryAfter_ && time >= *dryAfter_); });
  }
}

std::size_t MoviePictures::heldBytes() {
  std::lock_guard lock(mutex_);
  return heldBytes_;
}
