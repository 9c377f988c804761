// A new user's first launch: the terms come first, OK leads home, and the program is among
// those the desktop starts at login, in place of an entry under its name that starts another
// program. The next launch goes straight home and leaves the login items as the user left
// them. One entry starts the application at login, whichever of its copies wrote it, and the
// Preferences' box shows and changes that one, and shows after each click what the folder
// holds, whatever another program put there while the window was open.

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
  // The line of an entry that starts the program.
  static std::string execLine(const fs::path& program) { return "\nExec=\"" + program.string() + "\"\n"; }
  static std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

TEST_F(FirstLaunchTest, TheTermsComeFirstThenHomeAndTheNextLaunchGoesStraightHome) {
  // Something else left an entry under the application's name that starts another program,
  // and one under a numbered name beside it whose program is gone.
  const auto tool = home() / "bin/tool";
  fs::create_directories(tool.parent_path());
  std::ofstream(tool) << "#!/bin/sh\n";
  fs::permissions(tool, fs::perms::owner_all);
  fs::create_directories(autostartEntry().parent_path());
  std::ofstream(autostartEntry()) << "[Desktop Entry]\nType=Application\nName=Tool" << execLine(tool);
  std::ofstream(autostartEntry().parent_path() / "glimdeck-2.desktop")
      << "[Desktop Entry]\nType=Application\nName=Glimdeck" << execLine(home() / "gone/glimdeck");

  ASSERT_NO_FATAL_FAILURE(launch());
  // The terms screen covers the panel, toolbar included, in blue.
  ASSERT_TRUE(panelShows({200, 10}, isBlueish));
  expectScreenMatchesRepaint("terms");
  // The first run turns launch at login on: one entry that starts this very program, in place
  // of those that would start something else or nothing.
  EXPECT_EQ(autostartEntries(), std::vector<std::string>{"glimdeck.desktop"});
  auto entry = readText(autostartEntry());
  EXPECT_NE(entry.find(execLine(fs::canonical(GLIMDECK_APP_PATH))), std::string::npos) << entry;
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

// The entry another copy of the application wrote (a build tree's program, as `make run`
// leaves it) is the application's: the first run leaves it, the Preferences' box shows it
// ticked, clearing the box takes it away, and ticking it points it at the running program,
// with never a second entry beside it.
TEST_F(FirstLaunchTest, TheLoginItemAnotherCopyWroteIsTheOneThePreferencesBoxShowsAndChanges) {
  const auto otherCopy = home() / "src/glimdeck/build/glimdeck";
  fs::create_directories(otherCopy.parent_path());
  std::ofstream(otherCopy) << "#!/bin/sh\n";
  fs::permissions(otherCopy, fs::perms::owner_all);
  fs::create_directories(autostartEntry().parent_path());
  const std::string written = "[Desktop Entry]\nType=Application\nName=Glimdeck" + execLine(otherCopy);
  std::ofstream(autostartEntry()) << written;

  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  EXPECT_EQ(autostartEntries(), std::vector<std::string>{"glimdeck.desktop"}) << "the first run adds no second entry";
  EXPECT_EQ(readText(autostartEntry()), written);

  ASSERT_NO_FATAL_FAILURE(chooseFromPanelMenu(P::moreButton, std::string(P::settingsMenuSignedOut), P::preferences));
  std::optional<XWindow> preferences;
  ASSERT_TRUE(eventually([&] { return (preferences = windowNamed("Preferences")).has_value(); }));
  // The launch-at-login box, blue while ticked.
  constexpr NSPoint box{141, 72}, boxFill{137, 68};
  auto ticked = [&](const std::string& name) { return isBlueish(picture(*preferences, name).at(boxFill.x, boxFill.y)); };
  EXPECT_TRUE(eventually([&] { return ticked("ticked"); })) << "the box shows the entry";
  expectScreenMatchesRepaint("preferences");

  click(*preferences, box);
  EXPECT_TRUE(eventually([&] { return autostartEntries().empty(); })) << "cleared, no entry is left";
  EXPECT_TRUE(eventually([&] { return !ticked("cleared"); }));
  click(*preferences, box);
  EXPECT_TRUE(eventually([&] { return autostartEntries() == std::vector<std::string>{"glimdeck.desktop"}; }));
  EXPECT_NE(readText(autostartEntry()).find(execLine(fs::canonical(GLIMDECK_APP_PATH))), std::string::npos)
      << "ticked, the entry starts the running program: " << readText(autostartEntry());
  EXPECT_TRUE(eventually([&] { return ticked("ticked again"); }));
  EXPECT_EQ(autostartEntries(), std::vector<std::string>{"glimdeck.desktop"});

  // After each click the box shows what the folder then holds: the click itself did what the
  // folder, not the box, called for. Each click is seen done on the disk first, then the box
  // is read at one moment of the application's.
  auto boxShows = [&](bool on, const std::string& step) {
    holdStill([&](const std::string&) { EXPECT_EQ(ticked(step), on) << step; });
  };
  click(*preferences, box);
  ASSERT_TRUE(eventually([&] { return autostartEntries().empty(); }));
  boxShows(false, "cleared again");
  // While the window is open, another program adds an entry that starts Glimdeck through a
  // link to the program.
  const auto link = home() / "bin/launch-glimdeck";
  fs::create_directories(link.parent_path());
  fs::create_symlink(fs::canonical(GLIMDECK_APP_PATH), link);
  const auto planted = autostartEntry().parent_path() / "launch-glimdeck.desktop";
  std::ofstream(planted) << "[Desktop Entry]\nType=Application\nName=Launcher" << execLine(link);
  click(*preferences, box);
  EXPECT_TRUE(eventually([&] { return autostartEntries().empty(); })) << "the entry that started it is taken away";
  boxShows(false, "the planted entry taken away");
  click(*preferences, box);
  EXPECT_TRUE(eventually([&] { return autostartEntries() == std::vector<std::string>{"glimdeck.desktop"}; }));
  boxShows(true, "ticked after the planted entry");
  EXPECT_NE(readText(autostartEntry()).find(execLine(fs::canonical(GLIMDECK_APP_PATH))), std::string::npos)
      << readText(autostartEntry());
}

}  // namespace
