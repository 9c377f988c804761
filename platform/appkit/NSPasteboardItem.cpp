#include "platform/appkit/NSPasteboardItem.h"

#include <algorithm>

#include "platform/appkit/NSPasteboard.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

namespace PasteboardCoding {

bool isValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past the last code point are not UTF-8.
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string uriListFromPaths(const std::vector<std::string>& paths) {
  std::string list;
  for (const auto& path : paths) {
    auto url = NSURL::fileURLWithPath(path, false);
    if (!url) continue;
    list += url->absoluteString();
    list += "\r\n";
  }
  return list;
}

std::optional<std::vector<std::string>> pathsFromUriList(std::string_view list) {
  if (!isValidUtf8(list) || list.find('\0') != std::string_view::npos) return std::nullopt;
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find('\n', start);
    std::string_view line = list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() != '#') {
      auto url = NSURL::URLWithString(line);
      if (url && url->isFileURL() && !url->path().empty()) paths.push_back(url->path());
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return paths;
}

}  // namespace PasteboardCoding

namespace {
bool isUriListType(const NSPasteboardType& type) { return type == NSFilenamesPboardType; }
bool isTextType(const NSPasteboardType& type) { return type == NSPasteboardTypeString || type == "text/plain"; }
}  // namespace

std::shared_ptr<NSPasteboardItem> NSPasteboardItem::make() {
  return std::shared_ptr<NSPasteboardItem>(new NSPasteboardItem());
}

NSPasteboardItem::Entry* NSPasteboardItem::find(const NSPasteboardType& type) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.type == type; });
  return it == entries_.end() ? nullptr : &*it;
}

const NSPasteboardItem::Entry* NSPasteboardItem::find(const NSPasteboardType& type) const {
  return const_cast<NSPasteboardItem*>(this)->find(type);
}

NSPasteboardItem::Entry& NSPasteboardItem::entry(const NSPasteboardType& type) {
  if (auto* existing = find(type)) return *existing;
  Entry made;
  made.type = type;
  entries_.push_back(std::move(made));
  return entries_.back();
}

std::vector<NSPasteboardType> NSPasteboardItem::types() const {
  std::vector<NSPasteboardType> out;
  for (const auto& e : entries_) out.push_back(e.type);
  return out;
}

std::optional<NSPasteboardType> NSPasteboardItem::availableTypeFromArray(const std::vector<NSPasteboardType>& types) const {
  for (const auto& type : types) {
    if (find(type)) return type;
  }
  return std::nullopt;
}

void NSPasteboardItem::declare(const NSPasteboardType& type) { entry(type); }

bool NSPasteboardItem::store(const std::shared_ptr<NSData>& data, const NSPasteboardType& type) {
  if (!data || type.empty()) return false;
  Entry& e = entry(type);
  e.data = data;
  e.state = State::present;
  e.provider.reset();
  return true;
}

bool NSPasteboardItem::setData(const std::shared_ptr<NSData>& data, const NSPasteboardType& type) {
  return store(data, type);
}

bool NSPasteboardItem::setString(std::string_view string, const NSPasteboardType& type) {
  return store(NSData::fromString(string), type);
}

bool NSPasteboardItem::setPropertyList(const std::shared_ptr<NSObject>& propertyList, const NSPasteboardType& type) {
  if (isUriListType(type)) {
    auto list = asA<NSArray>(propertyList);
    if (!list) return false;
    std::vector<std::string> paths;
    for (const auto& value : *list) {
      auto path = asA<NSString>(value);
      if (!path || path->string().empty()) return false;
      paths.push_back(path->string());
    }
    return setString(PasteboardCoding::uriListFromPaths(paths), type);
  }
  if (isTextType(type)) {
    auto text = asA<NSString>(propertyList);
    return text && setString(text->string(), type);
  }
  auto bytes = NSPropertyListSerialization::dataWithPropertyList(propertyList,
                                                                 NSPropertyListFormat::NSPropertyListXMLFormat_v1_0);
  return bytes && store(*bytes, type);
}

bool NSPasteboardItem::setDataProvider(const std::shared_ptr<NSPasteboardItemDataProvider>& provider,
                                       const std::vector<NSPasteboardType>& types) {
  if (!provider || types.empty()) return false;
  for (const auto& type : types) {
    if (type.empty()) return false;
  }
  for (const auto& type : types) {
    Entry& e = entry(type);
    e.state = State::promised;
    e.data.reset();
    e.provider = provider;
  }
  return true;
}

std::shared_ptr<NSData> NSPasteboardItem::resolve(const NSPasteboardType& type) {
  Entry* e = find(type);
  if (!e) return nullptr;
  if (e->state == State::promised) {
    // A provider that reads its own type back while it writes it gets nothing, not itself.
    if (providing_ == type) return nullptr;
    auto provider = e->provider;
    e->state = State::asked;  // asked once, whatever happens below
    auto self = sharedAs<NSPasteboardItem>();
    auto pasteboard = pasteboard_.lock();
    auto previous = providing_;
    providing_ = type;
    std::weak_ptr<NSPasteboardItem> previousItem;
    if (pasteboard) {
      previousItem = pasteboard->providing_;
      pasteboard->providing_ = self;
    }
    bool failed = false;
    try {
      provider->pasteboard(pasteboard, self, type);
    } catch (...) {
      failed = true;
    }
    providing_ = previous;
    if (pasteboard) pasteboard->providing_ = previousItem;
    e = find(type);  // the provider may have added entries
    if (!e) return nullptr;
    // A provider that failed part-way gives nothing rather than half its data.
    if (failed && e->state == State::present) {
      e->state = State::asked;
      e->data.reset();
    }
    e->provider.reset();
  }
  return e->state == State::present ? e->data : nullptr;
}

std::shared_ptr<NSData> NSPasteboardItem::dataForType(const NSPasteboardType& type) { return resolve(type); }

std::optional<std::string> NSPasteboardItem::stringForType(const NSPasteboardType& type) {
  auto data = resolve(type);
  if (!data || !PasteboardCoding::isValidUtf8(data->view())) return std::nullopt;
  return data->string();
}

std::shared_ptr<NSObject> NSPasteboardItem::propertyListForType(const NSPasteboardType& type) {
  auto data = resolve(type);
  if (!data) return nullptr;
  if (isUriListType(type)) {
    auto paths = PasteboardCoding::pathsFromUriList(data->view());
    if (!paths) return nullptr;
    std::vector<id> values;
    for (auto& path : *paths) values.push_back(NSString::make(std::move(path)));
    return NSArray::make(std::move(values));
  }
  if (isTextType(type)) {
    if (!PasteboardCoding::isValidUtf8(data->view())) return nullptr;
    return NSString::make(data->string());
  }
  auto value = NSPropertyListSerialization::propertyListWithData(data);
  return value ? *value : nullptr;
}
