// What the stream screens fetched, kept for the Touch Bar's GIF scrubber.

#include "app/RootViewController.h"

void RootViewController::fetchedContent(const VNRequester::Content& content) {
  for (const auto& item : content) {
    if (auto vorn = asA<VornObject>(item)) searchContentProxy.push_back(vorn);
  }
}

void RootViewController::clearScrubber() { searchContentProxy.clear(); }
