// Opening web addresses (only http and https reach the opener; without a desktop nothing
// opens them; a page nothing could open is told in an alert) and the open panel's rules
// over a presenter's answers.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/appkit/NSAlert.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/DispatchQueue.h"
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

TEST_F(WorkspaceTest, WithoutADesktopNothingOpensAndOneLineSaysSo) {
  NSWorkspace::sharedWorkspace()->setOpener(nullptr);
  EXPECT_FALSE(NSWorkspace::sharedWorkspace()->openURL(NSURL::URLWithString("https://zolto.example/about")));
  EXPECT_TRUE(printed(std::string(NSWorkspace::Constants::noDesktopLine)));
  EXPECT_FALSE(NSApplication::sharedApplication()->modalWindow()) << "no user to answer an alert";
}

TEST_F(WorkspaceTest, APageNothingCouldOpenIsToldInAnAlert) {
  std::vector<std::string> texts;
  // Queued first, it finds no alert yet and looks again on the next turn, which the alert's
  // modal loop runs.
  int looks = 0;
  std::function<void()> answer = [&] {
    auto modal = NSApplication::sharedApplication()->modalWindow();
    if (!modal) {
      if (++looks < 3) DispatchQueue::main()->async(answer);
      return;
    }
    texts.push_back(modal->title);
    for (const auto& view : modal->contentView()->subviews()) {
      if (auto label = asA<NSTextField>(view)) texts.push_back(label->stringValue());
    }
    for (const auto& view : modal->contentView()->subviews()) {
      if (auto button = asA<NSButton>(view)) ui.click(button);
    }
  };
  DispatchQueue::main()->async(answer);
  NSWorkspace::sharedWorkspace()->couldNotOpen(NSURL::URLWithString("https://zolto.example/about"), "No browser.");
  EXPECT_FALSE(NSApplication::sharedApplication()->modalWindow()) << "put up from the main queue, not in the caller";
  drainMainQueue();
  EXPECT_EQ(texts, (std::vector<std::string>{"The page could not be opened", "The page could not be opened",
                                             "No browser.\nhttps://zolto.example/about"}));
  EXPECT_FALSE(NSApplication::sharedApplication()->modalWindow()) << "its OK ended it";
  EXPECT_TRUE(printed("The page could not be opened: No browser."));
}

TEST_F(WorkspaceTest, AnOpenPanelKeepsToItsRules) {
  auto gifs = home() / "gifs";
  std::filesystem::create_directories(gifs / "folder.gif");
  for (const char* name : {"a.gif", "B.GIF", "c.png"}) std::ofstream(gifs / name) << "GIF89a";
  auto at = [&](const char* name) { return (gifs / name).string(); };

  // What the rules turn away is kept for the caller to name: a typed path of a file that is
  // not there comes back from a desktop's chooser as any other.
  struct Case {
    bool several;
    std::optional<std::vector<std::string>> answer;
    NSModalResponse response;
    std::vector<std::string> chosen;
    std::vector<std::string> refused;
  };
  const Case table[] = {
      {true, std::vector<std::string>{at("a.gif"), at("B.GIF")}, NSModalResponseOK, {"a.gif", "B.GIF"}, {}},
      {true, std::vector<std::string>{at("c.png"), at("folder.gif"), at("gone.gif"), at("a.gif")}, NSModalResponseOK,
       {"a.gif"}, {"c.png", "folder.gif", "gone.gif"}},
      {false, std::vector<std::string>{at("a.gif"), at("B.GIF")}, NSModalResponseOK, {"a.gif"}, {}},
      {true, std::vector<std::string>{at("c.png")}, NSModalResponseCancel, {}, {"c.png"}},
      {false, std::vector<std::string>{at("gone.gif")}, NSModalResponseCancel, {}, {"gone.gif"}},
      {true, std::nullopt, NSModalResponseCancel, {}, {}},
  };
  for (const auto& row : table) {
    auto panel = NSOpenPanel::openPanel();
    panel->canChooseFiles = true;
    panel->canChooseDirectories = false;
    panel->allowsMultipleSelection = row.several;
    panel->allowedFileTypes = {"gif"};
    ui.scriptOpenPanel(row.answer);
    EXPECT_EQ(panel->runModal(), row.response);
    std::vector<std::string> chosen, refused;
    for (const auto& url : panel->URLs()) chosen.push_back(url->lastPathComponent());
    for (const auto& url : panel->refusedURLs()) refused.push_back(url->lastPathComponent());
    EXPECT_EQ(chosen, row.chosen);
    EXPECT_EQ(refused, row.refused);
  }
  EXPECT_EQ(ui.openPanelRuns, (std::vector<std::string>{"files several .gif -> 2", "files several .gif -> 4",
                                                        "files .gif -> 2", "files several .gif -> 1",
                                                        "files .gif -> 1", "files several .gif -> cancel"}));
  NSOpenPanel::setPresenter(nullptr);
  EXPECT_EQ(NSOpenPanel::openPanel()->runModal(), NSModalResponseCancel) << "headless: nobody to choose";
}

}  // namespace
