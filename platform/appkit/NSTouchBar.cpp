#include "platform/appkit/NSTouchBar.h"

std::shared_ptr<NSCustomTouchBarItem> NSCustomTouchBarItem::initWithIdentifier(std::string identifier) {
  return create(std::move(identifier));
}

std::shared_ptr<NSTouchBarItem> NSTouchBar::itemForIdentifier(const std::string& identifier) {
  if (auto found = items_.find(identifier); found != items_.end()) return found->second;
  auto delegate = delegate_.lock();
  if (!delegate) return nullptr;
  auto item = delegate->touchBarMakeItemForIdentifier(sharedAs<NSTouchBar>(), identifier);
  if (item) items_[identifier] = item;
  return item;
}
