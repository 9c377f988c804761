#include "platform/av/AVPlayer.h"

#include <algorithm>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/quartz/CALayer.h"

std::shared_ptr<AVPlayer> AVPlayer::initWithURL(const std::shared_ptr<NSURL>& url) {
  return initWithPlayerItem(AVPlayerItem::playerItemWithURL(url));
}

std::shared_ptr<AVPlayer> AVPlayer::initWithPlayerItem(const std::shared_ptr<AVPlayerItem>& item) {
  std::shared_ptr<AVPlayer> player(new AVPlayer());
  player->item_ = item;
  player->anchorClock_ = Clock::current().now();
  return player;
}

double AVPlayer::itemDuration() const {
  if (!item_) return 0;
  auto movie = item_->asset()->pictures();
  return movie ? movie->duration() : 0;
}

double AVPlayer::currentSeconds() const {
  double t = anchorItemTime_;
  if (rate_ > 0) t += (Clock::current().now() - anchorClock_) * rate_;
  return std::clamp(t, 0.0, itemDuration());
}

std::optional<double> AVPlayer::clockTimeOfItemTime(double seconds) const {
  if (!(rate_ > 0)) return std::nullopt;
  return anchorClock_ + (seconds - anchorItemTime_) / rate_;
}

void AVPlayer::anchor(double itemTime) {
  anchorItemTime_ = itemTime;
  anchorClock_ = Clock::current().now();
}

void AVPlayer::addDisplayingLayer(const std::shared_ptr<CALayer>& layer) {
  std::erase_if(layers_, [](const std::weak_ptr<CALayer>& known) { return known.expired(); });
  layers_.push_back(layer);
}

void AVPlayer::markLayers() {
  for (const auto& weak : layers_) {
    for (auto at = weak.lock(); at; at = at->superlayer()) at->setNeedsDisplay();
  }
}

void AVPlayer::play() {
  if (rate_ > 0) return;
  anchor(currentSeconds());
  rate_ = 1;
  scheduleEnd();
  markLayers();
}

void AVPlayer::pause() {
  if (!(rate_ > 0)) return;
  anchor(currentSeconds());
  rate_ = 0;
  if (endTimer_) endTimer_->cancel();
  endTimer_.reset();
  markLayers();
}

void AVPlayer::seekToTime(CMTime time) {
  anchor(std::clamp(CMTimeGetSeconds(time), 0.0, itemDuration()));
  passEnded_ = false;
  scheduleEnd();
  markLayers();
}

void AVPlayer::scheduleEnd() {
  if (endTimer_) endTimer_->cancel();
  endTimer_.reset();
  double duration = itemDuration();
  if (!(rate_ > 0) || passEnded_ || !(duration > 0)) return;
  double due = anchorClock_ + (duration - anchorItemTime_) / rate_;
  if (anchorItemTime_ == 0) due = std::max(due, anchorClock_ + kShortestPass);
  if (lastEnd_) due = std::max(due, *lastEnd_ + kShortestPass);
  std::weak_ptr<AVPlayer> weak = std::static_pointer_cast<AVPlayer>(shared_from_this());
  endTimer_ = NSRunLoop::main()->scheduleAt(due, [weak] {
    if (auto player = weak.lock()) player->reachEnd();
  });
}

void AVPlayer::reachEnd() {
  endTimer_.reset();
  anchor(itemDuration());
  passEnded_ = true;
  lastEnd_ = anchorClock_;
  // With `none` the player keeps its rate and shows the last frame; the other two stop.
  if (actionAtItemEnd != AVPlayerActionAtItemEnd::none) rate_ = 0;
  markLayers();
  auto item = item_;
  NSNotificationCenter::defaultCenter()->postNotificationName(std::string(AVPlayerItemDidPlayToEndTimeNotification),
                                                              item);
}
