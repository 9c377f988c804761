#include "platform/av/AVAsset.h"

std::shared_ptr<AVAsset> AVAsset::assetWithURL(const std::shared_ptr<NSURL>& url) {
  std::shared_ptr<AVAsset> asset(new AVAsset());
  asset->url_ = url;
  return asset;
}

MovieDecoder* AVAsset::decoder() {
  if (decoder_) return decoder_.get();
  if (tried_) return nullptr;
  tried_ = true;
  if (!url_ || !url_->isFileURL()) {
    error_ = NSError::make(std::string(AVFoundationErrorDomain), AVErrorFileFormatNotRecognized,
                           "only movie files on this computer can be played");
    return nullptr;
  }
  auto opened = MovieDecoder::open(url_->path());
  if (!opened) {
    error_ = opened.error();
    return nullptr;
  }
  decoder_ = std::move(*opened);
  return decoder_.get();
}

void AVAsset::unload() {
  decoder_.reset();
  tried_ = false;
}

CMTime AVAsset::duration() {
  auto* movie = decoder();
  return movie ? CMTimeMakeWithSeconds(movie->duration(), 600) : kCMTimeZero;
}

NSSize AVAsset::naturalSize() {
  auto* movie = decoder();
  return movie ? movie->naturalSize() : NSZeroSize;
}

bool AVAsset::isPlayable() { return decoder() != nullptr; }

std::shared_ptr<NSError> AVAsset::error() {
  decoder();
  return error_;
}
