#pragma once
// Single pictures of an asset at chosen times, decoded apart from any player of it.

#include <expected>
#include <memory>

#include "platform/av/AVAsset.h"
#include "platform/quartz/CGImage.h"

class AVAssetImageGenerator : public NSObject {
 public:
  static std::shared_ptr<AVAssetImageGenerator> initWithAsset(const std::shared_ptr<AVAsset>& asset);

  // A copy of the picture showing at the time. A time past the end gives the last picture (so a
  // short clip still yields one at any moment asked); `actualTime`, when given, receives
  // the start of the frame returned.
  std::expected<std::shared_ptr<CGImage>, std::shared_ptr<NSError>> copyCGImageAtTime(CMTime requestedTime,
                                                                                      CMTime* actualTime = nullptr);

  std::string className() const override { return "AVAssetImageGenerator"; }

 private:
  AVAssetImageGenerator() = default;
  std::shared_ptr<AVAsset> asset_;
};
