// The settings menu of the panel's "..." button: it opens as a window of its own, Escape
// closes it, and each of its items acts.

#include "app/RootViewController.h"
#include "model/AppConstants.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

constexpr std::string_view kSignedOutRows = P::settingsMenuSignedOut;
constexpr std::string_view kSignedInRows = P::settingsMenuSignedIn;
using P::checkForUpdates, P::preferences, P::download, P::about, P::privacy, P::licenses;
constexpr std::size_t kQuit = P::quitSignedOut, kLogOut = P::logOutSignedIn;

// Where the licences page's Close button sits, a point its card covers in white, and a
// point of the toolbar's white that the dimmed backdrop around the card covers.
constexpr NSPoint kLicencesClose{200, 564};
constexpr NSPoint kLicencesPage{30, 300};
constexpr NSPoint kLicencesBackdrop{100, 5};

class SettingsMenuTest : public DesktopUserTest {
 protected:
  void choose(std::string_view rows, std::size_t index) {
    chooseFromPanelMenu(P::moreButton, std::string(rows), index);
  }
};

TEST_F(SettingsMenuTest, TheMenuOpensAsAWindowOfItsOwnAndEscapeClosesIt) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  clickPanel(P::moreButton);
  std::optional<XWindow> menu;
  ASSERT_TRUE(eventually([&] { return (menu = menuWindow()).has_value(); })) << "the menu opens";
  EXPECT_EQ(menu->frame.height(), menuHeight(std::string(kSignedOutRows)));
  picture(*menu, "settings-menu");
  expectScreenMatchesRepaint("menu open");
  pressKeys("Escape");
  EXPECT_TRUE(eventually([&] { return !menuWindow(); })) << "Escape closes it";
  EXPECT_TRUE(panelShown()) << "and leaves the panel open";
  expectScreenMatchesRepaint("menu closed");
}

TEST_F(SettingsMenuTest, EachItemActs) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());

  ASSERT_NO_FATAL_FAILURE(choose(kSignedOutRows, checkForUpdates));
  EXPECT_TRUE(eventually([&] { return windowNamed("Glimdeck is up to date").has_value(); }))
      << "an alert answers that there is nothing to update";
  expectScreenMatchesRepaint("up to date");
  pressKeys("Return");
  EXPECT_TRUE(eventually([&] { return !windowNamed("Glimdeck is up to date"); })) << "Return closes it";

  ASSERT_NO_FATAL_FAILURE(choose(kSignedOutRows, preferences));
  std::optional<XWindow> preferencesWindow;
  ASSERT_TRUE(eventually([&] { return (preferencesWindow = windowNamed("Preferences")).has_value(); }))
      << "the Preferences window opens";
  expectScreenMatchesRepaint("preferences");
  closeWindow(*preferencesWindow);
  EXPECT_TRUE(eventually([&] { return !windowNamed("Preferences"); })) << "and closes as any window";
  // Without a window manager to close it, its keys do: Escape ends the modal window, and
  // Ctrl+W closes it as it closes any closable window.
  for (const char* keys : {"Escape", "ctrl+w"}) {
    ASSERT_NO_FATAL_FAILURE(choose(kSignedOutRows, preferences));
    ASSERT_TRUE(eventually([&] { return (preferencesWindow = windowNamed("Preferences")).has_value(); })) << keys;
    click(*preferencesWindow, {20, 20});
    pressKeys(keys);
    EXPECT_TRUE(eventually([&] { return !windowNamed("Preferences"); })) << keys << " closes the Preferences";
  }

  for (auto row : {download, about, privacy}) ASSERT_NO_FATAL_FAILURE(choose(kSignedOutRows, row));
  EXPECT_TRUE(eventually([&] { return openedAddresses().size() == 3; }));
  using Pages = RootViewController::Constants;
  EXPECT_EQ(openedAddresses(), (std::vector<std::string>{std::string(Pages::downloadAppAddress),
                                                         std::string(Pages::aboutAddress),
                                                         std::string(legalTermsUrl)}));

  ASSERT_NO_FATAL_FAILURE(choose(kSignedOutRows, licenses));
  ASSERT_TRUE(panelShows(kLicencesPage, isNearWhite)) << "the licences lie over the panel";
  EXPECT_TRUE(panelShows(kLicencesBackdrop, [](std::uint32_t rgb) { return !isNearWhite(rgb); }))
      << "the panel is dimmed around their card, the toolbar too";
  // Their text shows: dark letters on the white page.
  auto page = picture(*panel(), "licences");
  int letters = 0;
  for (int y = 60; y < 540; ++y) {
    for (int x = 30; x < 370; ++x) letters += ((page.at(x, y) >> 8) & 0xFF) < 96;
  }
  EXPECT_GT(letters, 1000) << "the licence texts show on their page";
  expectScreenMatchesRepaint("licences");
  clickPanel(kLicencesClose);
  EXPECT_TRUE(panelShows(kLicencesPage, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "Close takes them away";
  expectScreenMatchesRepaint("licences closed");

  ASSERT_NO_FATAL_FAILURE(choose(kSignedOutRows, kQuit));
  EXPECT_EQ(waitForExit(), 0) << "Quit ends the application with status 0";
}

TEST_F(SettingsMenuTest, LogOutSignsOutOnTheServiceAndInThePanel) {
  ASSERT_NO_FATAL_FAILURE(launchSignedUp("lou", "leaving-soon"));
  ASSERT_NO_FATAL_FAILURE(choose(kSignedInRows, kLogOut));
  EXPECT_TRUE(eventually([&] { return standinReceived("/quorb.unauthorize"); })) << receivedPaths();
  expectScreenMatchesRepaint("logged out");
  // Signed out again: the account button is back and opens the log-in form.
  clickPanel(P::accountButton);
  EXPECT_TRUE(panelShows(P::loginSubmitFill, isBlueish)) << "the log-in form opens";
  expectScreenMatchesRepaint("log-in form");
}

}  // namespace
