// The licence page against licence lists written into a resources folder of the test's
// own: what the list's parser keeps, the page's text and view tree, and its close button;
// and the list the build makes, which has a text for every library the program links.

#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string_view>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/LicenseParser.h"
#include "app/LicensesViewController.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/foundation/NSBundle.h"
#include "platform/quartz/CALayer.h"
#include "platform/render/TextLayout.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXView.h"
#include "platform/appkit/NSColor.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

std::string plistOf(const std::string& root) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + root + "</plist>\n";
}

std::string entry(const std::string& body) { return "<dict>" + body + "</dict>"; }

const std::string separator = std::string(LicensesViewController::Constants::licenseSeparator);

class LicensesTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    resources = home() / "resources";
    std::filesystem::create_directories(resources);
    setenv("GLIMDECK_RESOURCES_DIR", resources.c_str(), 1);
    NSBundle::resetMainBundle();
  }
  void TearDown() override {
    unsetenv("GLIMDECK_RESOURCES_DIR");
    NSBundle::resetMainBundle();
    UITest::TearDown();
  }
  void writeList(const std::string& contents) {
    std::ofstream(resources / "Licenses.plist", std::ios::binary) << contents;
  }
  std::filesystem::path resources;
};

struct ParseCase {
  const char* what;
  std::optional<std::string> file;  // none: no licence list at all
  std::optional<std::vector<License>> expected;
};

TEST_F(LicensesTest, TheParserKeepsNamedEntriesOfAnArrayOfDictionaries) {
  const std::vector<ParseCase> cases = {
      {"two entries in file order",
       plistOf("<array>" + entry("<key>libraryName</key><string>One</string><key>licenseText</key><string>T1</string>") +
               entry("<key>libraryName</key><string>Two</string><key>licenseText</key><string>T2</string>") + "</array>"),
       std::vector<License>{{"One", "T1"}, {"Two", "T2"}}},
      {"no text, a text that is not a string, other keys ignored",
       plistOf("<array>" + entry("<key>libraryName</key><string>Bare</string><key>url</key><string>x</string>") +
               entry("<key>libraryName</key><string>Num</string><key>licenseText</key><integer>3</integer>") + "</array>"),
       std::vector<License>{{"Bare", std::nullopt}, {"Num", std::nullopt}}},
      {"entries without a string name are left out",
       plistOf("<array>" + entry("<key>licenseText</key><string>orphan</string>") +
               entry("<key>libraryName</key><integer>1</integer>") +
               entry("<key>libraryName</key><string>Kept</string>") + "</array>"),
       std::vector<License>{{"Kept", std::nullopt}}},
      {"an empty array", plistOf("<array/>"), std::vector<License>{}},
      {"a dictionary at the root", plistOf(entry("<key>libraryName</key><string>One</string>")), std::nullopt},
      {"an element that is not a dictionary",
       plistOf("<array>" + entry("<key>libraryName</key><string>One</string>") + "<string>Two</string></array>"),
       std::nullopt},
      {"bytes that are no property list", std::string("\x89PNG\r\n\x1a\n garbage"), std::nullopt},
      {"a truncated list", plistOf("<array>").substr(0, 60), std::nullopt},
      {"no file", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(resources / "Licenses.plist");
    if (c.file) writeList(*c.file);
    NSBundle::resetMainBundle();
    EXPECT_EQ(LicenseParser::parse(), c.expected) << c.what;
  }
}

TEST_F(LicensesTest, ThePageJoinsEveryLicenceWithItsSeparatorAndClosesThroughItsDelegate) {
  writeList(plistOf("<array>" +
                    entry("<key>libraryName</key><string>One</string><key>licenseText</key><string>Text one</string>") +
                    entry("<key>libraryName</key><string>Two</string>") + "</array>"));
  auto page = LicensesViewController::make();
  struct Listener : LicensesViewControllerDelegate {
    int closes = 0;
    void licensesInterfaceDidRequestClose() override { ++closes; }
  };
  auto listener = std::make_shared<Listener>();
  page->delegate = listener;
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 480), 0);
  window->setContentView(page->view());
  window->makeKeyAndOrderFront(nullptr);

  auto text = page->licensesTextView.lock();
  ASSERT_TRUE(text);
  EXPECT_EQ(text->string(), "One\nText one" + separator + "Two\n" + separator);
  EXPECT_EQ(text->font()->fontName(), "AvenirNext-Regular");
  EXPECT_DUMP(dumpViewTree(page->view()), "app/expected/licenses-page.txt");
  auto box = page->containerView.lock();
  ASSERT_TRUE(box && box->layer());
  EXPECT_EQ(box->layer()->cornerRadius(), 3.0);
  auto background = convenientBackgroundColor(*box);
  ASSERT_TRUE(background);
  EXPECT_TRUE(background->isEqual(NSColor::whiteColor()));
  // Over the panel, as the other overlays: dimmed around a card that holds the Close button.
  auto backdrop = convenientBackgroundColor(*page->view());
  ASSERT_TRUE(backdrop) << "the panel shows through undimmed";
  EXPECT_TRUE(backdrop->isEqual(NSColor::colorWithWhite(0, 0.4)));
  EXPECT_EQ(page->closeButton.lock()->superview(), box);

  ui.click(page->closeButton.lock());
  EXPECT_EQ(listener->closes, 1);
  listener.reset();
  ui.click(page->closeButton.lock());  // a page whose listener is gone closes nothing
}

TEST_F(LicensesTest, AListThatCannotBeReadGivesAnEmptyPage) {
  writeList(plistOf(entry("<key>libraryName</key><string>One</string>")));
  auto page = LicensesViewController::make();
  page->view();
  EXPECT_EQ(page->licensesTextView.lock()->string(), "");
}

TEST_F(LicensesTest, ALongListOpensLayingOutOnlyWhatItShowsAndTakesItsWholeHeightInTheBackground) {
  // Some 3,600 lines of 60 characters: the page shows about twenty-five of them.
  std::string entries;
  for (int n = 0; n < 60; ++n) {
    std::string body;
    for (int line = 0; line < 58; ++line) body += "Licence " + std::to_string(n) + " line " + std::string(44, 'x') + "\n";
    entries += entry("<key>libraryName</key><string>Library " + std::to_string(n) + "</string><key>licenseText</key><string>" +
                     body + "</string>");
  }
  writeList(plistOf("<array>" + entries + "</array>"));
  const std::uint64_t before = TextLayout::bytesLaidOutOnThisThread();
  auto page = LicensesViewController::make();
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 480), 0);
  window->setContentView(page->view());
  window->makeKeyAndOrderFront(nullptr);
  ASSERT_TRUE(ViewTreeRenderer::imageOfWindow(window));
  const std::uint64_t laidOut = TextLayout::bytesLaidOutOnThisThread() - before;

  auto text = page->licensesTextView.lock();
  ASSERT_TRUE(text);
  const std::size_t length = text->string().size();
  ASSERT_GT(length, 200'000u);
  // Opening and drawing the first screenful lays out at most the blocks of 128 lines it
  // meets, once to measure and once to draw: not the text.
  const std::uint64_t screenful = 4u * 128 * 61;
  EXPECT_LT(laidOut, screenful) << "of " << length;

  // Meanwhile the page is as high as the text is estimated to be; once the background has
  // laid it all out, exactly as high as the text laid out whole.
  const double width = text->frame().size.width;
  const std::uint64_t beforeWhole = TextLayout::bytesLaidOutOnThisThread();
  auto same = NSTextView::initWithFrame(NSMakeRect(0, 0, width, 10));
  same->setString(text->string());
  same->setFont(text->font());
  const double exact = std::ceil(same->textSizeInWidth(width).height);
  const std::uint64_t whole = TextLayout::bytesLaidOutOnThisThread() - beforeWhole;
  EXPECT_NEAR(text->frame().size.height, exact, exact * 0.05) << "the estimate";
  EXPECT_TRUE(runUntil([&] { return text->frame().size.height == exact; })) << text->frame().size.height << " " << exact;
  // Redrawn in the window at its full height, it still lays out only what shows.
  window->display();
  EXPECT_LT(TextLayout::bytesLaidOutOnThisThread() - before - whole, 2 * screenful);
}

// The shared libraries an ELF program names as needed, read from its dynamic section.
std::vector<std::string> neededLibraries(const std::filesystem::path& program) {
  std::ifstream in(program, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> needed;
  if (bytes.size() < sizeof(Elf64_Ehdr) || bytes.compare(0, SELFMAG, ELFMAG) != 0) return needed;
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof header);
  auto section = [&](std::size_t index) {
    Elf64_Shdr entry;
    std::memcpy(&entry, bytes.data() + header.e_shoff + index * header.e_shentsize, sizeof entry);
    return entry;
  };
  for (std::size_t i = 0; i < header.e_shnum; ++i) {
    const Elf64_Shdr dynamic = section(i);
    if (dynamic.sh_type != SHT_DYNAMIC) continue;
    const Elf64_Shdr strings = section(dynamic.sh_link);
    for (std::size_t at = 0; at + sizeof(Elf64_Dyn) <= dynamic.sh_size; at += sizeof(Elf64_Dyn)) {
      Elf64_Dyn entry;
      std::memcpy(&entry, bytes.data() + dynamic.sh_offset + at, sizeof entry);
      if (entry.d_tag == DT_NEEDED) needed.emplace_back(bytes.data() + strings.sh_offset + entry.d_un.d_val);
    }
  }
  return needed;
}

TEST_F(LicensesTest, TheShippedListHasATextForEveryLibraryTheProgramLinks) {
  unsetenv("GLIMDECK_RESOURCES_DIR");
  NSBundle::resetMainBundle();
  auto licenses = LicenseParser::parse();
  ASSERT_TRUE(licenses);
  const auto needed = neededLibraries(GLIMDECK_EXECUTABLE);
  ASSERT_GT(needed.size(), 10u) << GLIMDECK_EXECUTABLE;
  for (const auto& library : needed) {
    // Named in its entry's title, beside the package that ships it ("libx11-6 (libX11.so.6)").
    auto entry = std::ranges::find_if(*licenses, [&](const License& license) {
      const auto& name = license.libraryName;
      auto at = name.find(library);
      return at != std::string::npos && (at == 0 || std::string_view(" (,").find(name[at - 1]) != std::string_view::npos);
    });
    ASSERT_NE(entry, licenses->end()) << library;
    EXPECT_TRUE(entry->licenseText && entry->licenseText->size() > 100) << library;
  }
  std::vector<std::string> names;
  for (const auto& license : *licenses) names.push_back(license.libraryName);
  for (const char* expected : {"fonts-lato (used at run time)", "LGPL-2.1", "GPL-2"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  }
  // The libraries the program opens itself, on the first movie or transfer, are listed too.
  for (const char* opened : {"libavformat.so.", "libavcodec.so.", "libswscale.so.", "libavutil.so.", "libcurl.so."}) {
    EXPECT_TRUE(std::ranges::any_of(names, [&](const std::string& name) { return name.find(opened) != std::string::npos; }))
        << opened;
  }
  // Every common licence an entry refers to is there in full.
  for (const auto& license : *licenses) {
    const std::string& text = license.licenseText.value_or("");
    const std::string folder = "/usr/share/common-licenses/";
    for (auto at = text.find(folder); at != std::string::npos; at = text.find(folder, at + 1)) {
      auto end = text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.+_-", at + folder.size());
      std::string file = text.substr(at, end - at);
      while (!file.empty() && file.back() == '.') file.pop_back();
      if (!std::filesystem::exists(file)) continue;
      auto named = std::filesystem::canonical(file).filename().string();
      EXPECT_NE(std::find(names.begin(), names.end(), named), names.end()) << named << " of " << license.libraryName;
    }
  }
}

// FFmpeg and the codec libraries it brings are opened on the first movie, and libcurl with
// its TLS and other libraries on the first transfer (on the network thread), not loaded with
// the program: a launch never waits for them.
TEST(ProgramLinkTest, TheProgramStartsWithoutTheMovieAndNetworkLibraries) {
  const auto needed = neededLibraries(GLIMDECK_EXECUTABLE);
  ASSERT_GT(needed.size(), 10u) << GLIMDECK_EXECUTABLE;
  for (const auto& library : needed) {
    for (std::string_view opened : {"libavformat", "libavcodec", "libswscale", "libavutil", "libcurl"}) {
      EXPECT_FALSE(library.starts_with(opened)) << library;
    }
  }
}

}  // namespace
