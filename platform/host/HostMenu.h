#pragma once
// The kit's open menus on the desktop. Each level (the menu, and each submenu opened from
// it) is a pop-up window that our menu renderer draws at the display's scale, placed where
// the menu was asked for and kept on the screen: flipped to the other side of the point
// (or of the parent menu) where it would cross the screen's edge, and shifted inside it.
//
// While a menu is open it holds the desktop's pointer and keyboard, as desktop menus do:
// the pointer highlights the enabled item under it and opens submenus, a click (or a press
// dragged onto an item and released) chooses, Up and Down move through the enabled items,
// Right and Left go into and out of submenus, Return chooses; Escape, a press outside the
// menu (in our windows or any other program's) and the keyboard focus moving to another
// program close it without a choice. The press that closes it goes nowhere else, and the
// grab is kept until its release, so no window hears half a click.
//
// A choice goes through NSMenu (performActionForItemAtIndex, on the run loop's next turn),
// which closes the menu and sends the action along the same path as headless. Showing
// does not wait for the user:
// the call that opens a menu returns at once and the choice arrives later from the
// desktop's events, as it does from the simulator headless.
//
// The windows are named "<application> menu" and "<application> submenu" (WM_NAME), so
// that X tools find them (`xdotool search --name`).

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSMenu.h"

class DesktopHost;
class MenuSession;

class HostMenu : public NSMenu::Presenter, public std::enable_shared_from_this<HostMenu> {
 public:
  static std::shared_ptr<HostMenu> install(DesktopHost& host);
  explicit HostMenu(DesktopHost& host) : host_(host) {}
  ~HostMenu() override;
  HostMenu(const HostMenu&) = delete;
  HostMenu& operator=(const HostMenu&) = delete;
  // Closes a menu that is open and stops showing menus.
  void uninstall();

  void menuDidOpen(const std::shared_ptr<NSMenu>& menu, NSPoint screenLocation,
                   const std::shared_ptr<NSView>& view) override;
  void menuDidClose(const std::shared_ptr<NSMenu>& menu) override;

  // Whether a menu is open on the desktop.
  bool isOpen() const;
  // The desktop's ids of the open menu's windows, the menu's own first, then its open
  // submenus in order.
  std::vector<unsigned long> nativeWindowIds() const;
  // How many times the desktop has shown a picture of a menu (all of them, ever).
  std::size_t framesShown() const { return framesShown_; }
  // Whether the desktop's press at that time (the server's milliseconds) was a menu's: the
  // press that closes a menu is no click in another program.
  bool tookPress(std::uint32_t time) const;

 private:
  friend class MenuSession;
  void forget(const MenuSession* session);
  void notePress(std::uint32_t time);

  DesktopHost& host_;
  bool installed_ = false;
  // The open menu's session last; earlier ones wait for the release of the press that
  // closed them.
  std::vector<std::shared_ptr<MenuSession>> sessions_;
  std::deque<std::uint32_t> takenPresses_;
  std::size_t framesShown_ = 0;
};
