// An account made through the sign-up form, then used through the log-in form on a fresh
// home, as a person with a second computer would; and one made with the keyboard alone,
// where each stop of the forms shows that it has the keys.

#include <span>

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

// A point that the log-in form's card covers in white and home fills with a tile.
constexpr NSPoint kLoginCard{360, 460};
// Where the sign-up form's message about the terms ends: its second line, "account.".
constexpr NSRect kTermsMessageSecondLine{{52, 392}, {60, 14}};

bool isReddish(std::uint32_t rgb) {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return r > 150 && g < 120 && b < 120;
}

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

TEST_F(AccountTest, SigningUpWithoutTheTermsShowsTheWholeMessage) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  clickPanel(P::accountButton);
  ASSERT_TRUE(panelShows(P::loginSubmitFill, isBlueish)) << "the log-in form opens";
  clickPanel(P::loginToSignup);
  ASSERT_TRUE(panelShows(P::signupSubmitFill, isBlueish)) << "the sign-up form opens";
  for (auto [field, text] : {std::pair{P::signupUsername, "terry"}, {P::signupEmail, "terry@example.com"},
                             {P::signupPassword, "secret-words"}}) {
    clickPanel(field);
    typeText(text);
  }
  clickPanel(P::signupSubmit);
  // The message takes two lines: the words after "create an" show under the first.
  EXPECT_TRUE(eventually([&] { return panelPixelsIn(kTermsMessageSecondLine, isReddish, "terms message") >= 10; }))
      << "the terms message shows whole";
  EXPECT_FALSE(standinReceived("/quorb.signup")) << "nothing is sent without the terms";
  expectScreenMatchesRepaint("terms message");
}

// Where each stop of the forms shows that it has the keys: the ring inside an input's border,
// at the middle of its left side, and the consent box's border.
struct Stop {
  const char* name;
  NSPoint ring;
};
constexpr Stop kLoginStops[] = {{"user name", {52, P::loginUsername.y}}, {"password", {52, P::loginPassword.y}}};
constexpr Stop kSignupStops[] = {{"user name", {52, P::signupUsername.y}},
                                 {"email", {52, P::signupEmail.y}},
                                 {"password", {52, P::signupPassword.y}},
                                 {"consent box", {51, P::signupAgree.y}}};

TEST_F(AccountTest, TheSignUpFormIsSentWithTheKeyboardAloneAndEachStopShowsTheKeys) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  // Which stops show the keys, in one picture of the panel.
  auto showingTheKeys = [&](std::span<const Stop> stops, const std::string& name) {
    auto shot = picture(*panel(), name);
    std::vector<std::string> showing;
    for (const auto& stop : stops) {
      if (isBlueish(shot.at(static_cast<int>(stop.ring.x), static_cast<int>(stop.ring.y)))) showing.push_back(stop.name);
    }
    return showing;
  };
  auto keysAt = [&](std::span<const Stop> stops, const char* name) {
    EXPECT_TRUE(eventually([&] { return showingTheKeys(stops, name) == std::vector<std::string>{name}; }))
        << "the keys are at the " << name << "; the stops showing them: "
        << ::testing::PrintToString(showingTheKeys(stops, std::string("keys at ") + name));
  };
  clickPanel(P::accountButton);
  ASSERT_TRUE(panelShows(P::loginSubmitFill, isBlueish)) << "the log-in form opens";
  keysAt(kLoginStops, "user name");
  pressKeys("Tab");
  keysAt(kLoginStops, "password");

  clickPanel(P::loginToSignup);
  ASSERT_TRUE(panelShows(P::signupSubmitFill, isBlueish)) << "the sign-up form opens";
  for (auto [stop, text] : {std::pair{"user name", "kay"}, {"email", "kay@example.com"}, {"password", "keys-only"}}) {
    keysAt(kSignupStops, stop);
    typeText(text);
    pressKeys("Tab");
  }
  keysAt(kSignupStops, "consent box");
  pressKeys("space");
  EXPECT_TRUE(panelShows(P::signupAgree, isBlueish)) << "Space ticks the box";
  expectScreenMatchesRepaint("box ticked with the keys");
  pressKeys("shift+Tab");
  keysAt(kSignupStops, "password");
  pressKeys("Tab");
  keysAt(kSignupStops, "consent box");
  pressKeys("Return");
  EXPECT_TRUE(eventually([&] { return standinReceived("/quorb.signup", "username", "kay"); })) << receivedPaths();
  EXPECT_TRUE(eventually([&] { return standinRecord("users", "username", "kay") != nullptr; }));
}

}  // namespace
