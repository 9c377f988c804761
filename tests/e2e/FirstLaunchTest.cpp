// A new user's first launch: the terms come first, OK leads home, and the next launch goes
// straight home.

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

class FirstLaunchTest : public DesktopUserTest {};

TEST_F(FirstLaunchTest, TheTermsComeFirstThenHomeAndTheNextLaunchGoesStraightHome) {
  ASSERT_NO_FATAL_FAILURE(launch());
  // The terms screen covers the panel, toolbar included, in blue.
  ASSERT_TRUE(panelShows({200, 10}, isBlueish));
  expectScreenMatchesRepaint("terms");
  EXPECT_TRUE(fs::exists(home() / ".config/autostart")) << "the first run turns launch at login on";

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
  ASSERT_NO_FATAL_FAILURE(launch());
  EXPECT_TRUE(panelShows({200, 10}, isNearWhite)) << "no terms again";
  expectScreenMatchesRepaint("home again");
}

}  // namespace
