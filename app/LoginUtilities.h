#pragma once
// Launch at login: whether the session's login items start this application, adding or
// removing its item, and the stored note that the first run set it up. The application's
// item is its entry whichever of its copies wrote it (a build tree's program, an installed
// one), or an entry that starts this very program; it counts while it starts one of the
// application's copies, not while it starts another program or one that is gone.

#include <memory>

#include "platform/services/LoginItems.h"

class LoginUtilities {
 public:
  struct Constants {
    static constexpr std::string_view autoLaunchSetKey = "kAutoLaunchSet";
  };

  static bool isLaunchAtStartup();
  // Removes the application's items when one of them starts the application, else writes
  // the one item that starts the running program in place of them all.
  static void toggleLaunchAtStartup();
  // The first of the application's items that starts the application, in list order.
  static std::shared_ptr<LoginItem> itemRefInLoginItems();
  static bool initialAutoLaunchHasBeenSet();
  static void setInitialAutoLaunch(bool value);
};
