#pragma once
// Web pages open as a GTK application opens them: GIO launches the desktop's default
// handler of the address (the browser the user chose, from the XDG mime-application lists;
// the desktop portal's OpenURI in a sandbox, where the portal may ask the user), with a
// launch context of our display that carries the time of the user's last input, so that
// the browser's window may come to the front. When nothing opens the page, NSWorkspace
// tells the user.

#include <string_view>

class HostWebPages {
 public:
  struct Constants {
    static constexpr std::string_view noBrowserReason =
        "No application is set to open web pages. Choose a default web browser in the desktop's settings.";
  };

  // Becomes the workspace's opener, until uninstall.
  static void install();
  static void uninstall();
};
