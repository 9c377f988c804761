#include "platform/av/AVPlayerLayer.h"

#include <algorithm>
#include <cmath>

#include "platform/quartz/DisplayRefresh.h"
#include "platform/quartz/GraphicsContext.h"

std::shared_ptr<AVPlayerLayer> AVPlayerLayer::layer() { return create(); }

std::shared_ptr<AVPlayerLayer> AVPlayerLayer::playerLayerWithPlayer(const std::shared_ptr<AVPlayer>& player) {
  auto made = layer();
  made->setPlayer(player);
  return made;
}

std::shared_ptr<CALayer> AVPlayerLayer::makePresentationCopy() const {
  auto copy = layer();
  copyPropertiesTo(*copy);
  copy->player_ = player_;
  copy->videoGravity_ = videoGravity_;
  return copy;
}

void AVPlayerLayer::setPlayer(std::shared_ptr<AVPlayer> player) {
  if (nextFrame_) nextFrame_->cancel();
  nextFrame_.reset();
  player_ = std::move(player);
  if (player_) player_->addDisplayingLayer(std::static_pointer_cast<CALayer>(shared_from_this()));
  readyForDisplay_ = false;
  shown_.reset();
  setNeedsDisplay();
}

void AVPlayerLayer::setVideoGravity(std::string_view gravity) {
  videoGravity_ = std::string(gravity);
  setNeedsDisplay();
}

NSRect AVPlayerLayer::videoRect() {
  NSRect b = bounds();
  if (!player_ || !player_->currentItem()) return NSZeroRect;
  NSSize natural = player_->currentItem()->asset()->naturalSize();
  if (!(natural.width > 0) || !(natural.height > 0) || videoGravity_ == AVLayerVideoGravityResize) return b;
  double sx = b.width() / natural.width, sy = b.height() / natural.height;
  double k = videoGravity_ == AVLayerVideoGravityResizeAspectFill ? std::max(sx, sy) : std::min(sx, sy);
  double w = natural.width * k, h = natural.height * k;
  return NSMakeRect(b.midX() - w / 2, b.midY() - h / 2, w, h);
}

void AVPlayerLayer::drawInContext(GraphicsContext& context) {
  CALayer::drawInContext(context);
  if (!player_ || !player_->currentItem()) return;
  if (auto clip = context.clipBoundingBox(); clip && !NSIntersectsRect(*clip, bounds())) return;
  auto movie = player_->currentItem()->asset()->pictures();
  if (!movie) return;
  const NSRect video = videoRect();
  // Pictures are made at the size they cover on the screen.
  const NSSize pixels = context.deviceSizeOf(video);
  auto side = [](double v) { return static_cast<int>(std::clamp(std::isfinite(v) ? std::round(v) : 1.0, 1.0, 4096.0)); };
  auto frame = movie->frameIfReady(player_->currentSeconds(), side(pixels.width), side(pixels.height),
                                   awaitingPicture_ ? nullptr : redisplayWhenDecoded());
  // Until the picture due is decoded, the one shown before stays.
  if (frame) shown_ = frame->image;
  if (!shown_) return;
  context.saveGState();
  context.clipToRect(bounds());
  context.drawImage(shown_, video, 1.0);
  context.restoreGState();
  readyForDisplay_ = true;
  if (frame && frame->end < movie->duration()) scheduleNextFrame(frame->end);
}

std::function<void()> AVPlayerLayer::redisplayWhenDecoded() {
  awaitingPicture_ = true;
  std::weak_ptr<AVPlayerLayer> weak = std::static_pointer_cast<AVPlayerLayer>(shared_from_this());
  return [weak] {
    auto layer = weak.lock();
    if (!layer) return;
    layer->awaitingPicture_ = false;
    for (std::shared_ptr<CALayer> at = layer; at; at = at->superlayer()) at->setNeedsDisplay();
  };
}

void AVPlayerLayer::scheduleNextFrame(double frameEnd) {
  auto change = player_->clockTimeOfItemTime(frameEnd);
  if (!change) return;
  auto due = std::optional<double>(DisplayRefresh::atOrAfter(*change));
  if (nextFrame_ && !nextFrame_->isCancelled() && nextFrame_->deadline() <= *due) return;
  if (nextFrame_) nextFrame_->cancel();
  std::weak_ptr<AVPlayerLayer> weak = std::static_pointer_cast<AVPlayerLayer>(shared_from_this());
  nextFrame_ = NSRunLoop::main()->scheduleAt(*due, [weak] {
    auto layer = weak.lock();
    if (!layer) return;
    layer->nextFrame_.reset();
    for (std::shared_ptr<CALayer> at = layer; at; at = at->superlayer()) at->setNeedsDisplay();
  });
}
