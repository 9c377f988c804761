#pragma once
// One entry of a menu: a title with an action sent to a target (or, without one, along
// the responder chain), a key equivalent, a state mark, a submenu, or a separator line.

#include <memory>
#include <string>

#include "platform/appkit/NSCell.h"
#include "platform/appkit/NSEvent.h"
#include "platform/foundation/NSObject.h"

class NSMenu;

class NSMenuItem : public NSObject {
 public:
  static std::shared_ptr<NSMenuItem> make();
  // `action` is a selector name ("copyGif", "addToCollectionClicked:"); empty for none.
  static std::shared_ptr<NSMenuItem> initWithTitle(std::string title, std::string action, std::string keyEquivalent);
  static std::shared_ptr<NSMenuItem> separatorItem();

  std::string title;
  std::string action;
  // Without a target the action travels the responder chain (see NSMenu).
  std::weak_ptr<NSObject> target;
  std::string keyEquivalent;
  NSEventModifierFlags keyEquivalentModifierMask = NSEventModifierFlagCommand;
  NSControlStateValue state = NSControlStateValueOff;
  std::shared_ptr<NSObject> representedObject;
  long tag = 0;
  bool hidden = false;

  bool isSeparatorItem() const { return separator_; }
  // A menu with automatic enabling sets this each time it is shown.
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  std::shared_ptr<NSMenu> submenu() const { return submenu_; }
  bool hasSubmenu() const { return submenu_ != nullptr; }
  // The submenu belongs to this item only: it leaves any item that held it before.
  void setSubmenu(std::shared_ptr<NSMenu> submenu);
  // The menu that holds the item.
  std::shared_ptr<NSMenu> menu() const { return menu_.lock(); }

  std::string className() const override { return "NSMenuItem"; }

 private:
  friend class NSMenu;
  NSMenuItem() = default;
  bool separator_ = false;
  bool enabled_ = true;
  std::shared_ptr<NSMenu> submenu_;
  std::weak_ptr<NSMenu> menu_;
};
