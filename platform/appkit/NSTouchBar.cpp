#include "platform/appkit/NSTouchBar.h"

#include <algorithm>

#include "platform/appkit/NSScrubber.h"
#include "platform/foundation/ScopedValueRollback.h"

std::shared_ptr<NSCustomTouchBarItem> NSCustomTouchBarItem::initWithIdentifier(std::string identifier) {
  return create(std::move(identifier));
}

void NSTouchBar::setDelegate(const std::shared_ptr<NSTouchBarDelegate>& delegate) {
  delegate_ = delegate;
  show();
}

void NSTouchBar::setDefaultItemIdentifiers(std::vector<std::string> identifiers) {
  defaultItemIdentifiers_ = std::move(identifiers);
  std::erase_if(items_, [this](const auto& entry) { return !isShown(entry.first); });
  show();
}

bool NSTouchBar::isShown(const std::string& identifier) const {
  return std::find(defaultItemIdentifiers_.begin(), defaultItemIdentifiers_.end(), identifier) !=
         defaultItemIdentifiers_.end();
}

std::shared_ptr<NSTouchBarItem> NSTouchBar::itemForIdentifier(const std::string& identifier) {
  if (!isShown(identifier)) return nullptr;
  if (auto found = items_.find(identifier); found != items_.end()) return found->second;
  auto delegate = delegate_.lock();
  if (!delegate) return nullptr;
  auto item = delegate->touchBarMakeItemForIdentifier(sharedAs<NSTouchBar>(), identifier);
  // The delegate may have changed the bar meanwhile; an item made for an identifier the
  // bar no longer shows is not kept.
  if (item && isShown(identifier)) items_[identifier] = item;
  return isShown(identifier) ? item : nullptr;
}

std::vector<std::shared_ptr<NSTouchBarItem>> NSTouchBar::items() {
  std::vector<std::shared_ptr<NSTouchBarItem>> shown;
  const auto identifiers = defaultItemIdentifiers_;
  for (const auto& identifier : identifiers) {
    if (auto item = itemForIdentifier(identifier)) shown.push_back(item);
  }
  return shown;
}

void NSTouchBar::show() {
  // Making an item can set the identifiers again; the outer call lays out what is then shown.
  if (showing_) return;
  ScopedValueRollback busy(showing_, true);
  std::vector<std::shared_ptr<NSView>> views;
  for (auto& item : items()) {
    if (auto custom = asA<NSCustomTouchBarItem>(item); custom && custom->view) views.push_back(custom->view);
  }
  auto stretches = [](const std::shared_ptr<NSView>& view) { return asA<NSScrubber>(view) != nullptr; };
  double fixed = 0;
  std::size_t stretching = 0;
  for (auto& view : views) {
    if (stretches(view)) ++stretching;
    else fixed += view->frame().size.width;
  }
  const double share = stretching ? std::max(0.0, Constants::width - fixed) / static_cast<double>(stretching) : 0.0;
  double x = 0;
  for (auto& view : views) {
    const double width = stretches(view) ? share : view->frame().size.width;
    view->setFrame(NSMakeRect(x, 0, width, Constants::height));
    x += width;
  }
}
