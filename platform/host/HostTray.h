#pragma once
// The status items on the desktop. Where a StatusNotifierWatcher runs on the session bus
// (KDE, most panels of today), each item is a StatusNotifierItem whose icon our own
// renderer draws into its IconPixmap; where an XEmbed system tray runs instead, a GTK
// status icon shows the same picture. A click on the icon moves the item's window to the
// icon and clicks its view, so a popover anchored to the view hangs from the icon. With
// neither, one line says so and the item stays off the desktop.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSGeometry.h"

class DesktopHost;
class NSWindow;
class NSStatusBarWindow;

class HostTray {
 public:
  struct Constants {
    static constexpr std::string_view noTrayLine =
        "No system tray on this desktop: Glimdeck shows no status icon; its panel opens with the global shortcut.";
    static constexpr std::string_view watcherName = "org.kde.StatusNotifierWatcher";
    static constexpr std::string_view itemPath = "/StatusNotifierItem";
  };
  enum class Kind { none, statusNotifierItem, xembed };

  explicit HostTray(DesktopHost& host);
  ~HostTray();
  HostTray(const HostTray&) = delete;
  HostTray& operator=(const HostTray&) = delete;

  void add(const std::shared_ptr<NSStatusBarWindow>& window);
  void remove(const NSWindow* window);
  // The item's picture changed: its icon is drawn again once this turn is over.
  void needsDisplay(const NSWindow* window);

  // An item added before the bus said whether a watcher runs is settled when it does; asked
  // about before that, it is settled at once.
  Kind kind(const NSWindow* window);
  // The bus name the item's StatusNotifierItem goes by (empty for other kinds).
  std::string busName(const NSWindow* window);
  // Where the desktop shows the item's icon (desktop pixels from the top left), when known.
  std::optional<NSRect> iconArea(const NSWindow* window);
  // Whether a point of the desktop lies on one of the icons (presses there are the
  // application's own, not another program's).
  bool covers(double x, double y) const;

  class Icon;

 private:
  // A watcher that comes up later (a panel started after the application, or started
  // again) takes the items then.
  void watcherAppeared(const std::string& owner);
  void watcherVanished();
  // Gives the item its icon, of the kind the desktop's tray takes.
  void settle(const std::shared_ptr<NSStatusBarWindow>& window, bool watcherRuns);
  void settlePending();
  void settleNow(const NSWindow* window);
  bool isPending(const NSWindow* window) const;

  DesktopHost& host_;
  std::vector<std::unique_ptr<Icon>> icons_;
  // Items waiting for the bus's word on a watcher.
  std::vector<std::weak_ptr<NSStatusBarWindow>> pending_;
  bool watcherKnown_ = false;
  bool watcherRuns_ = false;
  bool toldNoTray_ = false;
  int nextNumber_ = 1;
  unsigned watch_ = 0;
  std::string watcherOwner_;
};
