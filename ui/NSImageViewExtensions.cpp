#include "ui/NSImageViewExtensions.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLSessionTask.h"
#include "service/AssetCache.h"

NSImage::Limits shownPictureLimits(NSSize points, double pixelsPerPoint, std::size_t budgetBytes) {
  const double longest = std::max(points.width, points.height) * pixelsPerPoint;
  NSImage::Limits limits;
  limits.maxSide = std::isfinite(longest) ? std::clamp(static_cast<int>(std::ceil(longest)), 1, limits.maxSide) : 1;
  limits.smallestSide = std::max(1, limits.maxSide / 4);
  limits.budgetBytes = budgetBytes;
  return limits;
}

NSImage::Limits shownPictureLimits(const NSImageView& view, std::size_t budgetBytes) {
  auto window = view.window();
  const double scale = std::max(kShownPicturePixelsPerPoint, window ? window->backingScaleFactor : 1.0);
  return shownPictureLimits(view.frame().size, scale, budgetBytes);
}

std::shared_ptr<NSURLSessionDataTask> loadImageWithPath(const std::shared_ptr<NSURL>& url, const NSImage::Limits& limits,
                                                        std::function<void(std::shared_ptr<NSImage>)> completion) {
  auto fail = [&] {
    NSImage::loadInBackground(nullptr, limits, std::move(completion));
    return nullptr;
  };
  if (!url) return fail();
  std::string key = url->absoluteString();
  if (!NSURL::URLWithString(key)) return fail();
  if (url->isFileURL()) {
    NSImage::loadInBackground([path = url->path()] { return NSImage::Input(std::filesystem::path(path)); },
                              limits, std::move(completion));
    return nullptr;
  }
  auto cache = AssetCache::shared();
  if (cache->containsValueForKey(key)) {
    // Read there too: a badge's file may be megabytes.
    NSImage::loadInBackground(
        [key]() -> NSImage::Input {
          // The cache's own file, its frames read from it as they are decoded; a missing or
          // foreign file is dropped from the cache and shows nothing.
          if (auto file = AssetCache::shared()->storagePathForKey(key)) return std::filesystem::path(file->path());
          return nullptr;
        },
        limits, std::move(completion));
    return nullptr;
  }
  return cache->requestWithUrl(key, std::nullopt, [key, limits, completion](std::shared_ptr<NSData> data) {
    // Once cached, the picture is read from the cache's file (a GIF's frames as they are
    // decoded) and the downloaded bytes are let go now rather than held until their turn.
    NSImage::Input input = data;
    if (data) {
      if (auto file = AssetCache::shared()->storagePathForKey(key)) input = std::filesystem::path(file->path());
    }
    NSImage::loadInBackground([input = std::move(input)] { return input; }, limits, completion);
  }, kShownPictureMostBytes);
}

std::shared_ptr<NSURLSessionDataTask> networkLoadImageWithPath(const std::shared_ptr<NSImageView>& view,
                                                               const std::shared_ptr<NSURL>& url) {
  if (!view || !url) return nullptr;
  std::weak_ptr<NSImageView> weak = view;
  return loadImageWithPath(url, shownPictureLimits(*view), [weak](std::shared_ptr<NSImage> image) {
    auto shown = weak.lock();
    if (shown && image) shown->setImage(image);
  });
}
