// The application among the desktop's other programs: a GIF dragged out of the panel to
// another program's window (a GTK program of the suite's own, which writes down what
// reaches it) counts as a share only when it was delivered, and a web page that no program
// of the desktop opens is told in an alert.

#include <algorithm>
#include <fstream>

#include "platform/foundation/NSString.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

constexpr std::string_view kSharePath = "/quorb.registerevent/share";
constexpr std::string_view kCouldNotOpen = "The page could not be opened";

class DesktopPeersTest : public DesktopUserTest {
 protected:
  void TearDown() override {
    if (peer_) peer_->stop(10.0);
    peer_.reset();
    DesktopUserTest::TearDown();
  }

  // Starts the drop target at a desktop point and waits until it shows; its X window id.
  std::string startDropTarget(int x, int y) {
    peerRecord_ = home() / "drop-target.txt";
    peer_ = Program::start({GLIMDECK_DROP_TARGET_PATH, peerRecord_.string(), std::to_string(x), std::to_string(y)},
                           {}, home() / "drop-target.log");
    std::string id;
    eventually([&] {
      for (const auto& line : peerLines()) {
        if (line.starts_with("ready ")) id = line.substr(6);
      }
      return !id.empty();
    });
    return id;
  }
  std::vector<std::string> peerLines() const {
    std::ifstream in(peerRecord_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool peerNoted(std::string_view start) const {
    for (const auto& line : peerLines()) {
      if (line.starts_with(start)) return true;
    }
    return false;
  }
  std::string peerRecord() const {
    std::string text;
    for (const auto& line : peerLines()) text += line + "; ";
    return text;
  }

  // Drags the trending strip's first GIF over the drop target, the button held.
  void dragFirstGifOver(const std::string& target) {
    const auto motions = std::ranges::count(peerLines(), std::string("motion"));
    dragFromPanelOver(P::firstTrendingGif, target,
                      [&] { return std::ranges::count(peerLines(), std::string("motion")) > motions; });
  }

  std::unique_ptr<Program> peer_;
  fs::path peerRecord_;
};

TEST_F(DesktopPeersTest, ADragGivenUpOverAnotherProgramIsNoShareAndADeliveredOneCountsOnce) {
  const std::string target = startDropTarget(100, 100);
  ASSERT_FALSE(target.empty()) << "the drop target did not show: " << peerRecord();
  ASSERT_NO_FATAL_FAILURE(launchHome());

  // Escape while the button is still held over the window that would take the GIF.
  ASSERT_NO_FATAL_FAILURE(dragFirstGifOver(target));
  run({"xdotool", "key", "Escape"});
  EXPECT_TRUE(eventually([&] { return panelShown(); })) << "the panel comes back, as after any drag given up";
  run({"xdotool", "mouseup", "1"});
  EXPECT_TRUE(eventually([&] { return peerNoted("leave"); })) << peerRecord();
  EXPECT_FALSE(peerNoted("drop")) << peerRecord();
  EXPECT_FALSE(peerNoted("received")) << "nothing reached the other program: " << peerRecord();
  ASSERT_TRUE(panelShows(P::firstTrendingGif, [](std::uint32_t rgb) { return !isNearWhite(rgb); }));
  expectScreenMatchesRepaint("back after the drag was given up");

  // Released over it, the GIF arrives, and that is the one share the service hears of.
  ASSERT_NO_FATAL_FAILURE(dragFirstGifOver(target));
  run({"xdotool", "mouseup", "1"});
  ASSERT_TRUE(eventually([&] { return peerNoted("received"); })) << peerRecord();
  EXPECT_NE(peerLines().back().find(" GIF8"), std::string::npos) << "a GIF: " << peerRecord();
  EXPECT_TRUE(eventually([&] { return standinRequestCount(kSharePath) > 0; })) << receivedPaths();
  EXPECT_EQ(standinRequestCount(kSharePath), 1) << "the drag given up is no share: " << receivedPaths();
  EXPECT_FALSE(panelShown()) << "the GIF went to the other program, where the user now is";
}

// With no default web browser anywhere (the system's applications left out of the data
// folders, no mime-application lists), a page of the settings menu cannot open, and an alert
// says so rather than nothing happening.
TEST_F(DesktopPeersTest, AWebPageNothingOpensIsToldInAnAlert) {
  fs::remove(home() / ".local/share/applications/glimdeck-test-browser.desktop");
  fs::remove(home() / ".config/mimeapps.list");
  // The system's data folders but their applications: themes, schemas and icons stay.
  const fs::path data = home() / "system-data";
  fs::create_directories(data);
  for (const char* root : {"/usr/local/share", "/usr/share"}) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(root, ignored)) {
      const auto name = entry.path().filename();
      if (name != "applications" && !fs::exists(data / name)) fs::create_directory_symlink(entry.path(), data / name);
    }
  }
  fs::create_directories(home() / "system-config");
  launchEnvironment = {{"XDG_DATA_DIRS", data.string()}, {"XDG_CONFIG_DIRS", (home() / "system-config").string()}};

  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  // The settings menu signed out: "About Zolto" is its sixth row.
  chooseFromPanelMenu(P::moreButton, std::string(P::settingsMenuSignedOut), P::about);
  std::optional<XWindow> alert;
  ASSERT_TRUE(eventually([&] { return (alert = windowNamed(std::string(kCouldNotOpen))).has_value(); }))
      << "an alert says the page could not be opened";
  picture(*alert, "could-not-open");
  expectScreenMatchesRepaint("the alert");
  EXPECT_NE(app().output().find(std::string(kCouldNotOpen) + ": No application is set to open web pages."),
            std::string::npos)
      << app().output();
  pressKeys("Return");
  EXPECT_TRUE(eventually([&] { return !windowNamed(std::string(kCouldNotOpen)); })) << "Return closes it";
  EXPECT_TRUE(openedAddresses().empty());
  EXPECT_TRUE(panelShown());
}

}  // namespace
