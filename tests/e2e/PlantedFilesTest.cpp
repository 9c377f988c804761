// Things somebody else put under the names of the application's own files, as a person meets
// the application afterwards: a pipe under the media cache's map holds nothing up (the panel
// answers and SIGTERM ends the application). What each owner of such files does with a pipe,
// a link or a folder under their names is shown by its own tests.

#include <sstream>

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"
#include "tests/support/PlantedFiles.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

class PlantedFilesTest : public DesktopUserTest {
 protected:
  fs::path mediaFolder() const { return home() / ".cache" / "Glimdeck" / "media"; }

  // Home, with the trending strip's first GIF shown.
  void launchHome() {
    ASSERT_NO_FATAL_FAILURE(launch());
    ASSERT_NO_FATAL_FAILURE(acceptTerms());
    ASSERT_TRUE(panelShows(P::firstTrendingGif, [](std::uint32_t rgb) { return !isNearWhite(rgb); }))
        << "the trending strip shows its GIFs";
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

}  // namespace
