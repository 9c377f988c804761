// A new user's first launch: the terms come first, OK leads home, and the program is among
// those the desktop starts at login. The next launch goes straight home and leaves the login
// items as the user left them.

#include <algorithm>
#include <fstream>
#include <iterator>

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

class FirstLaunchTest : public DesktopUserTest {
 protected:
  fs::path autostartEntry() { return home() / ".config/autostart/glimdeck.desktop"; }
  // The names in the autostart folder, sorted.
  std::vector<std::string> autostartEntries() {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(home() / ".config/autostart", error), end; !error && it != end; it.increment(error)) {
      names.push_back(it->path().filename().string());
    }
    std::ranges::sort(names);
    return names;
  }
  static std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

TEST_F(FirstLaunchTest, TheTermsComeFirstThenHomeAndTheNextLaunchGoesStraightHome) {
  ASSERT_NO_FATAL_FAILURE(launch());
  // The terms screen covers the panel, toolbar included, in blue.
  ASSERT_TRUE(panelShows({200, 10}, isBlueish));
  expectScreenMatchesRepaint("terms");
  // The first run turns launch at login on: one entry that starts this very program.
  EXPECT_EQ(autostartEntries(), std::vector<std::string>{"glimdeck.desktop"});
  auto entry = readText(autostartEntry());
  EXPECT_NE(entry.find("\nExec=\"" + fs::canonical(GLIMDECK_APP_PATH).string() + "\"\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos) << entry;
  EXPECT_EQ(entry.find("Hidden=true"), std::string::npos) << entry;

  clickPanel(P::termsOK);
  ASSERT_TRUE(panelShows({200, 10}, isNearWhite)) << "OK leads home";
  EXPECT_TRUE(eventually([&] { return standinReceived("/v1/trending"); }));
  expectScreenMatchesRepaint("home");
  // The store is made with the special collections.
  EXPECT_TRUE(eventually([&] {
    return queryStore("select name from Collection where name in ('Favorites', 'Recents', 'Saved') order by name") ==
           "Favorites\nRecents\nSaved\n";
  })) << queryStore("select name from Collection");

  app().stop(30.0);
  EXPECT_EQ(app().ending(), 0);
  // The user takes it out of the programs started at login; a later run leaves it out (it
  // is made before the panel first shows, so it would be back by then).
  fs::remove(autostartEntry());
  ASSERT_NO_FATAL_FAILURE(launch());
  EXPECT_TRUE(panelShows({200, 10}, isNearWhite)) << "no terms again";
  EXPECT_EQ(autostartEntries(), std::vector<std::string>{}) << "only the first run adds the login item";
  expectScreenMatchesRepaint("home again");
}

}  // namespace
