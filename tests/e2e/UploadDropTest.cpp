// Files dragged from another program onto the upload screen's drop target, as from a file
// manager: a PNG, a folder and a 200 MB file that only begins like a GIF are refused, alone
// and together with others (the program that dragged them hears so, and the screen names
// what it refused in the place of its instructions), and a real GIF is staged.

#include <fstream>
#include <regex>

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"
#include "standin/GifMaker.h"

namespace {

namespace P = PanelPoints;
namespace fs = std::filesystem;

// Where the message about refused files stands (in the instructions' place), in the panel.
constexpr NSRect kDropMessage{{30, 86}, {340, 46}};
// Below the message: the address field and the browse button, where no text of it may reach.
constexpr NSRect kBelowDropMessage{{30, 132}, {340, 44}};

class UploadDropTest : public DesktopUserTest {
 protected:
  void SetUp() override {
    DesktopUserTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(launchSignedUp("dora", "drops-galore"));
    clickPanel({P::uploadSignedInMinX + 20, P::toolbarY});
    ASSERT_TRUE(panelShows(P::uploadCard, isNearWhite)) << "the upload screen opens";
  }

  // Drags the files from another program's window onto the drop target and lets go there;
  // answers how that program heard the drag end ("taken" or "refused").
  std::string dragOntoDropTarget(const std::vector<std::string>& files) {
    std::vector<std::string> argv{GLIMDECK_DRAG_SOURCE_PATH, "40", "40"};
    argv.insert(argv.end(), files.begin(), files.end());
    const auto log = home() / ("drag-source-" + std::to_string(++drags_) + ".log");
    auto peer = Program::start(argv, {}, log);
    if (!peer) {
      ADD_FAILURE() << "the drag source did not start";
      return {};
    }
    std::string window;
    if (!eventually([&] {
          std::smatch found;
          auto text = peer->output();
          static const std::regex ready("ready (\\d+)");
          if (!std::regex_search(text, found, ready)) return false;
          window = found[1].str();
          return run({"xwininfo", "-id", window}).output.find("IsViewable") != std::string::npos;
        })) {
      ADD_FAILURE() << "the drag source's window never showed: " << peer->output();
      return {};
    }
    auto shown = panel();
    if (!shown) {
      ADD_FAILURE() << "the panel is not shown";
      return {};
    }
    // The hand presses on the file and moves on, a little at a time, until the drag began.
    if (!movePointer(XWindow{window, "", NSZeroRect}, {80, 80})) {
      ADD_FAILURE() << "the pointer never got onto the drag source's window";
      return {};
    }
    run({"xdotool", "mousedown", "1"});
    for (int i = 0; i < 20 && peer->output().find("drag began") == std::string::npos; ++i) {
      EXPECT_TRUE(movePointerBy(6, 6)) << "the pointer never moved on";
      eventually([&] { return peer->output().find("drag began") != std::string::npos; }, 0.3);
    }
    EXPECT_NE(peer->output().find("drag began"), std::string::npos) << "the drag never began";
    EXPECT_TRUE(movePointer(*shown, P::uploadDropTarget)) << "the pointer never got over the drop target";
    // Over the drop target the pointer moves on a little until the panel offered to take it.
    for (int i = 0; i < 50 && peer->output().find("target offers") == std::string::npos; ++i) {
      run({"xdotool", "mousemove_relative", "--", i % 2 ? "-3" : "3", "2"});
      eventually([&] { return peer->output().find("target offers") != std::string::npos; }, 0.2);
    }
    EXPECT_NE(peer->output().find("target offers"), std::string::npos) << "the drop target never answered the drag";
    run({"xdotool", "mouseup", "1"});
    EXPECT_TRUE(eventually([&] { return !peer->running(); })) << "the drag never ended: " << peer->output();
    static const std::regex ended("drag ended: (\\w+)");
    std::smatch found;
    auto text = peer->output();
    return std::regex_search(text, found, ended) ? found[1].str() : "no end: " + text;
  }

  // Pixels of the message's place in error red, in a picture kept under `name`.
  int redInMessage(const std::string& name) { return panelPixelsIn(kDropMessage, isErrorRed, name); }
  std::size_t stagedCopies() {
    const auto folder = home() / ".local/share/Glimdeck/gifdata";
    std::size_t count = 0;
    std::error_code ignored;
    for (auto it = fs::directory_iterator(folder, ignored); it != fs::directory_iterator(); ++it) ++count;
    return count;
  }
  std::string file(const std::string& name, const std::string& bytes) {
    std::ofstream(home() / name, std::ios::binary) << bytes;
    return (home() / name).string();
  }

  int drags_ = 0;
};

TEST_F(UploadDropTest, RefusedFilesAreNamedAndReportedRefusedAndARealGifIsStaged) {
  const auto png = file("photo.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, 'p'));
  const auto huge = file("huge.gif", "GIF89a");
  fs::resize_file(huge, 200u << 20);  // sparse: 200 MB long, nothing written
  const auto folder = (home() / "Pictures").string();
  fs::create_directories(folder);
  const auto gif = file("cat.gif", GifMaker::animated({.width = 48, .height = 48, .frames = 3, .rgb = 0xcc3366}));
  EXPECT_EQ(redInMessage("before"), 0) << "no message yet";

  for (const auto& [path, name] : {std::pair{png, "png"}, {folder, "folder"}, {huge, "huge"}}) {
    EXPECT_EQ(dragOntoDropTarget({path}), "refused") << name;
    EXPECT_TRUE(eventually([&] { return redInMessage(std::string("refused-") + name) > 20; }))
        << "the screen names the refused " << name;
    EXPECT_EQ(stagedCopies(), 0u) << name;
  }
  // Refused together, they are named in the message's place, and the message keeps to it.
  const auto notes = file("notes.txt", "just words");
  EXPECT_EQ(dragOntoDropTarget({png, notes, folder, huge, (home() / "gone.gif").string()}), "refused");
  EXPECT_TRUE(eventually([&] { return redInMessage("refused-together") > 20; })) << "the screen names the refused files";
  EXPECT_EQ(panelPixelsIn(kBelowDropMessage, isErrorRed, "refused-together-below"), 0) << "the message reaches below its place";
  EXPECT_EQ(stagedCopies(), 0u);
  expectScreenMatchesRepaint("refused");
  auto before = panelPixelNow(P::uploadButton);
  EXPECT_TRUE(before && !isBlueish(*before)) << "nothing is staged";

  EXPECT_EQ(dragOntoDropTarget({gif}), "taken");
  EXPECT_TRUE(panelShows(P::uploadButton, isBlueish)) << "the GIF is staged and the tagging interface shows";
  EXPECT_EQ(stagedCopies(), 1u);
  EXPECT_EQ(redInMessage("staged"), 0) << "a drop with nothing refused clears the message";
  expectScreenMatchesRepaint("staged");
}

}  // namespace
