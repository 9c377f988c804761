// The collections store as a person meets it: one copy of the application runs at a time
// (a second launch hands over to it), the store's file alone holds everything once the
// application has quit, and another program holding the store holds saves up without the
// panel waiting for it; they land once it lets go.

#include <sqlite3.h>

#include <sstream>

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

// The settings menu's rows signed out, and its Quit.
constexpr std::string_view kSignedOutMenuRows = "ii-i-iiii-i";
constexpr std::size_t kQuit = 10;

bool isNotWhite(std::uint32_t rgb) { return !isNearWhite(rgb); }

class StoreTest : public DesktopUserTest {
 protected:
  // Home, with the trending strip's first GIF shown.
  void launchHome() {
    ASSERT_NO_FATAL_FAILURE(launch());
    ASSERT_NO_FATAL_FAILURE(acceptTerms());
    ASSERT_TRUE(panelShows(P::firstTrendingGif, isNotWhite)) << "the trending strip shows its GIFs";
  }
  std::string recentsCount() {
    return queryStore("select count(*) from Collection_vorns v join Collection c on v.owner = c.Z_PK "
                      "where c.name = 'Recents'");
  }
  int linesOfTheApplication(const std::string& text) {
    int count = 0;
    std::istringstream in(app().output());
    for (std::string line; std::getline(in, line);) count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
  }
};

TEST_F(StoreTest, ASecondLaunchHandsOverToTheRunningCopyWhichShowsItsPanel) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  clickTrayIcon();
  ASSERT_TRUE(eventually([&] { return !panelShown(); }));

  auto second = startAnotherCopy({}, "second.log");
  ASSERT_TRUE(second);
  EXPECT_TRUE(eventually([&] { return !second->running(); })) << "the second launch ends";
  EXPECT_EQ(second->ending(), 0);
  EXPECT_NE(second->output().find("already runs"), std::string::npos) << second->output();
  EXPECT_TRUE(eventually([&] { return panelShown(); })) << "the running copy shows its panel";
  EXPECT_EQ(appWindows().size(), 1u) << "one panel, one copy";
  expectScreenMatchesRepaint("shown for a second launch");

  // Asked again while it shows, the panel stays.
  auto third = startAnotherCopy({}, "third.log");
  ASSERT_TRUE(third);
  EXPECT_TRUE(eventually([&] { return !third->running(); }));
  EXPECT_EQ(third->ending(), 0);
  EXPECT_TRUE(panelShows(P::firstTrendingGif, isNotWhite)) << "still shown";
  EXPECT_TRUE(app().running());
}

// Without a session bus to ask, a second launch finds the first one's lock in the data folder:
// one line says the application runs, and it ends before it opens the store.
TEST_F(StoreTest, WithoutASessionBusASecondLaunchSaysTheApplicationRunsAndEnds) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  fs::create_directories(home() / "runtime");
  auto second = startAnotherCopy(
      {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", (home() / "runtime").string()}, {"DISPLAY", ""}},
      "second.log");
  ASSERT_TRUE(second);
  EXPECT_TRUE(eventually([&] { return !second->running(); })) << "the second launch ends";
  EXPECT_EQ(second->ending(), 0);
  EXPECT_NE(second->output().find("Glimdeck already runs"), std::string::npos) << second->output();
  EXPECT_EQ(second->output().find("headless"), std::string::npos) << "it ends before it starts: " << second->output();
  EXPECT_TRUE(app().running());
  EXPECT_TRUE(panelShown());
}

// After a Quit the store is whole in the one file the README names: a copy of zg.sqlite alone
// (a backup of it) holds the collections and the GIF the user copied.
TEST_F(StoreTest, AfterQuitTheStoresFileAloneHoldsEverything) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  clickPanel(P::firstTrendingGif);  // copies it, which puts it in Recents
  ASSERT_TRUE(eventually([&] { return recentsCount() == "1\n"; })) << recentsCount();
  ASSERT_NO_FATAL_FAILURE(chooseFromPanelMenu(P::moreButton, std::string(kSignedOutMenuRows), kQuit));
  ASSERT_EQ(waitForExit(), 0);

  const auto backup = home() / "backup" / "zg.sqlite";
  fs::create_directories(backup.parent_path());
  fs::copy_file(storePath(), backup);
  EXPECT_EQ(run({"sqlite3", "-readonly", backup.string(),
                 "select name from Collection order by name; select count(*) from Collection_vorns;"})
                .output,
            "Favorites\nRecents\nSaved\n1\n");
  EXPECT_FALSE(fs::exists(storePath().string() + "-wal")) << "the log was folded into the file";
}

// Another program holding the store's write lock (the sqlite3 tool with a transaction open)
// holds saves up: the panel answers meanwhile, one line says saving is held up, and the save
// lands by itself once the other program lets go, with one line more.
TEST_F(StoreTest, AnotherProgramHoldingTheStoreHoldsSavesUpAndTheyLandOnceItLetsGo) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  ASSERT_TRUE(eventually([&] { return recentsCount() == "0\n"; })) << "the store is made";
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(storePath().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(other);

  clickPanel(P::firstTrendingGif);
  EXPECT_TRUE(eventually([&] { return linesOfTheApplication("held up") == 1; })) << app().output();
  expectScreenMatchesRepaint("copied while the store is held");
  // The panel answers meanwhile: the shortcut closes it and opens it again.
  pressKeys("shift+ctrl+g");
  EXPECT_TRUE(eventually([&] { return !panelShown(); }));
  pressKeys("shift+ctrl+g");
  EXPECT_TRUE(eventually([&] { return panelShown(); }));
  EXPECT_EQ(recentsCount(), "0\n") << "not saved while the other program holds the store";

  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(eventually([&] { return recentsCount() == "1\n"; })) << "the held-up save lands by itself";
  EXPECT_TRUE(eventually([&] { return linesOfTheApplication("resumed") == 1; })) << app().output();
  EXPECT_EQ(linesOfTheApplication("held up"), 1) << "said once";
  expectScreenMatchesRepaint("saved again");
}

}  // namespace
