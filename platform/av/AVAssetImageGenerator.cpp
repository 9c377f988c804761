#include "platform/av/AVAssetImageGenerator.h"


std::shared_ptr<AVAssetImageGenerator> AVAssetImageGenerator::initWithAsset(const std::shared_ptr<AVAsset>& asset) {
  std::shared_ptr<AVAssetImageGenerator> generator(new AVAssetImageGenerator());
  generator->asset_ = asset;
  return generator;
}

std::expected<std::shared_ptr<CGImage>, std::shared_ptr<NSError>> AVAssetImageGenerator::copyCGImageAtTime(
    CMTime requestedTime, CMTime* actualTime) {
  auto fail = [](AVError code, std::string text) {
    return std::unexpected(NSError::make(std::string(AVFoundationErrorDomain), code, std::move(text)));
  };
  if (!asset_ || !asset_->URL() || !asset_->URL()->isFileURL()) return fail(AVErrorFileFormatNotRecognized, "no movie file");
  // A decoder of its own, with room for one picture: a player's decoder keeps its place.
  MovieDecoder::Limits limits;
  limits.cacheBytes = 0;
  auto movie = MovieDecoder::open(asset_->URL()->path(), limits);
  if (!movie) return std::unexpected(movie.error());
  auto frame = (*movie)->frameAt(CMTimeGetSeconds(requestedTime));
  if (!frame) return fail(AVErrorNoImageAtTime, "no picture at that time");
  if (actualTime) *actualTime = CMTimeMakeWithSeconds(frame->start, 600);
  return std::make_shared<CGImage>(frame->image->pixels());
}
