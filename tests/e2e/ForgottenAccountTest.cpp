// A service that forgot the account: the stand-in started empty as `make run STANDIN_FRESH=1`
// starts it, after a run that signed up against it. The next launch keeps a token that the
// service never issued; the service asks for a log-in, and the panel signs out instead of
// staying signed in to an account whose packs and uploads could never reach it.

#include "platform/foundation/NSNumber.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

// A point of the toolbar that SIGN UP / LOG IN fills in blue, signed out, and that lies white
// between UPLOAD and PROFILE, signed in.
constexpr NSPoint kAccountButtonFill{268, 16};

class ForgottenAccountTest : public DesktopUserTest {
 protected:
  // The stand-in as `make run` starts it, keeping its state in the case's data folder; with
  // `fresh`, as `make run STANDIN_FRESH=1` starts it. Answers how the one before ended.
  std::optional<int> startStandinAsMakeRunDoes(bool fresh, const std::string& output) {
    return replaceStandin({"bash", GLIMDECK_TESTS_DIR "/../scripts/run-standin.sh",
                           fs::path(GLIMDECK_STANDIN_PATH).parent_path().string(), "0"},
                          {{"XDG_DATA_HOME", (home() / ".local/share").string()}, {"STANDIN_FRESH", fresh ? "1" : ""}},
                          output);
  }
  // The names of the packs in the store (every collection but Recents, Favorites, Saved and
  // Recorded), a line each.
  std::string packsInStore() {
    return queryStore("select name from Collection where specialCollectionType not in (1, 2, 3, 5) order by name");
  }
};

TEST_F(ForgottenAccountTest, ALaunchAgainstAServiceThatForgotTheAccountSignsOut) {
  startStandinAsMakeRunDoes(false, "standin-kept.log");
  ASSERT_NO_FATAL_FAILURE(launchSignedUp("fern", "forgotten-soon"));
  ASSERT_NO_FATAL_FAILURE(createPack("Made before"));
  ASSERT_TRUE(eventually([&] { return standinRecord("collections", "name", "Made before") != nullptr; }))
      << receivedPaths();
  ASSERT_TRUE(eventually([&] { return packsInStore() == "Made before\n"; })) << packsInStore();
  app().stop(30.0);
  ASSERT_EQ(app().ending(), 0);

  // The service starts empty; the application still holds the account's token.
  EXPECT_EQ(startStandinAsMakeRunDoes(true, "standin-fresh.log"), 0) << "the stand-in ends cleanly when stopped";
  ASSERT_EQ(standinRecord("users", "username", "fern"), nullptr) << "the service forgot the account";
  ASSERT_NO_FATAL_FAILURE(launch());
  EXPECT_TRUE(eventually([&] { return standinReceived("/quorb.user", "token"); })) << receivedPaths();
  // Signed out: the toolbar offers SIGN UP / LOG IN again, the menu no Log Out, and what the
  // account kept here goes with it.
  ASSERT_TRUE(panelShows(kAccountButtonFill, isBlueish)) << "the panel signs out; it received " << receivedPaths();
  EXPECT_TRUE(standinReceived("/quorb.unauthorize")) << "the token is given up";
  EXPECT_TRUE(eventually([&] { return packsInStore().empty(); }))
      << "the account's packs go from the store, none left as if still to reach the service: " << packsInStore();
  expectScreenMatchesRepaint("signed out");
  clickPanel(P::moreButton);
  std::optional<XWindow> menu;
  ASSERT_TRUE(eventually([&] { return (menu = menuWindow()).has_value(); })) << "the menu opens";
  EXPECT_EQ(menu->frame.height(), menuHeight(std::string(P::settingsMenuSignedOut))) << "no Log Out";
  pressKeys("Escape");
  ASSERT_TRUE(eventually([&] { return !menuWindow(); }));

  // The account made anew on this service takes packs that reach it.
  ASSERT_NO_FATAL_FAILURE(signUp("fern", "remembered-now"));
  ASSERT_NO_FATAL_FAILURE(createPack("Made after"));
  EXPECT_TRUE(eventually([&] {
    auto pack = standinRecord("collections", "name", "Made after");
    auto owner = pack ? pack->objectForKeyAs<NSNumber>("owner") : nullptr;
    auto fern = standinRecord("users", "username", "fern");
    auto userid = fern ? fern->objectForKeyAs<NSNumber>("userid") : nullptr;
    return owner && userid && owner->integerValue() == userid->integerValue();
  })) << "the service has the new account's pack; it received " << receivedPaths();
  expectScreenMatchesRepaint("signed up again");
}

}  // namespace
