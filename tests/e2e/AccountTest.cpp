// An account made through the sign-up form, then used through the log-in form on a fresh
// home, as a person with a second computer would.

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

// A point that the log-in form's card covers in white and home fills with a tile.
constexpr NSPoint kLoginCard{360, 460};

class AccountTest : public DesktopUserTest {};

TEST_F(AccountTest, SignUpThroughTheFormThenLogInThroughItOnAFreshHome) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  ASSERT_NO_FATAL_FAILURE(signUp("wanda", "secret-words"));
  expectScreenMatchesRepaint("signed up");
  EXPECT_TRUE(eventually([&] { return standinReceived("/quorb.signup", "username", "wanda"); }));

  app().stop(30.0);
  EXPECT_EQ(app().ending(), 0);
  for (const char* folder : {".local/share", ".cache", ".config"}) {
    fs::remove_all(home() / folder);
    fs::create_directories(home() / folder);
  }
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  clickPanel(P::accountButton);
  ASSERT_TRUE(panelShows(P::loginSubmitFill, isBlueish)) << "the log-in form opens";
  expectScreenMatchesRepaint("log-in form");
  clickPanel(P::loginUsername);
  typeText("wanda");
  clickPanel(P::loginPassword);
  typeText("secret-words");
  clickPanel(P::loginSubmit);
  EXPECT_TRUE(eventually([&] { return standinReceived("/quorb.login", "username", "wanda"); }));
  // Let in, the form goes: home's tiles show where its white card was.
  EXPECT_TRUE(panelShows(kLoginCard, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "the log-in form goes";
  expectScreenMatchesRepaint("logged in");
  // Signed in, the toolbar has the profile in the account button's place.
  clickPanel(P::profileButton);
  EXPECT_TRUE(panelShows(P::createPackFill, isBlueish)) << "the profile shows";
  expectScreenMatchesRepaint("profile");
}

}  // namespace
