#pragma once
// What a player plays: one asset. It says whether the asset could be opened.

#include <memory>
#include <string_view>

#include "platform/av/AVAsset.h"

// Posted (object: the item) each time playback reaches the item's end.
inline constexpr std::string_view AVPlayerItemDidPlayToEndTimeNotification = "AVPlayerItemDidPlayToEndTimeNotification";

enum class AVPlayerItemStatus { unknown = 0, readyToPlay = 1, failed = 2 };

class AVPlayerItem : public NSObject {
 public:
  static std::shared_ptr<AVPlayerItem> playerItemWithAsset(const std::shared_ptr<AVAsset>& asset);
  static std::shared_ptr<AVPlayerItem> playerItemWithURL(const std::shared_ptr<NSURL>& url);

  const std::shared_ptr<AVAsset>& asset() const { return asset_; }
  // Opens the asset on first use.
  AVPlayerItemStatus status();
  std::shared_ptr<NSError> error() { return asset_->error(); }
  CMTime duration() { return asset_->duration(); }

  std::string className() const override { return "AVPlayerItem"; }

 private:
  AVPlayerItem() = default;
  std::shared_ptr<AVAsset> asset_;
};
