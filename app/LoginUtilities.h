#pragma once
// Launch at login: whether the session's login items start this application, adding or
// removing its item, and the stored note that the first run set it up.

#include <memory>

#include "platform/services/LoginItems.h"

class LoginUtilities {
 public:
  struct Constants {
    static constexpr std::string_view autoLaunchSetKey = "kAutoLaunchSet";
  };

  static bool isLaunchAtStartup();
  // Removes the application's item when there is one, else adds one.
  static void toggleLaunchAtStartup();
  // The first login item that starts this application, in list order.
  static std::shared_ptr<LoginItem> itemRefInLoginItems();
  static bool initialAutoLaunchHasBeenSet();
  static void setInitialAutoLaunch(bool value);
};
