// The general pasteboard as the X clipboard, read and written by xclip as any other
// program would: a copied GIF is produced only when pasted and arrives byte for byte
// (large enough to cross in increments); another program's text pastes into our field.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSWindow.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

// A GIF's bytes: the signature and then more than one X request can carry at once.
std::vector<std::uint8_t> largeGif() {
  std::vector<std::uint8_t> bytes = {'G', 'I', 'F', '8', '9', 'a'};
  std::uint32_t state = 12345;
  for (int i = 0; i < 400'000; ++i) {
    state = state * 1103515245u + 12345u;
    bytes.push_back(static_cast<std::uint8_t>(state >> 16));
  }
  return bytes;
}

class CountingProvider : public NSPasteboardItemDataProvider {
 public:
  std::map<NSPasteboardType, int> asked;
  std::vector<std::uint8_t> gif = largeGif();
  void pasteboard(const std::shared_ptr<NSPasteboard>&, const std::shared_ptr<NSPasteboardItem>& item,
                  const NSPasteboardType& type) override {
    ++asked[type];
    if (type == kUTTypeGIF) item->setData(NSData::make(gif), type);
    if (type == kUTTypeFileURL) item->setString("file:///tmp/glimdeck/dancing%20cat.gif\r\n", type);
    if (type == NSPasteboardTypeString) item->setString("https://zolto.example/view/dancing-cat-17", type);
  }
};

class HostClipboardTest : public HostTest {};

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(HostClipboardTest, ACopiedGifIsMadeOnlyWhenPastedAndReadsBackByteForByte) {
  auto provider = std::make_shared<CountingProvider>();
  auto item = NSPasteboardItem::make();
  item->setDataProvider(provider, {kUTTypeGIF, kUTTypeFileURL, NSPasteboardTypeString});
  auto pasteboard = NSPasteboard::generalPasteboard();
  pasteboard->clearContents();
  ASSERT_TRUE(pasteboard->writeObjects({item}));

  auto targets = run({"xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"});
  ASSERT_EQ(targets.status, 0);
  auto offered = linesOf(targets.output);
  for (const char* expected : {"image/gif", "text/uri-list", "UTF8_STRING", "STRING", "TEXT", "text/plain;charset=utf-8"}) {
    EXPECT_NE(std::ranges::find(offered, expected), offered.end()) << expected << " in " << targets.output;
  }
  EXPECT_TRUE(provider->asked.empty()) << "listing the types makes nothing";

  auto gif = run({"xclip", "-selection", "clipboard", "-o", "-t", "image/gif"});
  ASSERT_EQ(gif.status, 0);
  EXPECT_EQ(gif.output.size(), provider->gif.size());
  EXPECT_TRUE(std::vector<std::uint8_t>(gif.output.begin(), gif.output.end()) == provider->gif)
      << "the GIF arrives byte for byte";
  EXPECT_EQ(provider->asked[kUTTypeGIF], 1);

  EXPECT_EQ(run({"xclip", "-selection", "clipboard", "-o", "-t", "text/uri-list"}).output,
            "file:///tmp/glimdeck/dancing%20cat.gif\r\n");
  EXPECT_EQ(run({"xclip", "-selection", "clipboard", "-o", "-t", "UTF8_STRING"}).output,
            "https://zolto.example/view/dancing-cat-17");
  EXPECT_EQ(run({"xclip", "-selection", "clipboard", "-o", "-t", "image/gif"}).output.size(), provider->gif.size());
  EXPECT_EQ(provider->asked[kUTTypeGIF], 1) << "a lazy type is made once";
}

TEST_F(HostClipboardTest, TextTravelsBetweenTheDesktopAndOurField) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(100, 300, 300, 60), NSWindowStyleMaskTitled);
  auto field = NSTextField::textFieldWithString("");
  field->setFrame(NSMakeRect(10, 18, 280, 24));
  window->contentView()->addSubview(field);
  showAndWait(window);

  auto file = home() / "copied.txt";
  std::ofstream(file) << "words from élsewhere";
  auto pasteboard = NSPasteboard::generalPasteboard();
  long before = pasteboard->changeCount();
  ASSERT_EQ(run({"xclip", "-selection", "clipboard", "-i", file.string()}).status, 0);
  ASSERT_TRUE(runUntil([&] { return pasteboard->changeCount() != before && !pasteboard->types().empty(); }))
      << "another program's copy reaches the pasteboard";
  EXPECT_EQ(pasteboard->types(), std::vector<NSPasteboardType>{NSPasteboardTypeString});

  clickAt(window, {150, 30});
  ASSERT_TRUE(runUntil([&] { return field->isEditing(); }));
  run({"xdotool", "key", "ctrl+v"});
  EXPECT_TRUE(runUntil([&] { return field->currentEditor()->string() == "words from élsewhere"; }))
      << field->currentEditor()->string();

  // And back: the field's selection copied with Control-C is what xclip pastes.
  run({"xdotool", "key", "ctrl+a", "ctrl+c"});
  ASSERT_TRUE(runUntil([&] { return pasteboard->stringForType(NSPasteboardTypeString) == "words from élsewhere"; }));
  EXPECT_EQ(run({"xclip", "-selection", "clipboard", "-o"}).output, "words from élsewhere");
}

}  // namespace
