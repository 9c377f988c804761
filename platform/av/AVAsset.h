#pragma once
// A movie file on the local disk. Its file is opened when something first asks for its
// length, size or pictures; the opened decoder (with its cache of frames) stays with the
// asset, so each player item's asset is one tile's decoder.

#include <memory>

#include "platform/av/CMTime.h"
#include "platform/av/MovieDecoder.h"
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

  // The opened decoder, or none when the file cannot be played.
  MovieDecoder* decoder();
  // Closes the file and drops the decoded frames; the next request opens it again.
  void unload();

  std::string className() const override { return "AVAsset"; }

 private:
  AVAsset() = default;
  std::shared_ptr<NSURL> url_;
  std::unique_ptr<MovieDecoder> decoder_;
  std::shared_ptr<NSError> error_;
  bool tried_ = false;
};
