// Opening web addresses (only http and https reach the opener; the default opener starts
// xdg-open without a shell) and the open panel's rules over a presenter's answers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

#include "platform/appkit/NSOpenPanel.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/NSURL.h"
#include "tests/support/UISimulator.h"

namespace {

class WorkspaceTest : public UITest {};

TEST_F(WorkspaceTest, OnlyWebAddressesWithAHostAreOpened) {
  const std::pair<const char*, bool> table[] = {
      {"https://zolto.example/legal-terms", true},
      {"http://zolto.example/", true},
      {"HTTPS://zolto.example/a?b=c#d", true},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
      {"JavaScript://zolto.example/%0aalert(1)", false},
      {"data:text/html,hi", false},
      {"ftp://zolto.example/x", false},
      {"mailto:a@zolto.example", false},
      {"http:/no-host", false},
      {"zolto.example/relative", false},
  };
  auto workspace = NSWorkspace::sharedWorkspace();
  std::vector<std::string> expected;
  for (auto& [text, opens] : table) {
    auto url = NSURL::URLWithString(text);
    ASSERT_TRUE(url) << text;
    EXPECT_EQ(workspace->openURL(url), opens) << text;
    if (opens) expected.push_back(url->absoluteString());
  }
  EXPECT_FALSE(workspace->openURL(nullptr));
  EXPECT_EQ(ui.openedURLs, expected);
}

TEST_F(WorkspaceTest, TheDefaultOpenerHandsTheAddressToXdgOpenAsOneArgument) {
  // A stand-in xdg-open early on the PATH writes down the arguments it got.
  auto bin = home() / "bin";
  std::filesystem::create_directories(bin);
  auto record = home() / "opened.txt";
  {
    std::ofstream script(bin / "xdg-open");
    script << "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" << record.string() << ".part'\nmv '" << record.string()
           << ".part' '" << record.string() << "'\n";
  }
  ::chmod((bin / "xdg-open").c_str(), 0755);
  std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);

  NSWorkspace::sharedWorkspace()->setOpener(nullptr);
  auto url = NSURL::URLWithString("https://zolto.example/a;b&c$(touch%20x)'q'");
  ASSERT_TRUE(url);
  EXPECT_TRUE(NSWorkspace::sharedWorkspace()->openURL(url));
  EXPECT_TRUE(runUntil([&] { return std::filesystem::exists(record); }, 30));
  ::setenv("PATH", oldPath.c_str(), 1);
  std::ifstream in(record);
  std::string got((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(got, "1|" + url->absoluteString() + "|");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / "x")) << "no shell ran the address";
}

TEST_F(WorkspaceTest, AnOpenPanelKeepsToItsRules) {
  auto gifs = home() / "gifs";
  std::filesystem::create_directories(gifs / "folder.gif");
  for (const char* name : {"a.gif", "B.GIF", "c.png"}) std::ofstream(gifs / name) << "GIF89a";
  auto at = [&](const char* name) { return (gifs / name).string(); };

  struct Case {
    bool several;
    std::optional<std::vector<std::string>> answer;
    NSModalResponse response;
    std::vector<std::string> chosen;
  };
  const Case table[] = {
      {true, std::vector<std::string>{at("a.gif"), at("B.GIF")}, NSModalResponseOK, {"a.gif", "B.GIF"}},
      {true, std::vector<std::string>{at("c.png"), at("folder.gif"), at("gone.gif"), at("a.gif")}, NSModalResponseOK,
       {"a.gif"}},
      {false, std::vector<std::string>{at("a.gif"), at("B.GIF")}, NSModalResponseOK, {"a.gif"}},
      {true, std::vector<std::string>{at("c.png")}, NSModalResponseCancel, {}},
      {true, std::nullopt, NSModalResponseCancel, {}},
  };
  for (const auto& row : table) {
    auto panel = NSOpenPanel::openPanel();
    panel->canChooseFiles = true;
    panel->canChooseDirectories = false;
    panel->allowsMultipleSelection = row.several;
    panel->allowedFileTypes = {"gif"};
    ui.scriptOpenPanel(row.answer);
    EXPECT_EQ(panel->runModal(), row.response);
    std::vector<std::string> chosen;
    for (const auto& url : panel->URLs()) chosen.push_back(url->lastPathComponent());
    EXPECT_EQ(chosen, row.chosen);
  }
  EXPECT_EQ(ui.openPanelRuns, (std::vector<std::string>{"files several .gif -> 2", "files several .gif -> 4",
                                                        "files .gif -> 2", "files several .gif -> 1",
                                                        "files several .gif -> cancel"}));
  NSOpenPanel::setPresenter(nullptr);
  EXPECT_EQ(NSOpenPanel::openPanel()->runModal(), NSModalResponseCancel) << "headless: nobody to choose";
}

}  // namespace
