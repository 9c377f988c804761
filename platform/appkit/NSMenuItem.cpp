#include "platform/appkit/NSMenuItem.h"

#include "platform/appkit/NSMenu.h"

std::shared_ptr<NSMenuItem> NSMenuItem::make() { return std::shared_ptr<NSMenuItem>(new NSMenuItem()); }

std::shared_ptr<NSMenuItem> NSMenuItem::initWithTitle(std::string title, std::string action,
                                                      std::string keyEquivalent) {
  auto item = make();
  item->title = std::move(title);
  item->action = std::move(action);
  item->keyEquivalent = std::move(keyEquivalent);
  return item;
}

std::shared_ptr<NSMenuItem> NSMenuItem::separatorItem() {
  auto item = make();
  item->separator_ = true;
  item->enabled_ = false;
  return item;
}

void NSMenuItem::setSubmenu(std::shared_ptr<NSMenu> submenu) {
  if (submenu == submenu_) return;
  if (submenu_) submenu_->parentItem_.reset();
  if (submenu) {
    if (auto previous = submenu->parentItem_.lock()) previous->submenu_.reset();
    submenu->parentItem_ = sharedAs<NSMenuItem>();
  }
  submenu_ = std::move(submenu);
}
