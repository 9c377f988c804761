// The panel comes and goes with the global shortcut (Shift+Ctrl+G, the kit's Shift+Command+G
// on Linux) and with a click on the tray icon.

#include "tests/e2e/DesktopUser.h"

namespace {

class ShortcutTest : public DesktopUserTest {};

TEST_F(ShortcutTest, TheShortcutAndTheTrayIconToggleThePanel) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  expectScreenMatchesRepaint("home");

  pressKeys("shift+ctrl+g");
  EXPECT_TRUE(eventually([&] { return !panelShown(); })) << "the shortcut closes the panel";
  pressKeys("shift+ctrl+g");
  EXPECT_TRUE(eventually([&] { return panelShown(); })) << "and opens it again";
  expectScreenMatchesRepaint("shown by the shortcut");

  clickTrayIcon();
  EXPECT_TRUE(eventually([&] { return !panelShown(); })) << "the tray icon closes the panel";
  clickTrayIcon();
  EXPECT_TRUE(eventually([&] { return panelShown(); })) << "and opens it again";
  expectScreenMatchesRepaint("shown by the tray icon");
}

}  // namespace
