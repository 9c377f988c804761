// glimdeck: the menu-bar application. On a desktop it shows its icon in the tray and its
// panel under it; without a display it runs headless and says so.

#include "app/AppDelegate.h"
#include "platform/appkit/NSApplicationMain.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/Paths.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/SingleInstance.h"

int main(int argc, char** argv) {
  // One copy per session, settled before anything of the application's is opened (its store
  // above all, which two copies would each overwrite with their own): a later launch asks the
  // running copy to show its panel and ends.
  auto delegateSlot = std::make_shared<std::weak_ptr<AppDelegate>>();
  auto instance = SingleInstance::claim(NSBundle::mainBundle()->bundleIdentifier().value_or("com.glimdeck.Glimdeck"),
                                        Paths::applicationSupport(), [delegateSlot] {
                                          if (auto delegate = delegateSlot->lock()) delegate->reopenForAnotherLaunch();
                                        });
  if (!instance) return 0;
  // The desktop first, so the status item made by the delegate lands in its tray.
  auto host = DesktopHost::start();
  auto delegate = AppDelegate::init();
  *delegateSlot = delegate;
  int status = NSApplicationMain(argc, argv, delegate);
  // Off the desktop while everything the host uses is still there.
  if (host) host->stop();
  // The store was closed at termination: the next launch may have it now.
  instance.reset();
  return status;
}
