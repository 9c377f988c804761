// glimdeck: the menu-bar application. On a desktop it shows its icon in the tray and its
// panel under it; without a display it runs headless and says so.

#include "app/AppDelegate.h"
#include "platform/appkit/NSApplicationMain.h"
#include "platform/host/DesktopHost.h"

int main(int argc, char** argv) {
  // The desktop first, so the status item made by the delegate lands in its tray.
  auto host = DesktopHost::start();
  auto delegate = AppDelegate::init();
  int status = NSApplicationMain(argc, argv, delegate);
  // Off the desktop while everything the host uses is still there.
  if (host) host->stop();
  return status;
}
