#pragma once
// A layer that shows its player's picture of the current time, placed by the video
// gravity. Pictures are asked for when the layer is drawn, so a layer that is hidden, out
// of every window or clipped away costs no decoding; they decode on a worker at the size
// the layer shows them at, and until the one due is there the picture before stays. After
// drawing, the layer marks itself (and the layers above it) for display when the next
// frame is due, or when the picture it waits for is decoded.

#include <memory>
#include <string>
#include <string_view>

#include "platform/av/AVPlayer.h"
#include "platform/quartz/CALayer.h"

inline constexpr std::string_view AVLayerVideoGravityResize = "AVLayerVideoGravityResize";
inline constexpr std::string_view AVLayerVideoGravityResizeAspect = "AVLayerVideoGravityResizeAspect";
inline constexpr std::string_view AVLayerVideoGravityResizeAspectFill = "AVLayerVideoGravityResizeAspectFill";

class AVPlayerLayer : public CALayer {
 public:
  static std::shared_ptr<AVPlayerLayer> layer();
  static std::shared_ptr<AVPlayerLayer> playerLayerWithPlayer(const std::shared_ptr<AVPlayer>& player);

  const std::shared_ptr<AVPlayer>& player() const { return player_; }
  void setPlayer(std::shared_ptr<AVPlayer> player);
  const std::string& videoGravity() const { return videoGravity_; }
  void setVideoGravity(std::string_view gravity);
  // Where the picture goes in the bounds (it may reach beyond them when filling).
  NSRect videoRect();
  // Whether a picture has been drawn for the current player.
  bool isReadyForDisplay() const { return readyForDisplay_; }

  void drawInContext(GraphicsContext& context) override;
  GLIMDECK_OBJECT(AVPlayerLayer)

 protected:
  AVPlayerLayer() = default;
  std::shared_ptr<CALayer> makePresentationCopy() const override;

 private:
  void scheduleNextFrame(double frameEnd);
  std::function<void()> redisplayWhenDecoded();
  std::shared_ptr<AVPlayer> player_;
  std::shared_ptr<const MovieDecoder::Picture> shown_;  // the picture drawn last
  bool awaitingPicture_ = false;
  std::string videoGravity_{AVLayerVideoGravityResizeAspect};
  bool readyForDisplay_ = false;
  std::shared_ptr<RunLoopTimerToken> nextFrame_;
};
