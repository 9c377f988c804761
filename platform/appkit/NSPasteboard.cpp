#include "platform/appkit/NSPasteboard.h"

#include <algorithm>
#include <map>

#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUUID.h"

namespace {
std::map<NSPasteboardName, std::shared_ptr<NSPasteboard>>& namedPasteboards() {
  static std::map<NSPasteboardName, std::shared_ptr<NSPasteboard>> boards;
  return boards;
}
}  // namespace

std::shared_ptr<NSPasteboard> NSPasteboard::generalPasteboard() { return pasteboardWithName(NSPasteboardNameGeneral); }

std::shared_ptr<NSPasteboard> NSPasteboard::pasteboardWithName(const NSPasteboardName& name) {
  auto& boards = namedPasteboards();
  auto& board = boards[name];
  if (!board) board = std::shared_ptr<NSPasteboard>(new NSPasteboard(name));
  return board;
}

std::shared_ptr<NSPasteboard> NSPasteboard::pasteboardWithUniqueName() {
  return pasteboardWithName("Glimdeck pasteboard " + NSUUID::UUID()->UUIDString());
}

void NSPasteboard::resetPasteboards() {
  // Moved out first: dropping an item may run a provider's destructor that reads a board.
  auto boards = std::move(namedPasteboards());
  namedPasteboards().clear();
  boards.clear();
}

bool NSPasteboard::holds(const NSPasteboardItem& item) const {
  return std::any_of(items_.begin(), items_.end(), [&](const auto& i) { return i.get() == &item; });
}

void NSPasteboard::adopt(const std::shared_ptr<NSPasteboardItem>& item) {
  item->pasteboard_ = sharedAs<NSPasteboard>();
  items_.push_back(item);
}

void NSPasteboard::replaceContents(std::vector<std::shared_ptr<NSPasteboardItem>> items) {
  auto old = std::move(items_);
  items_.clear();
  owner_.reset();
  providing_.reset();
  for (auto& item : old) {
    if (item->pasteboard_.lock().get() == this) item->pasteboard_.reset();
  }
  for (auto& item : items) {
    if (item) adopt(item);
  }
  ++changeCount_;
}

void NSPasteboard::changed() {
  auto self = sharedAs<NSPasteboard>();
  auto observers = observers_;
  for (auto& weak : observers) {
    if (auto observer = weak.lock()) observer->pasteboardDidChange(self);
  }
}

long NSPasteboard::clearContents() {
  replaceContents({});
  changed();
  return changeCount_;
}

long NSPasteboard::declareTypes(const std::vector<NSPasteboardType>& types, const std::shared_ptr<NSObject>& owner) {
  auto item = NSPasteboardItem::make();
  for (const auto& type : types) {
    if (!type.empty()) item->declare(type);
  }
  replaceContents({item});
  owner_ = owner;
  changed();
  return changeCount_;
}

bool NSPasteboard::writeObjects(const std::vector<std::shared_ptr<NSObject>>& objects) {
  std::vector<std::shared_ptr<NSPasteboardItem>> made;
  for (const auto& object : objects) {
    if (auto item = asA<NSPasteboardItem>(object)) {
      // An item lives on one pasteboard at a time.
      if (auto other = item->pasteboard_.lock(); other && other.get() != this) return false;
      if (holds(*item)) return false;
      made.push_back(item);
    } else if (auto text = asA<NSString>(object)) {
      auto textItem = NSPasteboardItem::make();
      textItem->setString(text->string(), NSPasteboardTypeString);
      made.push_back(textItem);
    } else if (auto url = asA<NSURL>(object)) {
      auto urlItem = NSPasteboardItem::make();
      urlItem->setString(url->absoluteString() + "\r\n", NSPasteboardTypeURL);
      made.push_back(urlItem);
    } else {
      return false;
    }
  }
  if (made.empty()) return false;
  for (auto& item : made) adopt(item);
  changed();
  return true;
}

std::shared_ptr<NSPasteboardItem> NSPasteboard::writableItem() {
  if (auto item = providing_.lock(); item && holds(*item)) return item;
  if (items_.empty()) adopt(NSPasteboardItem::make());
  return items_.front();
}

bool NSPasteboard::setData(const std::shared_ptr<NSData>& data, const NSPasteboardType& type) {
  bool inProvider = !providing_.expired();
  if (!writableItem()->setData(data, type)) return false;
  // A provider's data arriving on request changes nothing the desktop was offered.
  if (!inProvider) changed();
  return true;
}

bool NSPasteboard::setString(std::string_view string, const NSPasteboardType& type) {
  return setData(NSData::fromString(string), type);
}

bool NSPasteboard::setPropertyList(const std::shared_ptr<NSObject>& propertyList, const NSPasteboardType& type) {
  bool inProvider = !providing_.expired();
  if (!writableItem()->setPropertyList(propertyList, type)) return false;
  if (!inProvider) changed();
  return true;
}

std::vector<NSPasteboardType> NSPasteboard::types() const {
  std::vector<NSPasteboardType> out;
  for (const auto& item : items_) {
    for (auto& type : item->types()) {
      if (std::find(out.begin(), out.end(), type) == out.end()) out.push_back(std::move(type));
    }
  }
  return out;
}

std::optional<NSPasteboardType> NSPasteboard::availableTypeFromArray(const std::vector<NSPasteboardType>& types) const {
  auto offered = this->types();
  for (const auto& type : types) {
    if (std::find(offered.begin(), offered.end(), type) != offered.end()) return type;
  }
  return std::nullopt;
}

template <typename Read>
auto NSPasteboard::firstRead(const NSPasteboardType& type, Read read)
    -> decltype(read(std::shared_ptr<NSPasteboardItem>())) {
  // A copy: a provider may clear the pasteboard while it is asked.
  auto items = items_;
  for (auto& item : items) {
    if (!item->find(type)) continue;
    auto value = read(item);
    if (value && holds(*item)) return value;
  }
  return {};
}

std::shared_ptr<NSData> NSPasteboard::dataForType(const NSPasteboardType& type) {
  return firstRead(type, [&](const std::shared_ptr<NSPasteboardItem>& item) { return item->dataForType(type); });
}

std::optional<std::string> NSPasteboard::stringForType(const NSPasteboardType& type) {
  return firstRead(type, [&](const std::shared_ptr<NSPasteboardItem>& item) { return item->stringForType(type); });
}

std::shared_ptr<NSObject> NSPasteboard::propertyListForType(const NSPasteboardType& type) {
  return firstRead(type,
                   [&](const std::shared_ptr<NSPasteboardItem>& item) { return item->propertyListForType(type); });
}

void NSPasteboard::addObserver(const std::shared_ptr<NSPasteboardObserver>& observer) {
  if (observer) observers_.push_back(observer);
}

void NSPasteboard::removeObserver(const std::shared_ptr<NSPasteboardObserver>& observer) {
  std::erase_if(observers_, [&](const auto& weak) {
    auto held = weak.lock();
    return !held || held == observer;
  });
}

void NSPasteboard::installForeignContents(const std::vector<std::shared_ptr<NSPasteboardItem>>& items) {
  std::vector<std::shared_ptr<NSPasteboardItem>> adopted;
  for (const auto& item : items) {
    if (item && !item->pasteboard_.lock()) adopted.push_back(item);
  }
  replaceContents(std::move(adopted));
}
