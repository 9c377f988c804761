#include "platform/appkit/NSMenu.h"

#include <algorithm>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

namespace {
struct MenuTracking {
  std::shared_ptr<NSMenu> open;
  NSPoint location;
  std::shared_ptr<NSMenu::Presenter> presenter;
};
MenuTracking& tracking() {
  static MenuTracking state;
  return state;
}
// Responder chains are short; a longer walk means a loop someone built by hand.
constexpr int kMaximumChainLength = 1000;

// An empty submenu offers nothing to choose, so the item that opens it is no way anywhere.
bool opensItems(const NSMenuItem& item) {
  auto submenu = item.submenu();
  return submenu && std::ranges::any_of(submenu->itemArray(),
                                        [](const auto& entry) { return !entry->hidden && !entry->isSeparatorItem(); });
}

void closeOpenMenu() {
  auto& state = tracking();
  auto menu = std::move(state.open);
  state.open.reset();
  if (menu && state.presenter) state.presenter->menuDidClose(menu);
}
}  // namespace

std::shared_ptr<NSMenu> NSMenu::initWithTitle(std::string title) {
  auto menu = std::shared_ptr<NSMenu>(new NSMenu());
  menu->title = std::move(title);
  return menu;
}

std::shared_ptr<NSMenu> NSMenu::supermenu() const {
  auto item = parentItem_.lock();
  return item ? item->menu() : nullptr;
}

std::shared_ptr<NSMenuItem> NSMenu::itemAtIndex(long index) const {
  if (index < 0 || index >= numberOfItems()) return nullptr;
  return items_[static_cast<std::size_t>(index)];
}

long NSMenu::indexOfItem(const std::shared_ptr<NSMenuItem>& item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<long>(it - items_.begin());
}

std::shared_ptr<NSMenuItem> NSMenu::itemWithTitle(std::string_view title) const {
  for (const auto& item : items_) {
    if (!item->isSeparatorItem() && item->title == title) return item;
  }
  return nullptr;
}

void NSMenu::insertItem(const std::shared_ptr<NSMenuItem>& item, long atIndex) {
  if (!item || item->menu() || atIndex < 0 || atIndex > numberOfItems()) return;
  // A menu cannot hold the item that opens it, nor one of its own ancestors' items.
  for (auto menu = sharedAs<NSMenu>(); menu; menu = menu->supermenu()) {
    if (item->submenu_ == menu) return;
  }
  item->menu_ = sharedAs<NSMenu>();
  items_.insert(items_.begin() + atIndex, item);
}

void NSMenu::addItem(const std::shared_ptr<NSMenuItem>& item) { insertItem(item, numberOfItems()); }

std::shared_ptr<NSMenuItem> NSMenu::addItemWithTitle(std::string title, std::string action, std::string keyEquivalent) {
  auto item = NSMenuItem::initWithTitle(std::move(title), std::move(action), std::move(keyEquivalent));
  addItem(item);
  return item;
}

void NSMenu::removeItemAtIndex(long index) {
  if (index < 0 || index >= numberOfItems()) return;
  items_[static_cast<std::size_t>(index)]->menu_.reset();
  items_.erase(items_.begin() + index);
}

void NSMenu::removeItem(const std::shared_ptr<NSMenuItem>& item) { removeItemAtIndex(indexOfItem(item)); }

void NSMenu::removeAllItems() {
  for (auto& item : items_) item->menu_.reset();
  items_.clear();
}

std::shared_ptr<NSMenu> NSMenu::rootMenu() const {
  auto menu = std::const_pointer_cast<NSMenu>(sharedAs<NSMenu>());
  for (int depth = 0; depth < kMaximumChainLength; ++depth) {
    auto parent = menu->supermenu();
    if (!parent) break;
    menu = parent;
  }
  return menu;
}

std::shared_ptr<NSView> NSMenu::contextView() const { return rootMenu()->view_.lock(); }

std::shared_ptr<NSResponder> NSMenu::targetForItem(const NSMenuItem& item) const {
  if (item.action.empty() || item.isSeparatorItem()) return nullptr;
  if (auto target = item.target.lock()) {
    auto responder = asA<NSResponder>(target);
    return responder && responder->respondsToCommand(item.action) ? responder : nullptr;
  }
  std::shared_ptr<NSResponder> start = contextView();
  if (!start) {
    auto app = NSApplication::sharedApplication();
    auto window = app->keyWindow();
    start = window ? window->firstResponder() : std::shared_ptr<NSResponder>(app);
    // With none of its views first responder (the one that was went away), the window is
    // served by its content: its content view's chain passes its content view controller.
    if (window && start == window && window->contentView()) start = window->contentView();
  }
  int steps = 0;
  for (auto responder = start; responder && steps < kMaximumChainLength; responder = responder->nextResponder(), ++steps) {
    if (responder->respondsToCommand(item.action)) return responder;
  }
  return nullptr;
}

void NSMenu::updateIn(const std::shared_ptr<NSView>& view) {
  for (auto& item : items_) {
    if (item->isSeparatorItem()) continue;
    if (autoenablesItems) item->enabled_ = opensItems(*item) || targetForItem(*item) != nullptr;
    if (auto submenu = item->submenu_) submenu->updateIn(view);
  }
}

void NSMenu::update() { updateIn(contextView()); }

bool NSMenu::popUpMenuPositioningItem(const std::shared_ptr<NSMenuItem>&, NSPoint location,
                                      const std::shared_ptr<NSView>& view) {
  if (items_.empty()) return false;
  auto self = sharedAs<NSMenu>();
  closeOpenMenu();
  view_ = view;
  NSPoint screen = location;
  if (view) {
    auto window = view->window();
    NSPoint inWindow = view->convertPointToView(location, nullptr);
    screen = window ? window->convertPointToScreen(inWindow) : inWindow;
  }
  update();
  auto& state = tracking();
  state.open = self;
  state.location = screen;
  if (auto presenter = state.presenter) presenter->menuDidOpen(self, screen, view);
  return true;
}

void NSMenu::popUpContextMenu(const std::shared_ptr<NSMenu>& menu, const std::shared_ptr<NSEvent>& event,
                              const std::shared_ptr<NSView>& view) {
  if (!menu || !event) return;
  NSPoint location = event->locationInWindow();
  if (view) location = view->convertPoint(location, nullptr);
  menu->popUpMenuPositioningItem(nullptr, location, view);
}

std::shared_ptr<NSMenu> NSMenu::openMenu() { return tracking().open; }

NSPoint NSMenu::openMenuLocation() { return tracking().location; }

bool NSMenu::performActionForItemAtIndex(long index) {
  auto item = itemAtIndex(index);
  if (!item || item->isSeparatorItem() || item->action.empty()) return false;
  if (!autoenablesItems && !item->isEnabled()) return false;
  auto target = targetForItem(*item);
  if (!target) {
    if (autoenablesItems) item->enabled_ = false;
    return false;
  }
  auto self = sharedAs<NSMenu>();
  if (tracking().open == rootMenu()) closeOpenMenu();
  target->tryToPerform(item->action, item);
  return true;
}

void NSMenu::cancelTracking() {
  if (tracking().open == rootMenu()) closeOpenMenu();
}

void NSMenu::setPresenter(std::shared_ptr<Presenter> presenter) { tracking().presenter = std::move(presenter); }

void NSMenu::resetMenus() {
  auto& state = tracking();
  state.open.reset();
  state.presenter.reset();
}
