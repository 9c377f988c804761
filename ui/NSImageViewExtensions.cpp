#include "ui/NSImageViewExtensions.h"

#include <optional>
#include <string>

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLSessionTask.h"
#include "service/AssetCache.h"

namespace {

void showData(const std::weak_ptr<NSImageView>& weak, const std::shared_ptr<NSData>& data) {
  if (!data || weak.expired()) return;
  auto image = NSImage::initWithData(data);
  if (!image) return;
  DispatchQueue::main()->async([weak, image = *image] {
    if (auto view = weak.lock()) view->setImage(image);
  });
}

}  // namespace

std::shared_ptr<NSURLSessionDataTask> networkLoadImageWithPath(const std::shared_ptr<NSImageView>& view,
                                                               const std::shared_ptr<NSURL>& url) {
  if (!view || !url) return nullptr;
  std::string key = url->absoluteString();
  if (!NSURL::URLWithString(key)) return nullptr;
  std::weak_ptr<NSImageView> weak = view;
  if (url->isFileURL()) {
    showData(weak, NSFileManager::defaultManager()->contentsAtPath(url->path()));
    return nullptr;
  }
  auto cache = AssetCache::shared();
  if (cache->containsValueForKey(key)) {
    showData(weak, cache->cachedAssetWithKey(key));
    return nullptr;
  }
  return cache->requestWithUrl(key, std::nullopt, [weak](std::shared_ptr<NSData> data) { showData(weak, data); });
}
