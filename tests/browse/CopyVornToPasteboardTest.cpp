// Copying an item to the general pasteboard: what each kind of item puts there (and announces),
// that an item with nothing to copy leaves the clipboard as it was, and that it always goes
// first in Recents.

#include <gtest/gtest.h>

#include <filesystem>

#include "browse/CopyVornToPasteboard.h"
#include "platform/appkit/NSPasteboard.h"
#include "service/AssetCache.h"
#include "tests/browse/GifCellFixture.h"

namespace {

class CopyVornToPasteboardTest : public GifCellFixture {
 protected:
  // One line per pasteboard item that holds data (a declared type alone holds none).
  static std::vector<std::string> pasteboardLines() {
    std::vector<std::string> lines;
    for (const auto& item : NSPasteboard::generalPasteboard()->pasteboardItems()) {
      if (auto text = item->stringForType(kUTTypePlainText)) lines.push_back("text " + *text);
      else if (auto uris = item->stringForType(kUTTypeFileURL)) lines.push_back("file " + uris->substr(0, uris->find('\r')));
    }
    return lines;
  }
};

TEST_F(CopyVornToPasteboardTest, EachKindOfItemPutsWhatItHasAndGoesFirstInRecents) {
  auto cached = item(1);
  AssetCache::shared()->cacheAssetWithData(NSData::fromString("GIF89a cached"), cached->tinyGifUrl, ".gif");
  const auto cachedFile = AssetCache::shared()->storagePathForKey(cached->tinyGifUrl)->absoluteString();
  auto uncached = item(2);
  AssetCache::shared()->removeItemForKey(uncached->tinyGifUrl);
  auto local = localGif();
  auto gone = localGif();
  std::filesystem::remove(NSURL::URLWithString(gone->gifUrl)->path());

  struct Row {
    std::shared_ptr<VornObject> vorn;
    bool written;
    std::vector<std::string> lines;
    std::vector<NSPasteboardType> types;  // what the clipboard announces to other programs
  };
  const std::vector<Row> rows = {
      {cached, true, {"file " + cachedFile, "text " + *cached->webUrl()}, {kUTTypeFileURL, kUTTypePlainText}},
      {uncached, true, {"text " + *uncached->webUrl()}, {kUTTypePlainText}},
      // An item of this computer has no address to share: its own file is copied.
      {local, true, {"file " + local->gifUrl}, {kUTTypeFileURL}},
      // Nothing left to copy: what the user copied before stays, nothing confirmed.
      {gone, false, {"text earlier"}, {kUTTypePlainText}},
  };
  for (const auto& row : rows) {
    auto pasteboard = NSPasteboard::generalPasteboard();
    pasteboard->clearContents();
    pasteboard->setString("earlier", kUTTypePlainText);
    EXPECT_EQ(copyVornToPasteboard(row.vorn), row.written) << row.vorn->vid;
    EXPECT_EQ(pasteboardLines(), row.lines) << row.vorn->vid;
    EXPECT_EQ(pasteboard->types(), row.types) << row.vorn->vid;
    EXPECT_EQ(vids(manager()->getRecentsCollection()).front(), row.vorn->vid);
  }
}

}  // namespace
