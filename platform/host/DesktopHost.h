#pragma once
// The desktop host: the platform layer on a real desktop through GTK 3. Each window the
// kit orders in becomes a top-level window painted by our Cairo renderer; the desktop's
// pointer, wheel, key and input-method events come back as NSEvents through
// NSApplication's event path; GTK's main loop runs inside our run loop's waits, so one
// loop serves both. The general pasteboard is the desktop clipboard and drags cross to
// other programs, menus pop up as the desktop's menus do, the open panel is the desktop's
// file chooser, web pages open in the desktop's default browser, and the desktop's light or
// dark preference reaches the kit's effective appearance. Every window carries the
// application's name and class. Without a display the process stays headless.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSWindow;
class HostWindow;
class GlobalHotKeys;
class HostWindowServer;
class GLibWaiter;
class HostClipboard;
class HostDragging;
class OtherClicks;
class HostTray;
class HostShortcutRegistrar;
class HostMenu;
class HostAppearance;
class HostRepaintHook;

class DesktopHost : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view headlessLine = "No display: Glimdeck runs headless, without windows.";
  };

  // Connects to the desktop the environment names (DISPLAY, WAYLAND_DISPLAY) and installs
  // the host. Without one it says so in one line and answers nothing; a second call answers
  // the running host.
  static std::shared_ptr<DesktopHost> start();
  static std::shared_ptr<DesktopHost> current();
  // Takes every window off the desktop and goes back to headless. GTK stays connected for
  // the rest of the process (it cannot be shut down), so start() can come back.
  void stop();

  bool isX11() const { return x11_; }
  // The desktop's id of the window that shows a kit window (an X window id); 0 when the
  // window is not on the desktop.
  unsigned long nativeWindowId(const std::shared_ptr<NSWindow>& window) const;
  // Global shortcuts registered with the desktop.
  std::shared_ptr<GlobalHotKeys> hotKeys() const { return hotKeys_; }
  std::shared_ptr<HostDragging> dragging() const { return dragging_; }
  // The status items' icons in the desktop's tray.
  HostTray* tray() const { return tray_.get(); }
  // The kit's open menus, shown as the desktop's pop-up menus.
  HostMenu* menus() const { return menus_.get(); }

  // Screen geometry: the kit's screen coordinates (origin at the bottom left of the main
  // display) against the desktop's (origin at the top left of the whole desktop).
  NSPoint desktopPointFromScreen(NSPoint screenPoint) const;
  NSPoint screenPointFromDesktop(double x, double y) const;
  // The desktop's ids of the windows that show ours.
  std::vector<unsigned long> nativeWindowIds() const;
  // Whether one of the host's windows has the desktop's keyboard focus (an open menu, which
  // holds the keyboard, counts as one).
  bool anyWindowHasFocus() const;
  // How many times the desktop has shown the window's painted canvas (0 before it appears).
  std::size_t framesShown(const std::shared_ptr<NSWindow>& window) const;
  // Waits until the display server has carried out everything sent to it so far.
  void sync() const;

  GLIMDECK_OBJECT(DesktopHost)
  ~DesktopHost() override;

 private:
  friend class HostWindowServer;
  friend class HostWindow;
  friend class GLibWaiter;
  friend class HostDragging;
  friend class OtherClicks;
  friend class HostMenu;
  friend class HostRepaintHook;
  DesktopHost() = default;
  void readScreens();
  std::shared_ptr<HostWindow> hostWindowFor(const NSWindow* window) const;
  void forgetGoneWindows();

  bool x11_ = false;
  double mainX_ = 0, mainY_ = 0, mainHeight_ = 0;
  std::map<const NSWindow*, std::shared_ptr<HostWindow>> windows_;
  std::shared_ptr<HostWindowServer> server_;
  std::shared_ptr<GLibWaiter> waiter_;
  std::shared_ptr<GlobalHotKeys> hotKeys_;
  std::shared_ptr<HostClipboard> clipboard_;
  std::shared_ptr<HostDragging> dragging_;
  std::unique_ptr<OtherClicks> otherClicks_;
  std::unique_ptr<HostTray> tray_;
  std::shared_ptr<HostMenu> menus_;
  std::unique_ptr<HostAppearance> appearance_;
  std::shared_ptr<HostShortcutRegistrar> shortcutRegistrar_;
  std::unique_ptr<HostRepaintHook> repaintHook_;
};
