// The application's folders are the user's alone (0700) whichever part of the application
// makes them first: the crash kit, the collections store, the settings, the media cache,
// the saved-GIF folder, the group container. Folders that were there already keep their mode.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "collections/CoreDataContext.h"
#include "model/AppConstants.h"
#include "model/VornObject.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/Paths.h"
#include "sdk/crash/Veverovodod.h"
#include "service/AssetCache.h"
#include "tests/support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

unsigned modeOf(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0u;
}

class ApplicationFoldersTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    // The usual mask, under which folders made without care come out 0755.
    previousMask_ = ::umask(022);
  }
  void TearDown() override {
    ::umask(previousMask_);
    CoreDataContext::reset();
    NSUserDefaults::resetStandardUserDefaults();
    GlimdeckTest::TearDown();
  }
  // Points the XDG folders into a place of their own that nothing has made yet.
  fs::path freshRoot(const std::string& name) {
    const fs::path root = home() / name;
    fs::create_directories(root);
    ::chmod(root.c_str(), 0755);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    CoreDataContext::reset();
    NSUserDefaults::resetStandardUserDefaults();
    return root;
  }

 private:
  mode_t previousMask_ = 0;
};

// Every folder below the root, with its mode.
std::map<std::string, unsigned> foldersBelow(const fs::path& root) {
  std::map<std::string, unsigned> folders;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_directory()) folders[fs::relative(entry.path(), root).string()] = modeOf(entry.path());
  }
  return folders;
}

struct Maker {
  std::string name;
  std::function<void()> make;
};

TEST_F(ApplicationFoldersTest, EveryFolderOfOursIsTheOwnersAloneWhicheverPartMakesItFirst) {
  freshRoot("scratch");
  auto gif = NSData::make({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'});
  auto item = VornObject::initWithLocalGifImageData(gif);
  ASSERT_TRUE(item.has_value());
  const auto vorn = *item;

  const std::vector<Maker> makers{
      {"the crash kit", [] { Veverovodod::kitClass()->start(); }},
      {"the collections store", [] { ASSERT_TRUE(CoreDataContext::persistentStoreCoordinator()); }},
      {"the settings", [] {
         auto defaults = NSUserDefaults::standardUserDefaults();
         defaults->setObject(NSString::make("on"), "someSetting");
         ASSERT_TRUE(defaults->synchronize());
       }},
      {"the media cache", [] { AssetCache::make()->systemCachePath(); }},
      {"a saved GIF", [&] { ASSERT_TRUE(VornObject::initWithLocalGifImageData(gif).has_value()); }},
      // Made without the folders above it: only once the data folder is there.
      {"the group container", [&] { (void)vorn->saveDirectoryUrl(); }},
  };
  // Each part first and the others after it in turn, and the whole list backwards.
  std::vector<std::vector<std::size_t>> orders;
  for (std::size_t first = 0; first < makers.size(); ++first) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < makers.size(); ++i) order.push_back((first + i) % makers.size());
    orders.push_back(order);
  }
  orders.emplace_back(orders.front().rbegin(), orders.front().rend());

  bool containerMade = false;
  for (std::size_t n = 0; n < orders.size(); ++n) {
    const fs::path root = freshRoot("order-" + std::to_string(n));
    std::string names;
    for (auto i : orders[n]) {
      names += makers[i].name + "; ";
      makers[i].make();
    }
    SCOPED_TRACE(names);
    const auto app = Paths::applicationName();
    const auto folders = foldersBelow(root);
    for (const std::string& folder : std::vector<std::string>{
             "data", "data/" + app, "data/" + app + "/Crash Reports", "data/" + app + "/gifdata", "cache",
             "cache/" + app, "cache/" + app + "/" + std::string(AssetCache::Constants::folderName), "config",
             "config/" + app}) {
      EXPECT_TRUE(folders.contains(folder)) << folder;
    }
    for (const auto& [folder, mode] : folders) EXPECT_EQ(mode, 0700u) << folder;
    containerMade = containerMade || folders.contains("data/" + std::string(appGroupIdentifier));
    EXPECT_EQ(modeOf(root), 0755u) << "the folder that was there keeps its mode";
  }
  EXPECT_TRUE(containerMade);
}

TEST_F(ApplicationFoldersTest, FoldersThatWereThereKeepTheirMode) {
  const fs::path root = freshRoot("existing");
  const fs::path data = root / "data";
  fs::create_directories(data / Paths::applicationName());
  ::chmod(data.c_str(), 0755);
  ::chmod((data / Paths::applicationName()).c_str(), 0750);
  Veverovodod::kitClass()->start();
  EXPECT_EQ(modeOf(data), 0755u);
  EXPECT_EQ(modeOf(data / Paths::applicationName()), 0750u);
  EXPECT_EQ(modeOf(Veverovodod::reportsFolder()), 0700u);
}

}  // namespace
