#pragma once
// One item of a pasteboard: the same content in several types. Each type holds data now,
// or is promised by a data provider that is asked for it the first time a reader wants
// that type (and never again: what it wrote, or that it wrote nothing, is kept).
//
// Types are the MIME types a Linux desktop uses (see NSPasteboard.h), so what an item
// holds can cross to the desktop clipboard or a drag between applications unchanged.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSObject.h"

class NSPasteboard;
class NSPasteboardItem;

using NSPasteboardType = std::string;

// Supplies an item's data on demand. It writes with setData/setString on the item or on
// the pasteboard it is given; both land in the item being asked. A provider that writes
// nothing, or throws, leaves the type without data.
class NSPasteboardItemDataProvider {
 public:
  virtual ~NSPasteboardItemDataProvider() = default;
  // `pasteboard` is empty when the item is read before it was written to a pasteboard.
  virtual void pasteboard(const std::shared_ptr<NSPasteboard>& pasteboard,
                          const std::shared_ptr<NSPasteboardItem>& item, const NSPasteboardType& provideDataForType) = 0;
};

class NSPasteboardItem : public NSObject {
 public:
  static std::shared_ptr<NSPasteboardItem> make();

  // The types offered, with data or promised, in the order they were first set.
  std::vector<NSPasteboardType> types() const;
  // The first of `types` that the item offers.
  std::optional<NSPasteboardType> availableTypeFromArray(const std::vector<NSPasteboardType>& types) const;

  bool setData(const std::shared_ptr<NSData>& data, const NSPasteboardType& type);
  bool setString(std::string_view string, const NSPasteboardType& type);
  // A list of file paths for the file-list type (written as a URI list); a text for the
  // text type; any other property list is written as XML. False when the value does not fit.
  bool setPropertyList(const std::shared_ptr<NSObject>& propertyList, const NSPasteboardType& type);
  // Promises the types; the provider is held until the item goes.
  bool setDataProvider(const std::shared_ptr<NSPasteboardItemDataProvider>& provider,
                       const std::vector<NSPasteboardType>& types);

  // Empty when the type is not offered or its provider supplied nothing.
  std::shared_ptr<NSData> dataForType(const NSPasteboardType& type);
  // The data as text when it is UTF-8.
  std::optional<std::string> stringForType(const NSPasteboardType& type);
  // The file-list type reads as a list of path texts (file URIs only); the text type as a
  // text; others parse as a property list. Empty when the data does not read so.
  std::shared_ptr<NSObject> propertyListForType(const NSPasteboardType& type);

  std::string className() const override { return "NSPasteboardItem"; }

 private:
  friend class NSPasteboard;
  NSPasteboardItem() = default;

  enum class State { declared, promised, asked, present };
  struct Entry {
    NSPasteboardType type;
    State state = State::declared;
    std::shared_ptr<NSData> data;
    std::shared_ptr<NSPasteboardItemDataProvider> provider;
  };
  Entry* find(const NSPasteboardType& type);
  const Entry* find(const NSPasteboardType& type) const;
  Entry& entry(const NSPasteboardType& type);
  // Stores data for a type; during a provider's call for that type the write is what it supplies.
  bool store(const std::shared_ptr<NSData>& data, const NSPasteboardType& type);
  void declare(const NSPasteboardType& type);
  // The data of the type, asking its provider first when it is still promised.
  std::shared_ptr<NSData> resolve(const NSPasteboardType& type);

  std::vector<Entry> entries_;
  std::weak_ptr<NSPasteboard> pasteboard_;
  std::optional<NSPasteboardType> providing_;
};

// How values of the desktop's types are written as bytes.
namespace PasteboardCoding {
bool isValidUtf8(std::string_view text);
// A URI list (RFC 2483): one URI a line, CR LF line ends, "#" comment lines.
std::string uriListFromPaths(const std::vector<std::string>& paths);
// The local paths of the list's file URIs; none when the bytes are not a text URI list.
std::optional<std::vector<std::string>> pathsFromUriList(std::string_view list);
}  // namespace PasteboardCoding
