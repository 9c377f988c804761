// The collections store as a person meets it: one copy of the application runs at a time
// (a second launch hands over to it), the store's file alone holds everything once the
// application has quit, and another program holding the store holds saves up without the
// panel waiting for it; they land once it lets go, also when it held the store from before
// the launch. What is planted under the store's own names is set aside, not used.

#include <signal.h>
#include <sqlite3.h>

#include <chrono>
#include <sstream>

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"
#include "tests/support/PlantedFiles.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

bool isNotWhite(std::uint32_t rgb) { return !isNearWhite(rgb); }

class StoreTest : public DesktopUserTest {
 protected:
  // Home again, after a first run took the terms.
  void launchHomeAgain() {
    ASSERT_NO_FATAL_FAILURE(launch());
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
  // The longest a person waits for the panel to answer: far above what it takes, far below
  // the seconds a save waiting for another program's lock would hold the application.
  static constexpr double promptly = 2.0;
  // Whether the condition came true within that time.
  bool soon(const std::function<bool()>& condition) { return eventually(condition, promptly); }
  // The shortcut closes the panel and opens it again, each time promptly.
  void expectThePanelAnswers(const std::string& when) {
    pressKeys("shift+ctrl+g");
    EXPECT_TRUE(soon([&] { return !panelShown(); })) << when << ": the panel did not close promptly";
    EXPECT_TRUE(eventually([&] { return !panelShown(); })) << when;
    pressKeys("shift+ctrl+g");
    EXPECT_TRUE(soon([&] { return panelShown(); })) << when << ": the panel did not open promptly";
    EXPECT_TRUE(eventually([&] { return panelShown(); })) << when;
  }
  // A first run that leaves one GIF in Recents, and quits. How long it took the panel to
  // show is kept as the measure of a launch on this machine.
  void runOnceWithOneCopy() {
    const auto started = std::chrono::steady_clock::now();
    ASSERT_NO_FATAL_FAILURE(launch());
    firstLaunch = std::chrono::steady_clock::now() - started;
    ASSERT_NO_FATAL_FAILURE(acceptTerms());
    ASSERT_TRUE(panelShows(P::firstTrendingGif, isNotWhite)) << "the trending strip shows its GIFs";
    clickPanel(P::firstTrendingGif);
    ASSERT_TRUE(eventually([&] { return recentsCount() == "1\n"; })) << recentsCount();
    ASSERT_NO_FATAL_FAILURE(chooseFromPanelMenu(P::moreButton, std::string(P::settingsMenuSignedOut), P::quitSignedOut));
    ASSERT_EQ(waitForExit(), 0);
  }
  // Another program keeping everyone from the store (exclusive locking mode keeps the lock
  // past its transaction, as long as its connection is open), until letGo().
  void holdTheStore() {
    ASSERT_EQ(sqlite3_open(storePath().c_str(), &holder_), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder_, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; SELECT count(*) FROM Collection;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(holder_);
  }
  std::chrono::duration<double> firstLaunch{0};
  void letGo() {
    sqlite3_close(holder_);
    holder_ = nullptr;
  }
  void TearDown() override {
    if (holder_) letGo();
    DesktopUserTest::TearDown();
  }
  // Copies the first GIF the search for "cats" finds.
  void copyASearchResult() {
    ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
    clickPanel(P::firstResult);
  }

 private:
  sqlite3* holder_ = nullptr;
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
  auto second = startCopyWithoutBus("second.log");
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
  ASSERT_NO_FATAL_FAILURE(chooseFromPanelMenu(P::moreButton, std::string(P::settingsMenuSignedOut), P::quitSignedOut));
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
  // The save that finds the store held says so at once, instead of waiting for it.
  EXPECT_TRUE(soon([&] { return linesOfTheApplication("held up") == 1; })) << "not said promptly";
  EXPECT_TRUE(eventually([&] { return linesOfTheApplication("held up") == 1; })) << app().output();
  expectScreenMatchesRepaint("copied while the store is held");
  // The panel answers meanwhile, while saves are tried again.
  for (int round = 1; round <= 3; ++round) expectThePanelAnswers("round " + std::to_string(round));
  EXPECT_EQ(recentsCount(), "0\n") << "not saved while the other program holds the store";

  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(eventually([&] { return recentsCount() == "1\n"; })) << "the held-up save lands by itself";
  EXPECT_TRUE(eventually([&] { return linesOfTheApplication("resumed") == 1; })) << app().output();
  EXPECT_EQ(linesOfTheApplication("held up"), 1) << "said once";
  expectScreenMatchesRepaint("saved again");
}

// Another program holding the store when the application starts (in exclusive locking mode:
// not even reading it) holds neither the launch nor the panel. One line says saving is held
// up, the copies made meanwhile land in the store once it lets go, beside what the store held
// and without a GIF twice, and one line says saving has resumed, all without a relaunch.
TEST_F(StoreTest, AStoreHeldFromBeforeTheLaunchGetsTheCopiesOnceTheOtherProgramLetsGo) {
  ASSERT_NO_FATAL_FAILURE(runOnceWithOneCopy());
  ASSERT_NO_FATAL_FAILURE(holdTheStore());
  // The store is tried before the panel first shows: a launch that waited for it would show
  // the panel, and say saving is held up, seconds later than the first launch.
  const auto started = std::chrono::steady_clock::now();
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_TRUE(eventually([&] { return linesOfTheApplication("held up") == 1; })) << app().output();
  const std::chrono::duration<double> toHeldUp = std::chrono::steady_clock::now() - started;
  EXPECT_LT(toHeldUp.count(), firstLaunch.count() + promptly) << "the first launch showed its panel after "
                                                               << firstLaunch.count() << " s";
  ASSERT_TRUE(panelShows(P::firstTrendingGif, isNotWhite)) << "the trending strip shows its GIFs";
  EXPECT_EQ(linesOfTheApplication("Unresolved error"), 0) << app().output();
  clickPanel(P::firstTrendingGif);  // again: the store holds it already
  ASSERT_NO_FATAL_FAILURE(copyASearchResult());
  expectThePanelAnswers("while the store is held");
  EXPECT_EQ(linesOfTheApplication("held up"), 1) << "said once";

  letGo();
  EXPECT_TRUE(eventually([&] { return recentsCount() == "2\n"; })) << "the copies land: " << recentsCount();
  EXPECT_TRUE(eventually([&] { return linesOfTheApplication("resumed") == 1; })) << app().output();
  EXPECT_EQ(queryStore("select count(*) from Collection where specialCollectionType = 1"), "1\n") << "one Recents";
  EXPECT_TRUE(app().running()) << "no relaunch";
  expectThePanelAnswers("once saved");
}

// A store held from before the launch until Quit gets nothing of the run, and the end says so
// in one line after its short wait; what the store held stays as it was.
TEST_F(StoreTest, AStoreHeldUntilQuitLosesTheRunsCopiesAndTheEndSaysSo) {
  ASSERT_NO_FATAL_FAILURE(runOnceWithOneCopy());
  ASSERT_NO_FATAL_FAILURE(holdTheStore());
  ASSERT_NO_FATAL_FAILURE(launchHomeAgain());
  ASSERT_NO_FATAL_FAILURE(copyASearchResult());
  ASSERT_TRUE(eventually([&] { return linesOfTheApplication("held up") == 1; })) << app().output();
  expectThePanelAnswers("while the store is held");
  ASSERT_NO_FATAL_FAILURE(chooseFromPanelMenu(P::moreButton, std::string(P::settingsMenuSignedOut), P::quitSignedOut));
  EXPECT_EQ(waitForExit(), 0);
  EXPECT_EQ(linesOfTheApplication("could not be saved before the end"), 1) << app().output();
  EXPECT_EQ(linesOfTheApplication("Unresolved error"), 0) << app().output();
  letGo();
  EXPECT_EQ(recentsCount(), "1\n");
}

// The store's own files planted beside a store as a link to a file of the user's (the log)
// and as a fifo (the rollback journal, which SQLite would read) are set aside with one line
// each: the application answers, keeps what the store held, saves beside it, leaves the
// outside file as it was, and ends at SIGTERM.
TEST_F(StoreTest, TheStoresFilesPlantedAsALinkAndAFifoAreSetAsideAndNeverUsed) {
  ASSERT_NO_FATAL_FAILURE(runOnceWithOneCopy());
  const fs::path outside = home() / "outside.db";
  PlantedFiles::plant(storePath().string() + "-wal", PlantedFiles::Kind::link, outside);
  PlantedFiles::plant(storePath().string() + "-journal", PlantedFiles::Kind::pipe, {});
  const auto outsideMode = fs::status(outside).permissions();

  ASSERT_NO_FATAL_FAILURE(launchHomeAgain());
  ASSERT_NO_FATAL_FAILURE(copyASearchResult());
  EXPECT_TRUE(eventually([&] { return recentsCount() == "2\n"; })) << recentsCount();
  expectThePanelAnswers("with the planted files set aside");
  EXPECT_EQ(linesOfTheApplication("zg.sqlite-wal\": it was a symbolic link, not a file of the store; it is now \"zg.sqlite-wal.set-aside-"),
            1)
      << app().output();
  EXPECT_EQ(linesOfTheApplication("zg.sqlite-journal\": it was a named pipe, not a file of the store; it is now \"zg.sqlite-journal.set-aside-"),
            1)
      << app().output();
  EXPECT_EQ(PlantedFiles::contents(outside), PlantedFiles::outsideText) << "nothing written into the outside file";
  EXPECT_EQ(fs::status(outside).permissions(), outsideMode) << "its mode left as it was";

  ::kill(app().pid(), SIGTERM);
  EXPECT_TRUE(eventually([&] { return !app().running(); }, 20.0)) << "SIGTERM ends it";
  EXPECT_EQ(app().ending(), 0);
  EXPECT_EQ(recentsCount(), "2\n");
}

}  // namespace
