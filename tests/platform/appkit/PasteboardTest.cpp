// The pasteboard: types and their desktop names, lazy providers (asked once per type a
// reader wants), bad providers and unoffered types, file lists, and the host's doors.

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "platform/appkit/NSPasteboard.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "tests/support/UISimulator.h"

namespace {

// A provider that answers each type from a table, counting the questions; "throw" throws
// after writing, "none" writes nothing, "clear" empties the pasteboard it is asked for.
class TableProvider : public NSPasteboardItemDataProvider {
 public:
  std::map<std::string, std::string> answers;
  std::map<std::string, int> asked;
  bool writeThroughPasteboard = true;

  void pasteboard(const std::shared_ptr<NSPasteboard>& pasteboard, const std::shared_ptr<NSPasteboardItem>& item,
                  const NSPasteboardType& type) override {
    ++asked[type];
    auto answer = answers.find(type);
    if (answer == answers.end() || answer->second == "none") return;
    if (answer->second == "clear") {
      if (pasteboard) pasteboard->clearContents();
      return;
    }
    if (writeThroughPasteboard && pasteboard) {
      pasteboard->setString(answer->second, type);
    } else {
      item->setString(answer->second, type);
    }
    if (answer->second.starts_with("throw")) throw std::runtime_error("provider failed");
  }
};

class CountingObserver : public NSPasteboardObserver {
 public:
  std::vector<std::vector<NSPasteboardType>> seen;
  void pasteboardDidChange(const std::shared_ptr<NSPasteboard>& pasteboard) override {
    seen.push_back(pasteboard->types());
  }
};

class PasteboardTest : public UITest {};

TEST_F(PasteboardTest, TypesCarryTheDesktopsMimeNames) {
  const std::pair<const NSPasteboardType*, const char*> table[] = {
      {&kUTTypeGIF, "image/gif"},
      {&kUTTypeFileURL, "text/uri-list"},
      {&NSFilenamesPboardType, "text/uri-list"},
      {&NSURLPboardType, "text/uri-list"},
      {&kUTTypePlainText, "text/plain;charset=utf-8"},
      {&NSPasteboardTypeString, "text/plain;charset=utf-8"},
  };
  for (auto& [constant, mime] : table) EXPECT_EQ(*constant, mime);
}

TEST_F(PasteboardTest, ALazyProviderIsAskedOnceForEachTypeThatIsRead) {
  for (bool throughPasteboard : {true, false}) {
    auto provider = std::make_shared<TableProvider>();
    provider->writeThroughPasteboard = throughPasteboard;
    provider->answers = {{kUTTypeGIF, "GIF89a..."}, {kUTTypeFileURL, "file:///tmp/a.gif"},
                         {kUTTypePlainText, "none"}};
    auto board = NSPasteboard::pasteboardWithUniqueName();
    board->clearContents();
    auto item = NSPasteboardItem::make();
    ASSERT_TRUE(item->setDataProvider(provider, {kUTTypeGIF, kUTTypeFileURL, kUTTypePlainText}));
    ASSERT_TRUE(board->writeObjects({item}));
    EXPECT_TRUE(provider->asked.empty()) << "nothing is asked before a reader wants it";
    EXPECT_EQ(board->types(), (std::vector<NSPasteboardType>{"image/gif", "text/uri-list", "text/plain;charset=utf-8"}));

    for (int round = 0; round < 3; ++round) {
      EXPECT_EQ(board->stringForType(kUTTypeFileURL), "file:///tmp/a.gif");
      EXPECT_EQ(board->dataForType(kUTTypeGIF)->string(), "GIF89a...");
      EXPECT_EQ(board->dataForType(kUTTypePlainText), nullptr) << "a provider that writes nothing gives nothing";
    }
    EXPECT_EQ(provider->asked, (std::map<std::string, int>{{"image/gif", 1}, {"text/uri-list", 1},
                                                            {"text/plain;charset=utf-8", 1}}));
  }
}

TEST_F(PasteboardTest, BadProvidersAndUnofferedTypesLeaveThePasteboardConsistent) {
  auto provider = std::make_shared<TableProvider>();
  provider->answers = {{kUTTypeGIF, "throw after writing"}, {kUTTypePlainText, "text"}};
  auto board = NSPasteboard::pasteboardWithUniqueName();
  long count = board->clearContents();
  auto item = NSPasteboardItem::make();
  item->setDataProvider(provider, {kUTTypeGIF, kUTTypePlainText});
  board->writeObjects({item});

  EXPECT_EQ(board->dataForType(kUTTypeGIF), nullptr) << "half-written data of a failed provider is dropped";
  EXPECT_EQ(board->dataForType(kUTTypeGIF), nullptr);
  EXPECT_EQ(board->dataForType("application/x-never-offered"), nullptr);
  EXPECT_EQ(board->stringForType("application/x-never-offered"), std::nullopt);
  EXPECT_EQ(board->propertyListForType(NSFilenamesPboardType), nullptr);
  EXPECT_EQ(board->stringForType(kUTTypePlainText), "text") << "the other types still read";
  EXPECT_EQ(board->types(), (std::vector<NSPasteboardType>{kUTTypeGIF, kUTTypePlainText}));
  EXPECT_EQ(board->changeCount(), count);
  EXPECT_EQ(provider->asked[kUTTypeGIF], 1);
  EXPECT_EQ(provider->asked.count("application/x-never-offered"), 0u);

  // A provider that empties the pasteboard while it is asked.
  provider->answers[kUTTypeFileURL] = "clear";
  auto clearing = NSPasteboardItem::make();
  clearing->setDataProvider(provider, {kUTTypeFileURL});
  board->clearContents();
  board->writeObjects({clearing, NSString::make("kept?")});
  EXPECT_EQ(board->dataForType(kUTTypeFileURL), nullptr);
  EXPECT_TRUE(board->types().empty());
  EXPECT_EQ(board->stringForType(kUTTypePlainText), std::nullopt);
  EXPECT_TRUE(board->setString("after", kUTTypePlainText));
  EXPECT_EQ(board->stringForType(kUTTypePlainText), "after");
}

TEST_F(PasteboardTest, DeclaredTypesAndWrittenObjectsFormItems) {
  auto board = NSPasteboard::generalPasteboard();
  long before = board->changeCount();
  long declared = board->declareTypes({kUTTypeFileURL, kUTTypePlainText}, nullptr);
  EXPECT_GT(declared, before);
  EXPECT_EQ(board->types().size(), 2u);
  EXPECT_EQ(board->dataForType(kUTTypeFileURL), nullptr) << "declared, never written";

  ASSERT_TRUE(board->writeObjects({NSURL::fileURLWithPath("/tmp/a b.gif", false), NSString::make("https://z.example/x")}));
  EXPECT_EQ(board->changeCount(), declared) << "writing adds to the contents; only replacing them counts";
  EXPECT_EQ(board->pasteboardItems().size(), 3u);
  EXPECT_EQ(board->stringForType(kUTTypeFileURL), "file:///tmp/a%20b.gif\r\n");
  EXPECT_EQ(board->stringForType(kUTTypePlainText), "https://z.example/x");
  auto paths = asA<NSArray>(board->propertyListForType(NSFilenamesPboardType));
  ASSERT_TRUE(paths);
  EXPECT_TRUE(paths->isEqual(NSArray::make({NSString::make("/tmp/a b.gif")})));

  EXPECT_FALSE(board->writeObjects({NSString::make("x"), NSNumber::numberWithInteger(3)})) << "all or nothing";
  EXPECT_EQ(board->pasteboardItems().size(), 3u);
  EXPECT_GT(board->clearContents(), declared);
  EXPECT_TRUE(board->types().empty());
}

TEST_F(PasteboardTest, FileListsReadAsPathsOfFileUrisOnly) {
  struct Case {
    std::string bytes;
    std::optional<std::vector<std::string>> paths;
  };
  const Case table[] = {
      {"file:///home/u/a.gif\r\nfile:///home/u/b%20c.gif\r\n", std::vector<std::string>{"/home/u/a.gif", "/home/u/b c.gif"}},
      {"# comment\nfile:///x.gif\nhttps://example.com/y.gif\n", std::vector<std::string>{"/x.gif"}},
      {"", std::vector<std::string>{}},
      {std::string("file:///a\0.gif", 14), std::nullopt},
      {"\xff\xfe binary", std::nullopt},
  };
  for (const auto& row : table) {
    auto board = NSPasteboard::pasteboardWithUniqueName();
    board->clearContents();
    board->setData(NSData::fromString(row.bytes), NSFilenamesPboardType);
    auto list = asA<NSArray>(board->propertyListForType(NSFilenamesPboardType));
    ASSERT_EQ(static_cast<bool>(list), row.paths.has_value()) << row.bytes;
    if (!list) continue;
    std::vector<std::string> read;
    for (auto& value : *list) read.push_back(asA<NSString>(value)->string());
    EXPECT_EQ(read, *row.paths) << row.bytes;
  }

  auto board = NSPasteboard::pasteboardWithUniqueName();
  EXPECT_TRUE(board->setPropertyList(NSArray::make({NSString::make("/tmp/one.gif")}), NSFilenamesPboardType));
  EXPECT_EQ(board->stringForType(NSFilenamesPboardType), "file:///tmp/one.gif\r\n");
  EXPECT_FALSE(board->setPropertyList(NSArray::make({NSNumber::numberWithInteger(1)}), NSFilenamesPboardType));
  auto record = NSDictionary::make({{"k", NSString::make("v")}});
  EXPECT_TRUE(board->setPropertyList(record, "application/x-glimdeck-record"));
  EXPECT_TRUE(objectsEqual(board->propertyListForType("application/x-glimdeck-record"), record));
}

TEST_F(PasteboardTest, AHostSeesTheApplicationsWritesAndInstallsForeignContents) {
  auto board = NSPasteboard::generalPasteboard();
  auto observer = std::make_shared<CountingObserver>();
  board->addObserver(observer);

  auto provider = std::make_shared<TableProvider>();
  provider->answers = {{kUTTypeGIF, "GIF87a"}};
  board->clearContents();
  auto item = NSPasteboardItem::make();
  item->setDataProvider(provider, {kUTTypeGIF});
  board->writeObjects({item});
  board->setString("plain", kUTTypePlainText);
  ASSERT_EQ(observer->seen.size(), 3u);
  EXPECT_EQ(observer->seen[0], std::vector<NSPasteboardType>{});
  EXPECT_EQ(observer->seen[2], (std::vector<NSPasteboardType>{kUTTypeGIF, kUTTypePlainText}));
  EXPECT_EQ(board->dataForType(kUTTypeGIF)->string(), "GIF87a");
  EXPECT_EQ(observer->seen.size(), 3u) << "data a provider hands over on request is no new offer";

  // The desktop clipboard's contents come in, one type fetched only when read.
  long count = board->changeCount();
  auto desktop = std::make_shared<TableProvider>();
  desktop->answers = {{kUTTypePlainText, "from another program"}};
  auto foreign = NSPasteboardItem::make();
  foreign->setDataProvider(desktop, {kUTTypePlainText});
  board->installForeignContents({foreign});
  EXPECT_EQ(board->changeCount(), count + 1);
  EXPECT_EQ(observer->seen.size(), 3u) << "the host does not hear its own install";
  EXPECT_EQ(board->stringForType(kUTTypePlainText), "from another program");
  EXPECT_EQ(board->stringForType(kUTTypePlainText), "from another program");
  EXPECT_EQ(desktop->asked[kUTTypePlainText], 1);
  board->removeObserver(observer);
  board->clearContents();
  EXPECT_EQ(observer->seen.size(), 3u);
}

}  // namespace
