#include "platform/av/AVAsset.h"

std::shared_ptr<AVAsset> AVAsset::assetWithURL(const std::shared_ptr<NSURL>& url) {
  std::shared_ptr<AVAsset> asset(new AVAsset());
  asset->url_ = url;
  return asset;
}

std::shared_ptr<MoviePictures> AVAsset::pictures() {
  if (pictures_) return pictures_;
  if (tried_) return nullptr;
  tried_ = true;
  if (!url_ || !url_->isFileURL()) {
    error_ = NSError::make(std::string(AVFoundationErrorDomain), AVErrorFileFormatNotRecognized,
                           "only movie files on this computer can be played");
    return nullptr;
  }
  // The pictures are kept beside the decoder, which needs no cache of its own then.
  MovieDecoder::Limits limits;
  limits.cacheBytes = 0;
  auto opened = MovieDecoder::open(url_->path(), limits);
  if (!opened) {
    error_ = opened.error();
    return nullptr;
  }
  pictures_ = MoviePictures::make(std::move(*opened), kPictureBudget);
  return pictures_;
}

void AVAsset::unload() {
  pictures_.reset();
  tried_ = false;
}

CMTime AVAsset::duration() {
  auto movie = pictures();
  return movie ? CMTimeMakeWithSeconds(movie->duration(), 600) : kCMTimeZero;
}

NSSize AVAsset::naturalSize() {
  auto movie = pictures();
  return movie ? movie->naturalSize() : NSZeroSize;
}

bool AVAsset::isPlayable() { return pictures() != nullptr; }

std::shared_ptr<NSError> AVAsset::error() {
  pictures();
  return error_;
}
