// Things somebody else put under the names of the application's own files, as a person meets
// the application afterwards: a pipe under the media cache's map holds nothing up (the panel
// answers and SIGTERM ends the application); huge files under the cache's and the settings'
// names are not read, and a hard link under the cache's is not written through; the lock
// file moved away while it runs leaves one copy. What each owner of such files does with a
// pipe, a link or a folder under their names is shown by its own tests.

#include <sstream>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/ResidentMemory.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

class PlantedFilesTest : public DesktopUserTest {
 protected:
  fs::path mediaFolder() const { return home() / ".cache" / "Glimdeck" / "media"; }

  // How many keys the cache's order on disk holds: it grows as the cache writes its index.
  std::size_t keysOnDisk() const {
    auto bytes = NSFileManager::defaultManager()->readContentsAtPath(mediaFolder() / "orderList");
    if (!bytes || (*bytes)->length() == 0) return 0;
    auto keys = NSKeyedUnarchiver::unarchivedObjectOfClass<NSArray>(*bytes);
    return keys ? (*keys)->count() : 0;
  }
  int linesOfTheApplication(const std::string& start) {
    int count = 0;
    std::istringstream in(app().output());
    for (std::string line; std::getline(in, line);) count += line.starts_with(start) ? 1 : 0;
    return count;
  }
};

// A pipe under the map: nothing waits for its other end. The panel comes up with home's GIFs,
// answers the shortcut, and SIGTERM ends the application as usual.
TEST_F(PlantedFilesTest, APipeUnderTheCacheMapHoldsNothingUpAndTheApplicationEndsWhenAsked) {
  PlantedFiles::plant(mediaFolder() / "recentShareMap", PlantedFiles::Kind::pipe, {});
  ASSERT_NO_FATAL_FAILURE(launchHome());
  pressKeys("shift+ctrl+g");
  EXPECT_TRUE(eventually([&] { return !panelShown(); })) << "the panel answers the shortcut";
  pressKeys("shift+ctrl+g");
  EXPECT_TRUE(eventually([&] { return panelShown(); }));
  EXPECT_EQ(linesOfTheApplication("Set aside \"" + (mediaFolder() / "recentShareMap").string() + "\""), 1)
      << app().output();
  app().stop(10.0);
  EXPECT_EQ(app().ending(), 0) << "SIGTERM ends it";
}

// Plain files somebody else put under the application's names: 300 GB (sparse) under the
// cache's map and under the settings, and under the cache's order a hard link to a file of the
// user's. The application launches and answers within its usual memory, sets each aside with
// one line, and the cache's writes of its index (home's GIFs, then a search's) leave the
// user's file as it was. Then, while it runs, its lock file is moved elsewhere: a launch
// without a session bus still finds it running and ends.
TEST_F(PlantedFilesTest, HugeOrHardLinkedFilesAreSetAsideAndAMovedLockStillKeepsASecondCopyOff) {
  const auto usersFile = home() / "Documents" / "notes.txt";
  const std::pair<fs::path, PlantedFiles::Kind> planted[] = {
      {mediaFolder() / "recentShareMap", PlantedFiles::Kind::huge},
      {home() / ".config" / "Glimdeck" / "com.glimdeck.Glimdeck.plist", PlantedFiles::Kind::huge},
      {mediaFolder() / "orderList", PlantedFiles::Kind::hardLink}};
  for (const auto& [name, kind] : planted) PlantedFiles::plant(name, kind, usersFile);

  ASSERT_NO_FATAL_FAILURE(launchHome());
  ASSERT_TRUE(eventually([&] { return keysOnDisk() > 0; })) << "the cache wrote home's GIFs into its index";
  const auto written = keysOnDisk();
  clickPanel(P::searchField);
  typeText("cats");
  pressKeys("Return");
  ASSERT_TRUE(eventually([&] { return keysOnDisk() > written; })) << "the cache wrote its index again";
  EXPECT_EQ(PlantedFiles::contents(usersFile), PlantedFiles::outsideText);
  for (const auto& [name, kind] : planted) {
    EXPECT_EQ(linesOfTheApplication("Set aside \"" + name.string() + "\""), 1) << name << "\n" << app().output();
  }
  // Usually about 60 MB; under the sanitizers far more, and what they hold of freed memory.
  EXPECT_LT(resident::peakBytesOf(app().pid()), (std::size_t(200) << 20) + 2 * resident::kSanitizerHeldBytes)
      << "memory grew with the files";

  fs::rename(home() / ".local" / "share" / "Glimdeck" / "instance.lock", home() / "instance.lock.moved");
  auto second = startCopyWithoutBus("second.log");
  ASSERT_TRUE(second);
  EXPECT_TRUE(eventually([&] { return !second->running(); })) << "the second launch ends: " << second->output();
  EXPECT_EQ(second->ending(), 0);
  EXPECT_NE(second->output().find("Glimdeck already runs"), std::string::npos) << second->output();
  EXPECT_TRUE(app().running());
}

}  // namespace
