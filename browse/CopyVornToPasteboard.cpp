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
  // What there is to write is found first: the clipboard is only replaced when something
  // takes the old contents' place, and only the types written are announced.
  std::vector<NSPasteboardType> types;
  std::vector<std::shared_ptr<NSObject>> objects;
  if (auto web = vorn->webUrl()) {
    if (auto cached = AssetCache::shared()->storagePathForKey(vorn->tinyGifUrl)) {
      types.push_back(kUTTypeFileURL);
      objects.push_back(cached);
    }
    types.push_back(kUTTypePlainText);
    objects.push_back(NSString::make(*web));
  } else if (auto file = ownLocalFile(*vorn)) {
    // Without an address to share, the GIF itself is what the user copies.
    types.push_back(kUTTypeFileURL);
    objects.push_back(file);
  }
  bool written = false;
  if (!objects.empty()) {
    auto pasteboard = NSPasteboard::generalPasteboard();
    pasteboard->clearContents();
    pasteboard->declareTypes(types, nullptr);
    written = pasteboard->writeObjects(objects);
  }
  CollectionManager::sharedInstance()->addVornToRecents(vorn);
  return written;
}
