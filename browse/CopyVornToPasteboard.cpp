#include "browse/CopyVornToPasteboard.h"

#include "collections/CollectionManager.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSString.h"
#include "service/AssetCache.h"

namespace {

// The item's own GIF file, when it is an item of this computer whose file is still there.
std::shared_ptr<NSURL> ownLocalFile(const VornObject& vorn) {
  auto file = NSURL::URLWithString(vorn.gifUrl);
  if (!file || !file->isFileURL()) return nullptr;
  return NSFileManager::defaultManager()->fileExistsAtPath(file->path()) ? file : nullptr;
}

}  // namespace

bool copyVornToPasteboard(const std::shared_ptr<VornObject>& vorn) {
  if (!vorn) return false;
  auto pasteboard = NSPasteboard::generalPasteboard();
  pasteboard->clearContents();
  pasteboard->declareTypes({kUTTypeFileURL, kUTTypePlainText}, nullptr);
  std::vector<std::shared_ptr<NSObject>> objects;
  if (auto web = vorn->webUrl()) {
    if (auto cached = AssetCache::shared()->storagePathForKey(vorn->tinyGifUrl)) objects.push_back(cached);
    objects.push_back(NSString::make(*web));
  } else if (auto file = ownLocalFile(*vorn)) {
    // Without an address to share, the GIF itself is what the user copies.
    objects.push_back(file);
  }
  const bool written = !objects.empty() && pasteboard->writeObjects(objects);
  CollectionManager::sharedInstance()->addVornToRecents(vorn);
  return written;
}
