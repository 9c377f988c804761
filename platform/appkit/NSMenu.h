#pragma once
// A menu: its items in order, automatic enabling, and showing it as a pop-up at a point or
// as a view's context menu.
//
// An item's action goes to its target, or without one along the responder chain: from the
// view the menu was shown for, else from the key window's first responder (window,
// application), or its content view when no view of it is first responder (so the content
// view controller serves the window's menus). With automatic enabling (the default), an item with an action is enabled
// exactly when a responder there handles it; one without an action is enabled only when it
// opens a submenu that shows an item (an empty submenu leaves its item disabled).
//
// Showing does not wait for the user: the menu stays open (openMenu()) until an item is
// chosen (performActionForItemAtIndex, which closes it first) or tracking is cancelled.
// Headless, the simulator reads and chooses; a desktop host installs a presenter that shows
// the open menu as a real one and reports the choice the same way.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSMenuItem.h"
#include "platform/foundation/NSGeometry.h"

class NSEvent;
class NSResponder;
class NSView;

class NSMenu : public NSObject {
 public:
  // Told when a menu opens (location on the screen; the view it was shown for, if any) and
  // when it closes.
  class Presenter {
   public:
    virtual ~Presenter() = default;
    virtual void menuDidOpen(const std::shared_ptr<NSMenu>& menu, NSPoint screenLocation,
                             const std::shared_ptr<NSView>& view) = 0;
    virtual void menuDidClose(const std::shared_ptr<NSMenu>& /*menu*/) {}
  };

  static std::shared_ptr<NSMenu> make() { return initWithTitle(""); }
  static std::shared_ptr<NSMenu> initWithTitle(std::string title);

  std::string title;
  bool autoenablesItems = true;

  // Items.
  const std::vector<std::shared_ptr<NSMenuItem>>& itemArray() const { return items_; }
  long numberOfItems() const { return static_cast<long>(items_.size()); }
  std::shared_ptr<NSMenuItem> itemAtIndex(long index) const;
  long indexOfItem(const std::shared_ptr<NSMenuItem>& item) const;  // -1 when absent
  std::shared_ptr<NSMenuItem> itemWithTitle(std::string_view title) const;
  // An item lives in one menu: adding one that another menu holds does nothing.
  void addItem(const std::shared_ptr<NSMenuItem>& item);
  void insertItem(const std::shared_ptr<NSMenuItem>& item, long atIndex);
  std::shared_ptr<NSMenuItem> addItemWithTitle(std::string title, std::string action, std::string keyEquivalent);
  void removeItem(const std::shared_ptr<NSMenuItem>& item);
  void removeItemAtIndex(long index);
  void removeAllItems();
  // The menu whose item opens this one.
  std::shared_ptr<NSMenu> supermenu() const;

  // Automatic enabling for the responders of the menu's context (see above), submenus too.
  void update();
  // The object the item's action goes to now, or empty when nobody handles it.
  std::shared_ptr<NSResponder> targetForItem(const NSMenuItem& item) const;

  // Showing. The location is in the view's coordinates, or on the screen without a view.
  // Answers whether the menu opened (an empty menu does not). `positioningItem` is kept
  // for the presenter's placement only.
  bool popUpMenuPositioningItem(const std::shared_ptr<NSMenuItem>& positioningItem, NSPoint location,
                                const std::shared_ptr<NSView>& view);
  // Opens the menu at the event's place in the view's window.
  static void popUpContextMenu(const std::shared_ptr<NSMenu>& menu, const std::shared_ptr<NSEvent>& event,
                               const std::shared_ptr<NSView>& view);
  // The menu that is open, its place on the screen and the view it was shown for.
  static std::shared_ptr<NSMenu> openMenu();
  static NSPoint openMenuLocation();
  // Chooses an enabled item of this menu (open, or a submenu of the open one): closes the
  // open menu, then sends the action. False for separators, disabled items and items that
  // only open a submenu.
  bool performActionForItemAtIndex(long index);
  void cancelTracking();

  static void setPresenter(std::shared_ptr<Presenter> presenter);
  // Closes any open menu and forgets the presenter (between tests).
  static void resetMenus();

  GLIMDECK_OBJECT(NSMenu)

 private:
  friend class NSMenuItem;
  NSMenu() = default;
  // The view whose responder chain serves this menu (the root menu's, for submenus).
  std::shared_ptr<NSView> contextView() const;
  std::shared_ptr<NSMenu> rootMenu() const;
  void updateIn(const std::shared_ptr<NSView>& view);

  std::vector<std::shared_ptr<NSMenuItem>> items_;
  std::weak_ptr<NSMenuItem> parentItem_;
  std::weak_ptr<NSView> view_;
};
