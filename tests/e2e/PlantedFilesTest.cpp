// Things somebody else put under the names of the application's own files, as a person meets
// the application afterwards: links under the media cache's archives lead nowhere the cache
// writes, a pipe under one holds nothing up (the panel answers and SIGTERM ends the
// application), a media folder that is a link is worked in and trimmed where it leads, and
// without a session bus a folder or a link under the lock file's name still lets one copy run.

#include <sstream>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"
#include "tests/support/PlantedFiles.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

class PlantedFilesTest : public DesktopUserTest {
 protected:
  fs::path mediaFolder() const { return home() / ".cache" / "Glimdeck" / "media"; }
  fs::path lockFile() const { return home() / ".local" / "share" / "Glimdeck" / "instance.lock"; }

  // Home, with the trending strip's first GIF shown.
  void launchHome() {
    ASSERT_NO_FATAL_FAILURE(launch());
    ASSERT_NO_FATAL_FAILURE(acceptTerms());
    ASSERT_TRUE(panelShows(P::firstTrendingGif, [](std::uint32_t rgb) { return !isNearWhite(rgb); }))
        << "the trending strip shows its GIFs";
  }
  // Wheel clicks over the trending strip, which moves it on to GIFs not yet shown.
  void scrollTrending(int clicks) {
    auto shown = panel();
    ASSERT_TRUE(shown);
    run({"xdotool", "mousemove", "--window", shown->id, std::to_string(static_cast<int>(P::trendingStrip.x)),
         std::to_string(static_cast<int>(P::trendingStrip.y)), "click", "--repeat", std::to_string(clicks),
         "--delay", "40", "5"});
  }
  // The keys of the cache's map as the plain file on disk holds them; -1 while it is no
  // plain file holding a map.
  int keysInTheMap() {
    const auto map = mediaFolder() / "recentShareMap";
    auto bytes = PlantedFiles::contents(map);
    if (bytes.empty()) return -1;
    auto root = NSKeyedUnarchiver::unarchiveObjectWithData(NSData::fromString(bytes));
    auto dictionary = root ? asA<NSDictionary>(*root) : nullptr;
    return dictionary ? static_cast<int>(dictionary->count()) : -1;
  }
  int linesOfTheApplication(const std::string& start) {
    int count = 0;
    std::istringstream in(app().output());
    for (std::string line; std::getline(in, line);) count += line.starts_with(start) ? 1 : 0;
    return count;
  }
  // The variables of a launch without a session bus.
  std::vector<std::pair<std::string, std::string>> withoutABus() {
    fs::create_directories(home() / "runtime");
    return {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", (home() / "runtime").string()}};
  }
};

// The archives linked to files outside: the cache sets each link aside once and writes plain
// archives of its own, page after page, and the files outside stay as they were.
TEST_F(PlantedFilesTest, CacheArchivesLinkedOutsideAreSetAsideAndTheFilesOutsideStayAsTheyWere) {
  const fs::path outsideMap = home() / "outside" / "map", outsideOrder = home() / "outside" / "order";
  PlantedFiles::plant(mediaFolder() / "recentShareMap", PlantedFiles::Kind::link, outsideMap);
  PlantedFiles::plant(mediaFolder() / "orderList", PlantedFiles::Kind::link, outsideOrder);
  ASSERT_NO_FATAL_FAILURE(launchHome());
  EXPECT_TRUE(eventually([&] { return keysInTheMap() > 0; })) << "the downloads reach a map of the cache's own";

  // More pages, more writes: each write swaps the archive with the spare kept beside it.
  for (int round = 0; round < 3; ++round) {
    const int before = keysInTheMap();
    for (int tries = 0; tries < 20 && keysInTheMap() <= before; ++tries) {
      ASSERT_NO_FATAL_FAILURE(scrollTrending(5));
      eventually([&] { return keysInTheMap() > before; }, 1.0);
    }
    EXPECT_GT(keysInTheMap(), before) << "scrolling brought more GIFs into the cache";
  }
  EXPECT_EQ(PlantedFiles::contents(outsideMap), PlantedFiles::outsideText);
  EXPECT_EQ(PlantedFiles::contents(outsideOrder), PlantedFiles::outsideText);
  EXPECT_EQ(fs::symlink_status(mediaFolder() / "orderList").type(), fs::file_type::regular);
  EXPECT_EQ(linesOfTheApplication("Set aside \"" + (mediaFolder() / "recentShareMap").string() + "\""), 1)
      << app().output();
  EXPECT_EQ(linesOfTheApplication("Set aside \"" + (mediaFolder() / "orderList").string() + "\""), 1);
  EXPECT_EQ(linesOfTheApplication("recent cache save failure"), 0);
}

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

// The media folder is a link to a folder elsewhere that holds a full cache, named by the link
// by an earlier start: home's downloads go there, and the trim deletes the oldest files there
// with their entries.
TEST_F(PlantedFilesTest, AMediaFolderThatIsALinkIsTrimmedWhereItLeads) {
  const fs::path elsewhere = home() / "elsewhere" / "media";
  PlantedFiles::plantLinkedCache(mediaFolder(), elsewhere, 500,
                                 [](int i) { return "https://media.zolto.test/earlier/" + std::to_string(i) + ".gif"; });

  ASSERT_NO_FATAL_FAILURE(launchHome());
  EXPECT_TRUE(eventually([&] { return !fs::exists(elsewhere / "zolto-1.gif") && !fs::exists(elsewhere / "zolto-50.gif"); }))
      << "the fifty oldest files go with their entries";
  EXPECT_TRUE(fs::exists(elsewhere / "zolto-51.gif"));
  EXPECT_EQ(linesOfTheApplication("Removal error"), 0) << app().output();
  EXPECT_EQ(fs::symlink_status(mediaFolder()).type(), fs::file_type::symlink) << "the user's link stays";
}

// Without a session bus, a folder or a link under the lock file's name is set aside for a
// fresh lock, and a second launch finds that lock held: it says so and ends, and the first
// runs on alone. The file the link led to stays as it was.
TEST_F(PlantedFilesTest, WithoutABusAFolderOrALinkUnderTheLockStillLetsOneCopyRun) {
  launchEnvironment = withoutABus();
  int round = 0;
  for (auto kind : {PlantedFiles::Kind::folder, PlantedFiles::Kind::link}) {
    SCOPED_TRACE(PlantedFiles::describe(kind));
    fs::remove(lockFile());
    const fs::path outside = home() / ("outside-lock-" + std::to_string(++round));
    PlantedFiles::plant(lockFile(), kind, outside);
    ASSERT_NO_FATAL_FAILURE(launch());

    auto environment = withoutABus();
    environment.emplace_back("DISPLAY", "");
    auto second = startAnotherCopy(environment, "second-" + std::to_string(round) + ".log");
    ASSERT_TRUE(second);
    EXPECT_TRUE(eventually([&] { return !second->running(); }, 20.0)) << "the second copy ends";
    EXPECT_EQ(second->ending(), 0);
    EXPECT_NE(second->output().find("Glimdeck already runs"), std::string::npos) << second->output();
    second->stop(10.0);
    EXPECT_TRUE(app().running());
    EXPECT_TRUE(panelShown());
    EXPECT_EQ(fs::symlink_status(lockFile()).type(), fs::file_type::regular);
    if (kind == PlantedFiles::Kind::link) {
      EXPECT_EQ(PlantedFiles::contents(outside), PlantedFiles::outsideText);
    }
    app().stop(30.0);
    EXPECT_EQ(app().ending(), 0);
  }
}

}  // namespace
