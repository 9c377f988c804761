#include "platform/av/AVPlayerItem.h"

std::shared_ptr<AVPlayerItem> AVPlayerItem::playerItemWithAsset(const std::shared_ptr<AVAsset>& asset) {
  std::shared_ptr<AVPlayerItem> item(new AVPlayerItem());
  item->asset_ = asset ? asset : AVAsset::assetWithURL(nullptr);
  return item;
}

std::shared_ptr<AVPlayerItem> AVPlayerItem::playerItemWithURL(const std::shared_ptr<NSURL>& url) {
  return playerItemWithAsset(AVAsset::assetWithURL(url));
}

AVPlayerItemStatus AVPlayerItem::status() {
  return asset_->isPlayable() ? AVPlayerItemStatus::readyToPlay : AVPlayerItemStatus::failed;
}
