#pragma once
// Launch at login: whether the session's login items start this application, adding or
// removing its item, and the stored note that the first run set it up. The application's
// item is its entry whichever of its copies wrote it (a build tree's program, an installed
// one), or an entry that starts this very program.

#include <memory>

#include "platform/services/LoginItems.h"

class LoginUtilities {
 public:
  struct Constants {
    static constexpr std::string_view autoLaunchSetKey = "kAutoLaunchSet";
  };

  static bool isLaunchAtStartup();
  // Removes the application's items when there is one that starts a program, else writes
  // the one item that starts the running program.
  static void toggleLaunchAtStartup();
  // The first of the application's items that starts a program, in list order.
  static std::shared_ptr<LoginItem> itemRefInLoginItems();
  static bool initialAutoLaunchHasBeenSet();
  static void setInitialAutoLaunch(bool value);
};
