#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSString.h"
#include "service/AssetCache.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

class AssetCacheTest : public GlimdeckTest {
 public:
  fs::path folder() const { return home() / ".cache" / "Glimdeck" / "media"; }
  static std::shared_ptr<NSData> bytes(const std::string& text) { return NSData::fromString(text); }
  static std::string key(int i) { return "https://media.zolto.test/" + std::to_string(i) + ".gif"; }
  static std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void writeFile(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  void writeArchive(std::string_view name, const id& root) {
    auto archive = NSKeyedArchiver::archivedDataWithRootObject(root);
    ASSERT_TRUE(archive.has_value());
    writeFile(folder() / name, (*archive)->view());
  }
  // The keys the order archive on disk holds, oldest first.
  std::vector<std::string> orderOnDisk() const {
    std::vector<std::string> keys;
    auto data = NSFileManager::defaultManager()->readContentsAtPath((folder() / "orderList").string());
    if (!data || (*data)->length() == 0) return keys;
    if (auto array = NSKeyedUnarchiver::unarchivedObjectOfClass<NSArray>(*data)) {
      for (const auto& value : **array) keys.push_back(asA<NSString>(value)->string());
    }
    return keys;
  }
  // Removes the folder with everything in it, once a cache dropped before has deleted its
  // spare copies there on its own queue.
  bool removeAll(const fs::path& path) {
    return runUntil([&] {
      std::error_code error;
      fs::remove_all(path, error);
      return !error;
    });
  }
  std::size_t mediaFileCount() const {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder())) {
      if (entry.path().filename().string().starts_with("zolto-")) ++count;
    }
    return count;
  }
};

TEST_F(AssetCacheTest, FirstStartCreatesEmptyArchivesAndAnEmptyCache) {
  auto cache = AssetCache::make();
  EXPECT_TRUE(cache->mapping().empty());
  EXPECT_TRUE(cache->order().empty());
  EXPECT_EQ(printedLines(), (std::vector<std::string>{"cache mapping creation success: true",
                                                      "cache order creation success: true"}));
  EXPECT_EQ(fs::file_size(folder() / "recentShareMap"), 0u);
  EXPECT_EQ(fs::file_size(folder() / "orderList"), 0u);
  EXPECT_TRUE(cache->mutex());
}

// The archives are written after a burst, not per store: an explicit flush puts the whole
// burst on disk, and a cache that ends without one still leaves it for the next start.
TEST_F(AssetCacheTest, ABurstOfStoresReachesTheArchivesOnFlushAndWhenTheCacheEnds) {
  auto cache = AssetCache::make();
  for (int i = 1; i <= 3; ++i) cache->cacheAssetWithData(bytes("GIF89a"), key(i), "gif");
  cache->flushArchives();
  EXPECT_EQ(orderOnDisk(), (std::vector<std::string>{key(1), key(2), key(3)}));

  // A write already queued on the cache's own queue keeps the dropped cache alive until it
  // has run, and the last write happens there: wait for the disk to show it.
  cache->removeItemForKey(key(2));
  cache.reset();
  EXPECT_TRUE(runUntil([&] { return orderOnDisk() == std::vector<std::string>{key(1), key(3)}; }, 10.0));
  EXPECT_EQ(AssetCache::make()->order(), (std::vector<std::string>{key(1), key(3)}));
}

// Each write leaves the newest archives whole, whether it grows or shrinks them, and the
// copies kept beside them between writes go when the cache ends.
TEST_F(AssetCacheTest, RewrittenArchivesHoldTheNewestStateAndLeaveNothingBehind) {
  auto cache = AssetCache::make();
  std::vector<std::string> expected;
  const auto flushAndRead = [&] {
    cache->flushArchives();
    return orderOnDisk();
  };
  for (int i = 1; i <= 3; ++i) cache->cacheAssetWithData(bytes("GIF89a"), key(i), "gif");
  EXPECT_EQ(flushAndRead(), (std::vector<std::string>{key(1), key(2), key(3)}));
  for (int i = 4; i <= 40; ++i) cache->cacheAssetWithData(bytes("GIF89a"), key(i), "gif");
  EXPECT_EQ(flushAndRead().size(), 40u);
  for (int i = 2; i <= 39; ++i) cache->removeItemForKey(key(i));
  EXPECT_EQ(flushAndRead(), (std::vector<std::string>{key(1), key(40)}));
  cache->removeItemForKey(key(1));
  EXPECT_EQ(flushAndRead(), (std::vector<std::string>{key(40)}));
  EXPECT_EQ(AssetCache::make()->order(), (std::vector<std::string>{key(40)}));

  const auto leftovers = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder())) {
      const auto name = entry.path().filename().string();
      if (!name.starts_with("zolto-") && name != "recentShareMap" && name != "orderList") names.push_back(name);
    }
    return names;
  };
  cache.reset();
  EXPECT_TRUE(runUntil([&] { return leftovers().empty(); }, 10.0)) << ::testing::PrintToString(leftovers());
}

// A downloader holds the writes while its transfers run: the stores of a page, and a trim's
// file deletions, wait for the last release and then reach the disk without a flush.
TEST_F(AssetCacheTest, HeldArchivesAndTrimmedFilesWaitForTheRelease) {
  auto cache = AssetCache::make();
  cache->holdArchives();
  for (int i = 0; i <= 500; ++i) cache->cacheAssetWithData(bytes(std::to_string(i)), key(i), "gif");
  EXPECT_EQ(cache->order().size(), 451u);
  EXPECT_EQ(fs::file_size(folder() / "orderList"), 0u);
  EXPECT_EQ(mediaFileCount(), 501u);

  cache->releaseArchives();
  EXPECT_TRUE(runUntil([&] { return orderOnDisk().size() == 451u && mediaFileCount() == 451u; }, 10.0));
}

TEST_F(AssetCacheTest, StoredEntriesAreReadBackAndFoundAgainAfterARestart) {
  auto cache = AssetCache::make();
  cache->cacheAssetWithData(bytes("GIF89a one"), key(1), "gif");
  cache->cacheAssetWithData(bytes("mp4 bytes"), key(2), "mp4");
  cache->cacheAssetWithData(bytes(""), key(3), std::nullopt);

  auto path1 = cache->storagePathForKey(key(1));
  ASSERT_TRUE(path1);
  EXPECT_EQ(path1->pathExtension(), "gif");
  EXPECT_TRUE(path1->lastPathComponent().starts_with("zolto-"));
  EXPECT_EQ(cache->storagePathForKey(key(2))->pathExtension(), "mp4");
  EXPECT_EQ(cache->storagePathForKey(key(3))->pathExtension(), "");
  EXPECT_EQ(fs::path(path1->path()).parent_path(), folder());

  auto restarted = AssetCache::make();
  EXPECT_EQ(restarted->order(), (std::vector<std::string>{key(1), key(2), key(3)}));
  EXPECT_TRUE(restarted->containsValueForKey(key(2)));
  EXPECT_EQ(restarted->cachedAssetWithKey(key(1))->string(), "GIF89a one");
  EXPECT_EQ(restarted->cachedAssetWithKey(key(2))->string(), "mp4 bytes");
  auto empty = restarted->cachedAssetWithKey(key(3));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->length(), 0u);
  EXPECT_FALSE(restarted->cachedAssetWithKey(key(4)));
  EXPECT_FALSE(restarted->storagePathForKey(key(4)));
}

TEST_F(AssetCacheTest, StoringUnderACachedKeyReplacesItsFileAndMovesTheKeyToTheEnd) {
  auto cache = AssetCache::make();
  cache->cacheAssetWithData(bytes("old"), key(1), "gif");
  cache->cacheAssetWithData(bytes("other"), key(2), "gif");
  auto oldPath = cache->storagePathForKey(key(1))->path();
  cache->cacheAssetWithData(bytes("new"), key(1), "gif");
  auto newPath = cache->storagePathForKey(key(1))->path();

  EXPECT_NE(oldPath, newPath);
  EXPECT_FALSE(fs::exists(oldPath));
  EXPECT_EQ(cache->cachedAssetWithKey(key(1))->string(), "new");
  EXPECT_EQ(cache->order(), (std::vector<std::string>{key(2), key(1)}));
  EXPECT_EQ(mediaFileCount(), 2u);
}

TEST_F(AssetCacheTest, TheFiveHundredAndFirstKeyTrimsTheFiftyOldestWithTheirFiles) {
  auto cache = AssetCache::make();
  for (int i = 0; i < 500; ++i) cache->cacheAssetWithData(bytes(std::to_string(i)), key(i), "gif");
  cache->purge();  // 500 keys: nothing to trim yet
  EXPECT_EQ(cache->order().size(), 500u);
  auto first = cache->storagePathForKey(key(0));
  ASSERT_TRUE(first);
  auto firstPath = first->path();

  cache->cacheAssetWithData(bytes("500"), key(500), "gif");
  // The trimmed files go on the cache's own queue; a flush sees them gone.
  cache->flushArchives();
  auto order = cache->order();
  ASSERT_EQ(order.size(), 451u);
  EXPECT_EQ(order.front(), key(50));
  EXPECT_EQ(order.back(), key(500));
  EXPECT_FALSE(cache->containsValueForKey(key(49)));
  EXPECT_FALSE(fs::exists(firstPath));
  EXPECT_EQ(mediaFileCount(), 451u);
  cache->purge();
  EXPECT_EQ(cache->order().size(), 451u);

  auto restarted = AssetCache::make();
  EXPECT_EQ(restarted->order(), order);
  EXPECT_EQ(restarted->mapping().size(), 451u);
}

// No archive on disk names a file that is gone: a trim's files are deleted only after
// archives without their keys are written, by a flush or by the cache's end.
TEST_F(AssetCacheTest, TrimmedFilesGoOnlyAfterArchivesWithoutThemAreWritten) {
  auto cache = AssetCache::make();
  cache->holdArchives();
  for (int i = 0; i < 500; ++i) cache->cacheAssetWithData(bytes(std::to_string(i)), key(i), "gif");
  cache->flushArchives();
  auto first = cache->storagePathForKey(key(0))->path();
  cache->cacheAssetWithData(bytes("500"), key(500), "gif");
  // Trimmed, not yet written: the archives on disk still name the key, and its file stays.
  EXPECT_EQ(orderOnDisk().front(), key(0));
  EXPECT_TRUE(fs::exists(first));
  cache->flushArchives();
  EXPECT_EQ(orderOnDisk().front(), key(50));
  EXPECT_FALSE(fs::exists(first));

  for (int i = 501; i < 550; ++i) cache->cacheAssetWithData(bytes(std::to_string(i)), key(i), "gif");
  auto kept = cache->storagePathForKey(key(50));
  ASSERT_TRUE(kept);
  auto trimmed = kept->path();
  cache->cacheAssetWithData(bytes("550"), key(550), "gif");
  EXPECT_FALSE(cache->containsValueForKey(key(50)));
  cache->releaseArchives();
  cache.reset();
  // A queued write may still hold the cache; once it has gone, its files are gone too.
  EXPECT_TRUE(runUntil([&] { return orderOnDisk().size() == 451u && mediaFileCount() == 451u; }, 10.0));
  EXPECT_FALSE(fs::exists(trimmed));
}

TEST_F(AssetCacheTest, RemovingTheLastKeyKeepsTheCacheEmptyAfterARestart) {
  auto cache = AssetCache::make();
  cache->cacheAssetWithData(bytes("only"), key(1), "gif");
  auto path = cache->storagePathForKey(key(1))->path();
  cache->removeItemForKey(key(1));
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(cache->mapping().empty());
  cache->removeItemForKey(key(1));  // nothing left to remove

  auto restarted = AssetCache::make();
  EXPECT_TRUE(restarted->mapping().empty());
  EXPECT_TRUE(restarted->order().empty());
  for (const auto& line : printedLines()) EXPECT_FALSE(line.starts_with("Removal error: ")) << line;
}

TEST_F(AssetCacheTest, RemovingAKeyMissingFromTheOrderForgetsItsMappingAndFile) {
  auto cache = AssetCache::make();
  cache->cacheAssetWithData(bytes("stray"), key(1), "gif");
  cache->cacheAssetWithData(bytes("kept"), key(2), "gif");
  auto path = cache->storagePathForKey(key(1))->path();
  cache->setOrder({key(2)});

  cache->removeItemForKey(key(1));
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(cache->containsValueForKey(key(1)));
  EXPECT_FALSE(cache->storagePathForKey(key(1)));
  EXPECT_EQ(cache->order(), std::vector<std::string>{key(2)});
  EXPECT_FALSE(AssetCache::make()->containsValueForKey(key(1)));
  EXPECT_EQ(cache->cachedAssetWithKey(key(2))->string(), "kept");
}

TEST_F(AssetCacheTest, AnEntryWhoseFileVanishedIsReportedAndDropped) {
  auto cache = AssetCache::make();
  cache->cacheAssetWithData(bytes("gone soon"), key(1), "gif");
  fs::remove(cache->storagePathForKey(key(1))->path());

  EXPECT_FALSE(cache->cachedAssetWithKey(key(1)));
  EXPECT_FALSE(cache->containsValueForKey(key(1)));
  bool reported = false;
  bool removalReported = false;
  for (const auto& line : printedLines()) {
    reported |= line.starts_with("Cache returned empty data: ");
    removalReported |= line.starts_with("Removal error: ");
  }
  EXPECT_TRUE(reported);
  EXPECT_TRUE(removalReported);
  EXPECT_TRUE(AssetCache::make()->mapping().empty());
}

TEST_F(AssetCacheTest, AForeignOrDamagedMapCannotReachFilesOutsideTheCache) {
  auto victim = home() / "precious.txt";
  writeFile(victim, "keep me");
  writeFile(folder() / "zolto-17.gif", "mine");
  writeFile(folder() / "notmine.gif", "planted");
  auto fileURL = [](const fs::path& path) { return NSURL::fileURLWithPath(path.string(), false); };

  auto map = NSDictionary::make();
  map->setObject(fileURL(victim), "outside");
  map->setObject(fileURL(folder() / ".." / "zolto-1.gif"), "climbing");
  map->setObject(fileURL(folder() / "notmine.gif"), "foreign name");
  map->setObject(NSURL::URLWithString("https://example.com/zolto-2.gif"), "remote");
  map->setObject(fileURL(folder() / "zolto-17.gif"), "own");
  writeArchive("recentShareMap", map);
  writeArchive("orderList", NSArray::make({NSString::make("outside"), NSString::make("climbing"),
                                           NSString::make("foreign name"), NSString::make("remote"),
                                           NSString::make("own"), NSString::make("never mapped")}));

  auto cache = AssetCache::make();
  EXPECT_EQ(cache->order(), std::vector<std::string>{"own"});
  EXPECT_FALSE(cache->cachedAssetWithKey("outside"));
  cache->removeItemForKey("outside");
  EXPECT_EQ(cache->cachedAssetWithKey("own")->string(), "mine");

  // A caller that hands in a foreign file cannot make the cache delete it either.
  cache->setMapping({{"outside", fileURL(victim)}});
  cache->setOrder({"outside"});
  cache->removeItemForKey("outside");
  EXPECT_EQ(contents(victim), "keep me");
  EXPECT_TRUE(fs::exists(folder() / "notmine.gif"));
}

// Names are not enough: what lies in the cache's folder under a name of the cache's own is
// looked at before it is trusted. A link (to a file outside) is neither followed nor handed
// out, and a folder is not emptied; their entries go, and what they point at stays as it is.
TEST_F(AssetCacheTest, ALinkOrFolderUnderAnOwnNameIsNeitherFollowedNorEmptied) {
  auto victim = home() / "precious.txt";
  writeFile(victim, "keep me");
  auto fileURL = [](const fs::path& path) { return NSURL::fileURLWithPath(path.string(), false); };

  // A cached file swapped for a link.
  auto cache = AssetCache::make();
  cache->cacheAssetWithData(bytes("mine"), key(1), "gif");
  const fs::path swapped = cache->storagePathForKey(key(1))->path();
  fs::remove(swapped);
  fs::create_symlink(victim, swapped);
  EXPECT_FALSE(cache->cachedAssetWithKey(key(1)));
  EXPECT_FALSE(cache->containsValueForKey(key(1)));

  // Planted before a start, and named in the map.
  fs::create_symlink(victim, folder() / "zolto-55.gif");
  fs::create_directories(folder() / "zolto-56");
  writeFile(folder() / "zolto-56" / "inside", "theirs");
  cache->setMapping({{"link", fileURL(folder() / "zolto-55.gif")}, {"folder", fileURL(folder() / "zolto-56")}});
  cache->setOrder({"link", "folder"});
  cache->saveMapping();
  cache->flushArchives();
  auto started = AssetCache::make();
  EXPECT_FALSE(started->storagePathForKey("link")) << "never handed out to a drag or a player";
  EXPECT_FALSE(started->cachedAssetWithKey("link"));
  started->removeItemForKey("link");
  started->removeItemForKey("folder");

  EXPECT_EQ(contents(victim), "keep me");
  EXPECT_EQ(contents(folder() / "zolto-56" / "inside"), "theirs");
}

// A cached file swapped for a plain file the cache never stores (far larger than any reply,
// or a hard link to a file outside) is set aside with one line: it is neither read nor
// handed out to a drag, a player or the clipboard, its entry goes, and what a hard link also
// names stays as it was.
TEST_F(AssetCacheTest, AnUnfitFileUnderAMediaFilesNameIsSetAsideNotReadNorHandedOut) {
  int round = 0;
  for (auto kind : PlantedFiles::unfitFileKinds) {
    for (bool handedOut : {false, true}) {
      SCOPED_TRACE(PlantedFiles::describe(kind) + (handedOut ? ", its path asked for" : ", read"));
      auto cache = AssetCache::make();
      const auto entry = key(++round);
      cache->cacheAssetWithData(bytes("mine"), entry, "gif");
      const fs::path swapped = cache->storagePathForKey(entry)->path();
      fs::remove(swapped);
      const auto outside = home() / ("outside-" + std::to_string(round));
      PlantedFiles::plant(swapped, kind, outside);
      const auto linesBefore = printedLines().size();

      PlantedFiles::expectNeitherWaitsNorGrows([&] {
        EXPECT_FALSE(handedOut ? bool(cache->storagePathForKey(entry)) : bool(cache->cachedAssetWithKey(entry)));
      });
      EXPECT_FALSE(cache->containsValueForKey(entry));
      EXPECT_EQ(PlantedFiles::setAsideCopies(swapped).size(), 1u);
      const auto lines = printedLines(linesBefore);
      ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
      EXPECT_TRUE(lines.front().starts_with("Set aside \"" + swapped.string() + "\"")) << lines.front();
      if (kind == PlantedFiles::Kind::hardLink) {
        EXPECT_EQ(PlantedFiles::contents(outside), PlantedFiles::outsideText);
      }
      cache->flushArchives();
    }
  }
}

TEST_F(AssetCacheTest, ArchivesThatAreNotArchivesOrHoldOtherTypesAreIgnored) {
  struct Case {
    const char* name;
    std::function<void(AssetCacheTest&)> write;
  };
  const Case cases[] = {
      {"garbage", [](AssetCacheTest& t) { writeFile(t.folder() / "recentShareMap", "\x01\x02not a plist");
                                          writeFile(t.folder() / "orderList", "bplist00 truncated"); }},
      {"other types", [](AssetCacheTest& t) { t.writeArchive("recentShareMap", NSArray::make());
                                              t.writeArchive("orderList", NSDictionary::make()); }},
      {"values of other types", [](AssetCacheTest& t) {
         t.writeArchive("recentShareMap", NSDictionary::make({{"k", NSString::make("/etc/passwd")}}));
         t.writeArchive("orderList", NSArray::make({NSDictionary::make()})); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.write(*this);
    auto cache = AssetCache::make();
    EXPECT_TRUE(cache->mapping().empty());
    EXPECT_TRUE(cache->order().empty());
    cache->cacheAssetWithData(bytes("fresh"), key(1), "gif");
    EXPECT_EQ(AssetCache::make()->cachedAssetWithKey(key(1))->string(), "fresh");
    cache->removeItemForKey(key(1));
  }
}

TEST_F(AssetCacheTest, FilesAreMovedInByRenameOrCopiedFromAnotherFileSystem) {
  auto cache = AssetCache::make();
  // Beside the cache: moved, the very same file.
  fs::path beside = folder() / "incoming";
  writeFile(beside, "GIF89a moved");
  struct stat before {};
  ::stat(beside.c_str(), &before);
  ASSERT_TRUE(cache->cacheAssetWithFile(beside.string(), key(1), "gif"));
  EXPECT_FALSE(fs::exists(beside));
  struct stat after {};
  ::stat(cache->storagePathForKey(key(1))->path().c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(cache->cachedAssetWithKey(key(1))->string(), "GIF89a moved");

  // On another file system (shared memory): copied, the original left to its owner.
  fs::path elsewhere = fs::path("/dev/shm") / ("glimdeck-cache-test-" + std::to_string(::getpid()));
  writeFile(elsewhere, "GIF89a copied");
  ASSERT_TRUE(cache->cacheAssetWithFile(elsewhere.string(), key(2), "gif"));
  EXPECT_TRUE(fs::exists(elsewhere));
  EXPECT_EQ(cache->cachedAssetWithKey(key(2))->string(), "GIF89a copied");
  fs::remove(elsewhere);

  // A file that is not there stores nothing.
  EXPECT_FALSE(cache->cacheAssetWithFile((folder() / "missing").string(), key(3), "gif"));
  EXPECT_FALSE(cache->containsValueForKey(key(3)));
}

TEST_F(AssetCacheTest, UnsafeSuffixesNeverLeaveTheFolder) {
  auto cache = AssetCache::make();
  for (const char* suffix : {"../../escape", "a/b", "", ".", "gif.exe ", "verylongsuffixover16"}) {
    SCOPED_TRACE(suffix);
    cache->cacheAssetWithData(bytes("x"), key(1), std::string(suffix));
    auto path = fs::path(cache->storagePathForKey(key(1))->path());
    EXPECT_EQ(path.parent_path(), folder());
    EXPECT_EQ(path.extension(), "");
  }
  EXPECT_EQ(mediaFileCount(), 1u);
}

TEST_F(AssetCacheTest, WithoutItsMutexTheCacheStillWorksUnderALockOfItsOwn) {
  auto cache = AssetCache::makeWithMutex(std::unexpected(PThreadMutexError{
      PThreadMutexError::Kind::mutexInitializationError, "pthread_mutex_init() failed with return code: 22"}));
  EXPECT_FALSE(cache->mutex());
  bool ran = false;
  cache->withLock([&] {
    cache->cacheAssetWithData(bytes("nested"), key(1), "gif");  // re-entered on the same thread
    ran = true;
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(cache->cachedAssetWithKey(key(1))->string(), "nested");
}

// Whatever lies under an archive's name (at the start), or under the spare copy the cache
// keeps beside an archive between writes (put there meanwhile), that is not a plain file is
// set aside once, with one line, and the archive written all the same: a pipe holds nothing
// up, a link's file outside stays as it was through write after write (a write exchanges the
// archive with its spare, and the next one writes that spare), and a folder does not end up
// under the spare's name to fail every later write.
// Also a plain file: one far larger than an archive is neither read nor sized memory by, and
// one with another name elsewhere (a hard link) is never written in place.
TEST_F(AssetCacheTest, ForeignThingsUnderTheArchivesOrTheirSparesNamesAreSetAsideNotWrittenThrough) {
  const std::string_view mapping = AssetCache::Constants::mappingFileName, order = AssetCache::Constants::orderFileName;
  // A cache an earlier case dropped may still have its last write waiting, for a HOME that is
  // gone: a new cache flushes it, here, before any row counts the lines it prints.
  AssetCache::make();
  int round = 0;
  for (std::string_view name : {mapping, order, std::string_view("the order's spare")}) {
    for (auto kind : PlantedFiles::allKinds) {
      SCOPED_TRACE(std::string(name) + " as " + PlantedFiles::describe(kind));
      ASSERT_TRUE(removeAll(folder()));
      const auto linesBefore = printedLines().size();
      std::shared_ptr<AssetCache> cache;
      int written = 0;
      auto write = [&](int writes) {
        if (!cache) cache = AssetCache::make();
        for (; writes > 0; --writes) {
          cache->cacheAssetWithData(bytes("GIF89a"), key(++written), "gif");
          cache->flushArchives();
        }
      };
      auto planted = folder() / name;
      if (name != mapping && name != order) {
        write(2);
        planted.clear();
        for (const auto& entry : fs::directory_iterator(folder())) {
          if (entry.path().filename().string().starts_with(std::string(order) + ".writing-")) planted = entry.path();
        }
        ASSERT_FALSE(planted.empty()) << "the writes kept a spare copy beside the archive";
        fs::remove(planted);
      }
      const auto outside = home() / ("outside-" + std::to_string(++round));
      PlantedFiles::plant(planted, kind, outside);

      PlantedFiles::expectNeitherWaitsNorGrows([&] { write(3); }, {planted});
      std::weak_ptr<AssetCache> gone = cache;
      cache.reset();
      EXPECT_TRUE(runUntil([&] { return gone.expired(); }));

      if (kind == PlantedFiles::Kind::link || kind == PlantedFiles::Kind::hardLink) {
        EXPECT_EQ(PlantedFiles::contents(outside), PlantedFiles::outsideText);
      }
      for (auto archive : {mapping, order}) EXPECT_EQ(fs::symlink_status(folder() / archive).type(), fs::file_type::regular);
      EXPECT_EQ(PlantedFiles::setAsideCopies(planted).size(), 1u);
      const auto lines = printedLines(linesBefore);
      EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                              [&](const std::string& line) {
                                return line.starts_with("Set aside \"" + planted.string() + "\"");
                              }),
                1)
          << ::testing::PrintToString(lines);
      EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(AssetCache::Constants::saveFailure)), 0)
          << ::testing::PrintToString(lines);
      std::vector<std::string> keys;
      for (int i = 1; i <= written; ++i) keys.push_back(key(i));
      EXPECT_EQ(AssetCache::make()->order(), keys);
    }
  }
}

// A media folder that is a link (the user moved the cache) is worked in where it leads: its
// files are read there, and trimmed there with their entries, also those an earlier start
// named by the link.
TEST_F(AssetCacheTest, AMediaFolderThatIsALinkIsWorkedInAndTrimmedWhereItLeads) {
  const auto elsewhere = home() / "elsewhere" / "media";
  PlantedFiles::plantLinkedCache(folder(), elsewhere, 500, key);

  auto cache = AssetCache::make();
  ASSERT_EQ(cache->order().size(), 500u);
  ASSERT_TRUE(cache->cachedAssetWithKey(key(500)));
  EXPECT_EQ(cache->cachedAssetWithKey(key(500))->string(), "GIF89a 500");
  cache->cacheAssetWithData(bytes("new"), key(501), "gif");
  ASSERT_TRUE(cache->cachedAssetWithKey(key(501)));
  EXPECT_EQ(cache->cachedAssetWithKey(key(501))->string(), "new");
  ASSERT_TRUE(cache->storagePathForKey(key(501)));
  EXPECT_EQ(fs::path(cache->storagePathForKey(key(501))->path()).parent_path(), fs::canonical(elsewhere));
  cache->flushArchives();

  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(elsewhere)) files += entry.path().filename().string().starts_with("zolto-");
  EXPECT_EQ(files, 451u) << "the fifty oldest went with their entries";
  EXPECT_FALSE(fs::exists(elsewhere / "zolto-1.gif"));
  EXPECT_FALSE(fs::exists(elsewhere / "zolto-50.gif"));
  EXPECT_TRUE(fs::exists(elsewhere / "zolto-51.gif"));
  for (const auto& line : printedLines()) {
    EXPECT_FALSE(line.starts_with(AssetCache::Constants::removalErrorPrefix)) << line;
  }
  EXPECT_EQ(AssetCache::make()->order().size(), 451u);
  EXPECT_EQ(fs::symlink_status(folder()).type(), fs::file_type::symlink) << "the user's link stays";
}

// A name of the media folder that holds neither a folder nor a link to one is set aside for
// a folder of the cache's own.
TEST_F(AssetCacheTest, AMediaFolderNameHoldingNoFolderIsSetAsideForAFreshFolder) {
  const struct {
    const char* what;
    std::function<void(const fs::path&)> plant;
  } cases[] = {
      {"a plain file", [](const fs::path& path) { std::ofstream(path) << "not a folder"; }},
      {"a named pipe", [](const fs::path& path) { PlantedFiles::plant(path, PlantedFiles::Kind::pipe, {}); }},
      {"a link leading nowhere", [&](const fs::path& path) { fs::create_symlink(home() / "nowhere", path); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(removeAll(folder().parent_path()));
    fs::create_directories(folder().parent_path());
    c.plant(folder());
    auto cache = AssetCache::make();
    cache->cacheAssetWithData(bytes("kept"), key(1), "gif");
    ASSERT_TRUE(cache->cachedAssetWithKey(key(1)));
    EXPECT_EQ(cache->cachedAssetWithKey(key(1))->string(), "kept");
    EXPECT_EQ(fs::symlink_status(folder()).type(), fs::file_type::directory);
    EXPECT_EQ(PlantedFiles::setAsideCopies(folder()).size(), 1u);
    cache->flushArchives();
  }
}

}  // namespace

#include "tests/service/ServiceTestSupport.h"

namespace {

class AssetCacheRequestTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    cache = AssetCache::make();
  }
  std::shared_ptr<AssetCache> cache;
  CallbackBox<std::shared_ptr<NSData>> answers;
  AssetCache::Callback record() {
    return [this](std::shared_ptr<NSData> data) { answers.put(std::move(data)); };
  }
};

TEST_F(AssetCacheRequestTest, SuccessfulRepliesAreCachedAndAnsweredFromTheCacheAfterwards) {
  auto url = standinURL("/media/sized/1234.gif");
  auto task = cache->requestWithUrl(url, "gif", record());
  ASSERT_TRUE(task);
  ASSERT_TRUE(runUntil([&] { return answers.count() == 1; }));
  ASSERT_TRUE(answers.first());
  EXPECT_EQ(answers.first()->length(), 1234u);
  EXPECT_EQ(cache->storagePathForKey(url)->pathExtension(), "gif");

  // Cached: answered on this thread before the call returns, without a request.
  EXPECT_FALSE(cache->requestWithUrl(url, "gif", record()));
  ASSERT_EQ(answers.count(), 2u);
  EXPECT_EQ(answers.all()[1]->length(), 1234u);
  EXPECT_FALSE(cache->requestWithUrl(url, "gif", nullptr));
  EXPECT_EQ(standin().requests().size(), 1u);
}

TEST_F(AssetCacheRequestTest, AReplyLongerThanTheCallersLimitIsRefusedAndNotCached) {
  const std::string longer = standinURL("/media/sized/3000000.gif"), shorter = standinURL("/media/sized/2000.gif");
  ASSERT_TRUE(cache->requestWithUrl(longer, "gif", record(), 2 << 20));
  ASSERT_TRUE(runUntil([&] { return answers.count() == 1; }));
  EXPECT_FALSE(answers.first());
  EXPECT_FALSE(cache->containsValueForKey(longer));
  ASSERT_TRUE(cache->requestWithUrl(shorter, "gif", record(), 2 << 20));
  ASSERT_TRUE(runUntil([&] { return answers.count() == 2; }));
  ASSERT_TRUE(answers.all()[1]);
  EXPECT_EQ(answers.all()[1]->length(), 2000u);
  EXPECT_TRUE(cache->containsValueForKey(shorter));
}

TEST_F(AssetCacheRequestTest, ErrorPagesFailuresAndOddAddressesAreNeverCached) {
  standin().injectFault("/media/sized/77.gif", Fault::drop());
  const std::string remote[] = {standinURL("/media/none/here.gif"), standinURL("/media/sized/77.gif")};
  for (const auto& url : remote) ASSERT_TRUE(cache->requestWithUrl(url, "gif", record()));
  ASSERT_TRUE(runUntil([&] { return answers.count() == 2; }));
  for (const auto& answer : answers.all()) EXPECT_FALSE(answer);
  for (const auto& url : remote) EXPECT_FALSE(cache->containsValueForKey(url));

  // Not a URL: answered with nothing at once.
  EXPECT_FALSE(cache->requestWithUrl("not a url", "gif", record()));
  ASSERT_EQ(answers.count(), 3u);
  EXPECT_FALSE(answers.all()[2]);

  // A local file is read directly and never cached.
  std::ofstream(home() / "local.gif", std::ios::binary) << "GIF89a local";
  auto local = NSURL::fileURLWithPath((home() / "local.gif").string(), false)->absoluteString();
  EXPECT_FALSE(cache->requestWithUrl(local, "gif", record()));
  ASSERT_EQ(answers.count(), 4u);
  EXPECT_EQ(answers.all()[3]->string(), "GIF89a local");
  EXPECT_FALSE(cache->containsValueForKey(local));
}

// A GIF file of the application's own folder is read only when it is a plain file no larger
// than such copies are: answered with nothing at once for anything else under its name, which
// is set aside.
TEST_F(AssetCacheRequestTest, AnOwnGifFileIsReadOnlyWhenItIsAPlainFile) {
  const auto gifFolder = home() / ".local/share/Glimdeck/gifdata";
  int round = 0;
  for (auto kind : PlantedFiles::unreadableKinds) {
    SCOPED_TRACE(PlantedFiles::describe(kind));
    const auto planted = gifFolder / ("0000000" + std::to_string(++round) + "-F00D-4000-8000-000000000000.gif");
    PlantedFiles::plant(planted, kind, home() / ("outside-" + std::to_string(round) + ".gif"));
    const auto url = NSURL::fileURLWithPath(planted.string(), false)->absoluteString();
    const auto before = answers.count();
    PlantedFiles::expectNeitherWaitsNorGrows([&] { EXPECT_FALSE(cache->requestWithUrl(url, "gif", record())); },
                                             {planted});
    ASSERT_EQ(answers.count(), before + 1);
    EXPECT_FALSE(answers.all().back()) << "nothing but a plain file of the folder is read";
    EXPECT_EQ(PlantedFiles::setAsideCopies(planted).size(), 1u);
  }
  std::ofstream(gifFolder / "plain.gif", std::ios::binary) << "GIF89a own";
  EXPECT_FALSE(cache->requestWithUrl(NSURL::fileURLWithPath((gifFolder / "plain.gif").string(), false)->absoluteString(),
                                     "gif", record()));
  ASSERT_TRUE(answers.all().back());
  EXPECT_EQ(answers.all().back()->string(), "GIF89a own");
}

}  // namespace
