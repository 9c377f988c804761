#pragma once
// A movie file on the local disk. Its file is opened (its headers read) when something
// first asks for its length, size or pictures; its pictures then decode on a worker, at
// the size they are shown at, and stay with the asset within a budget, so each player
// item's asset is one tile's decoder.

#include <memory>

#include "platform/av/CMTime.h"
#include "platform/av/MoviePictures.h"
#include "platform/foundation/NSURL.h"

class AVAsset : public NSObject {
 public:
  static std::shared_ptr<AVAsset> assetWithURL(const std::shared_ptr<NSURL>& url);

  const std::shared_ptr<NSURL>& URL() const { return url_; }
  // Zero for a file that cannot be played.
  CMTime duration();
  NSSize naturalSize();
  // Whether the file opened as a movie; the reason when it did not.
  bool isPlayable();
  std::shared_ptr<NSError> error();

  // Decoded pictures kept per asset: a tile's clip of a few seconds fits, and is decoded once.
  static constexpr std::size_t kPictureBudget = 8u << 20;

  // The asset's pictures, or none when the file cannot be played.
  std::shared_ptr<MoviePictures> pictures();
  // Closes the file and drops the decoded pictures; the next request opens it again.
  void unload();

  GLIMDECK_OBJECT(AVAsset)

 private:
  AVAsset() = default;
  std::shared_ptr<NSURL> url_;
  std::shared_ptr<MoviePictures> pictures_;
  std::shared_ptr<NSError> error_;
  bool tried_ = false;
};
