#pragma once
// The pasteboards of the application: the general one (copy and paste), the one a drag
// carries, and any named one. A pasteboard holds items (NSPasteboardItem); reading a type
// answers the first item that offers it, asking a lazy provider only then, once.
//
// Type names are the MIME types of the Linux desktop, so a desktop host carries them as
// they are. Several of the platform's names share one MIME type: a file URL, a list of
// file names and a URL all travel as "text/uri-list"; reading the file-name type as a
// property list gives the local paths of the list's file URIs.
//
// Headless, nothing leaves the process. A desktop host connects the general pasteboard
// to the desktop clipboard through two doors:
//   1. It observes the application's writes (addObserver): after every change the
//      application makes (clear, declare, write), pasteboardDidChange runs; the host then
//      advertises types() to the desktop and, when another program asks, pulls one type
//      with dataForType() (a lazy provider is asked at that moment, once per type).
//   2. It installs what the desktop clipboard holds (installForeignContents): items whose
//      data is present, or promised by a provider that fetches it from the desktop when the
//      application reads it. Installing bumps changeCount and tells no observer, so the
//      host never hears its own install back.
// All of it happens on the main thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/appkit/NSPasteboardItem.h"

// Types of data, as the desktop names them.
inline const NSPasteboardType kUTTypeGIF = "image/gif";
inline const NSPasteboardType kUTTypeFileURL = "text/uri-list";
inline const NSPasteboardType kUTTypePlainText = "text/plain;charset=utf-8";
inline const NSPasteboardType NSPasteboardTypeString = "text/plain;charset=utf-8";
inline const NSPasteboardType NSPasteboardTypeFileURL = "text/uri-list";
inline const NSPasteboardType NSPasteboardTypeURL = "text/uri-list";
inline const NSPasteboardType NSFilenamesPboardType = "text/uri-list";
inline const NSPasteboardType NSURLPboardType = "text/uri-list";

using NSPasteboardName = std::string;
inline const NSPasteboardName NSPasteboardNameGeneral = "Apple CFPasteboard general";
inline const NSPasteboardName NSPasteboardNameDrag = "Apple CFPasteboard drag";

class NSPasteboard;

// Told about the application's own changes to a pasteboard (see the top of this file).
class NSPasteboardObserver {
 public:
  virtual ~NSPasteboardObserver() = default;
  virtual void pasteboardDidChange(const std::shared_ptr<NSPasteboard>& pasteboard) = 0;
};

class NSPasteboard : public NSObject {
 public:
  static std::shared_ptr<NSPasteboard> generalPasteboard();
  static std::shared_ptr<NSPasteboard> pasteboardWithName(const NSPasteboardName& name);
  static std::shared_ptr<NSPasteboard> pasteboardWithUniqueName();
  // Forgets every pasteboard and observer (between tests).
  static void resetPasteboards();

  const NSPasteboardName& name() const { return name_; }
  // Grows whenever the contents are replaced (cleared, declared, installed from outside).
  long changeCount() const { return changeCount_; }

  // Writing. clearContents and declareTypes start new contents and answer the new change
  // count; declared types have no data until set. The owner is kept but never asked for
  // data: nothing here declares types it means to supply later.
  long clearContents();
  long declareTypes(const std::vector<NSPasteboardType>& types, const std::shared_ptr<NSObject>& owner);
  // Adds one item per object: a text (NSString), a URL (NSURL, as a URI list) or an
  // NSPasteboardItem. Nothing is written when any object is of another kind.
  bool writeObjects(const std::vector<std::shared_ptr<NSObject>>& objects);
  // Into the first item (one is made when there is none); during a provider's call, into
  // the item being asked.
  bool setData(const std::shared_ptr<NSData>& data, const NSPasteboardType& type);
  bool setString(std::string_view string, const NSPasteboardType& type);
  bool setPropertyList(const std::shared_ptr<NSObject>& propertyList, const NSPasteboardType& type);

  // Reading.
  std::vector<std::shared_ptr<NSPasteboardItem>> pasteboardItems() const { return items_; }
  // Every type some item offers, in item order, each once.
  std::vector<NSPasteboardType> types() const;
  std::optional<NSPasteboardType> availableTypeFromArray(const std::vector<NSPasteboardType>& types) const;
  // From the first item that offers the type and has data for it; empty when none has.
  std::shared_ptr<NSData> dataForType(const NSPasteboardType& type);
  std::optional<std::string> stringForType(const NSPasteboardType& type);
  std::shared_ptr<NSObject> propertyListForType(const NSPasteboardType& type);

  // The desktop host's doors.
  void addObserver(const std::shared_ptr<NSPasteboardObserver>& observer);
  void removeObserver(const std::shared_ptr<NSPasteboardObserver>& observer);
  void installForeignContents(const std::vector<std::shared_ptr<NSPasteboardItem>>& items);

  std::string className() const override { return "NSPasteboard"; }

 private:
  friend class NSPasteboardItem;
  explicit NSPasteboard(NSPasteboardName name) : name_(std::move(name)) {}
  void replaceContents(std::vector<std::shared_ptr<NSPasteboardItem>> items);
  void adopt(const std::shared_ptr<NSPasteboardItem>& item);
  std::shared_ptr<NSPasteboardItem> writableItem();
  void changed();
  bool holds(const NSPasteboardItem& item) const;
  template <typename Read>
  auto firstRead(const NSPasteboardType& type, Read read) -> decltype(read(std::shared_ptr<NSPasteboardItem>()));

  NSPasteboardName name_;
  long changeCount_ = 0;
  std::vector<std::shared_ptr<NSPasteboardItem>> items_;
  std::shared_ptr<NSObject> owner_;
  std::vector<std::weak_ptr<NSPasteboardObserver>> observers_;
  // The item whose provider runs now (writes to the pasteboard go to it).
  std::weak_ptr<NSPasteboardItem> providing_;
};
