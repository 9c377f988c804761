// The steps many cases begin with, taken as a person takes them.

#include "platform/foundation/NSString.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

// A point that the log-in and sign-up forms' card covers in white and home fills with a tile.
constexpr NSPoint kFormCard{360, 460};
}  // namespace

void DesktopUserTest::acceptTerms() {
  ASSERT_TRUE(panelShows({200, 10}, isBlueish)) << "the terms screen covers the panel";
  clickPanel(P::termsOK);
  ASSERT_TRUE(panelShows({200, 10}, isNearWhite)) << "OK leads home";
}

void DesktopUserTest::launchHome() {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  ASSERT_TRUE(panelShows(P::firstTrendingGif, [](std::uint32_t rgb) { return !isNearWhite(rgb); }))
      << "the trending strip shows its GIFs";
}

void DesktopUserTest::searchFor(const std::string& term) {
  clickPanel(P::searchField);
  typeText(term);
  pressKeys("Return");
  ASSERT_TRUE(eventually([&] { return standinReceived("/v1/search", "tag", term); })) << receivedPaths();
  ASSERT_TRUE(panelShows(P::firstResult, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "the results show";
}

void DesktopUserTest::closeAndOpenPanel() {
  pressKeys("shift+ctrl+g");
  ASSERT_TRUE(eventually([&] { return !panelShown(); })) << "the shortcut closes the panel";
  pressKeys("shift+ctrl+g");
  ASSERT_TRUE(eventually([&] { return panelShown(); })) << "and opens it again";
}

void DesktopUserTest::signUp(const std::string& username, const std::string& password) {
  clickPanel(P::accountButton);
  ASSERT_TRUE(panelShows(kFormCard, isNearWhite)) << "the log-in form opens";
  clickPanel(P::loginToSignup);
  ASSERT_TRUE(panelShows(P::signupSubmitFill, isBlueish)) << "the sign-up form replaces it";
  for (auto [field, text] : {std::pair{P::signupUsername, username}, std::pair{P::signupEmail, username + "@example.com"},
                             std::pair{P::signupPassword, password}}) {
    clickPanel(field);
    typeText(text);
  }
  clickPanel(P::signupAgree);
  ASSERT_TRUE(panelShows(P::signupAgreeCorner, isBlueish)) << "the terms box fills";
  if (auto shown = panel()) picture(*shown, "sign-up-filled-in");
  clickPanel(P::signupSubmit);
  bool known = eventually([&] { return standinRecord("users", "username", username) != nullptr; });
  if (!known) {
    if (auto shown = panel()) picture(*shown, "sign-up-not-received");
  }
  ASSERT_TRUE(known) << "the service has the new account; it received " << receivedPaths();
  ASSERT_TRUE(panelShows(kFormCard, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "the form goes";
}

void DesktopUserTest::launchSignedUp(const std::string& username, const std::string& password) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  ASSERT_NO_FATAL_FAILURE(signUp(username, password));
}

void DesktopUserTest::createPack(const std::string& name, const std::function<void()>& whileFormShows) {
  clickPanel(P::profileButton);
  ASSERT_TRUE(panelShows(P::createPackFill, isBlueish)) << "the profile shows";
  clickPanel(P::createPack);
  ASSERT_TRUE(panelShows(P::packCreateFill, isBlueish)) << "the create-pack form shows";
  if (whileFormShows) whileFormShows();
  clickPanel(P::packName);
  typeText(name);
  clickPanel(P::packCreate);
  ASSERT_TRUE(panelShows(P::createPackFill, isBlueish)) << "the form goes back to the profile";
}
