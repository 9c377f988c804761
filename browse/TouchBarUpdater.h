#pragma once
// Receives what a stream screen fetched, for the Touch Bar's GIF scrubber.

#include "service/VNRequester.h"

class TouchBarUpdater {
 public:
  virtual ~TouchBarUpdater() = default;
  // Items just fetched for the stream on screen.
  virtual void fetchedContent(const VNRequester::Content& content) = 0;
  virtual void clearScrubber() = 0;
};
