// The upload screen of a signed-in user opens from every point of UPLOAD (every fourth
// pixel, ends included) and, on Back, lets go of the panel, which takes clicks again. A GIF
// arrives there as a person brings one: its address pasted into the URL field from the
// clipboard, or a file picked on the desktop in the file chooser, its path pasted or typed
// into the chooser's location bar; it shows in the staged list and, tagged, goes up to the
// service, and shows in the profile's UPLOADS, filling its tile. Asked to end while the chooser
// is up, the application ends as it does otherwise.

#include <gtk/gtk.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"
#include "tests/support/HttpGet.h"

namespace {

namespace P = PanelPoints;

// The success view's Done, once the GIFs are on their way.
constexpr NSPoint kSuccessDone{200, 257};
// BROWSE DESKTOP, beside the URL field, and the place of the screen's messages above them.
constexpr NSPoint kBrowseDesktop{295, 158};
constexpr NSRect kUploadMessage{{30, 86}, {340, 46}};
// The first staged GIF's row: its picture and its tag field; Upload's blue beside its title.
constexpr NSPoint kFirstStagedPicture{72, 230};
constexpr NSPoint kFirstStagedTags{235, 228};
constexpr NSPoint kUploadButtonFill{150, 542};
// The stand-in's GIFs of a given length are 8 × 8 pixels of one green (0x22aa66).
bool isStandinGreen(std::uint32_t rgb) {
  auto near = [](int a, int b) { return std::abs(a - b) <= 12; };
  return near((rgb >> 16) & 0xFF, 0x22) && near((rgb >> 8) & 0xFF, 0xaa) && near(rgb & 0xFF, 0x66);
}
// The profile's first tile, inside its edges (UPLOADS lists the user's GIFs two to a row), and
// the dark a GIF's tile shows until its GIF covers it.
constexpr NSRect kFirstUploadTile{{15, 171}, {170, 170}};
bool isTileDark(std::uint32_t rgb) { return ((rgb >> 16) & 0xFF) < 40 && ((rgb >> 8) & 0xFF) < 40 && (rgb & 0xFF) < 40; }
// Upload once it may go: the blue at full strength, not faded over white.
bool isFullBlue(std::uint32_t rgb) { return ((rgb >> 16) & 0xFF) < 60 && (rgb & 0xFF) > 180; }

// The text the case has copied, as another program would, and how often a program pasting
// it has asked for it. Kept for the whole program: the clipboard may ask after a case ends.
struct ClipboardOffer {
  std::string text;
  int served = 0;
};
ClipboardOffer clipboardOffer;

void offerOnClipboard(const std::string& text) {
  clipboardOffer = {text, 0};
  GtkTargetList* list = gtk_target_list_new(nullptr, 0);
  gtk_target_list_add_text_targets(list, 0);
  int count = 0;
  GtkTargetEntry* targets = gtk_target_table_new_from_list(list, &count);
  gtk_clipboard_set_with_data(
      gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), targets, static_cast<guint>(count),
      [](GtkClipboard*, GtkSelectionData* data, guint, gpointer) {
        gtk_selection_data_set_text(data, clipboardOffer.text.c_str(), -1);
        ++clipboardOffer.served;
      },
      nullptr, nullptr);
  gtk_target_table_free(targets, count);
  gtk_target_list_unref(list);
}

class UploadTest : public DesktopUserTest {
 protected:
  void SetUp() override {
    DesktopUserTest::SetUp();
    // The case is the other program whose copy is on the clipboard.
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "the clipboard's owner needs the X server";
    ASSERT_NO_FATAL_FAILURE(launchSignedUp("uma", "uploads-galore"));
  }
  // Back takes clicks while the screen fades in: a quick look is enough.
  bool uploadScreenShown() { return panelShows(P::uploadCard, isNearWhite, 10.0, Look::quick); }
  bool homeShown() { return panelShows(P::uploadCard, isBlueish, 10.0); }

  void openUploadScreen() {
    clickPanel({(P::uploadSignedInMinX + P::uploadSignedInMaxX) / 2, P::toolbarY});
    ASSERT_TRUE(panelShows(P::uploadCard, isNearWhite)) << "the upload screen opens";
  }

  // Ctrl+V where the keys go, and a wait until the paste has had the text: a key pressed
  // next comes after it.
  void paste() {
    const int served = clipboardOffer.served;
    pressKeys("ctrl+v");
    ASSERT_TRUE(eventually([&] { return clipboardOffer.served > served; })) << "the paste asks for the copied text";
    // The answer waits in our connection to the X server until it is flushed; synced, it
    // has reached the server before the next key is pressed, and the paster gets it first.
    gdk_display_sync(gdk_display_get_default());
  }

  // Whether the file chooser's Open, in its bottom right corner, shows its label in the
  // dark of a button that may be pressed rather than in the grey of one that may not.
  bool openAvailable(const XWindow& chooser) {
    auto shot = picture(chooser, "open-available");
    if (!shot.valid()) return false;
    for (int y = shot.height - 31; y < shot.height - 15; ++y) {
      for (int x = shot.width - 66; x < shot.width - 31; ++x) {
        auto rgb = shot.at(x, y);
        if (((rgb >> 16) & 0xFF) < 90 && ((rgb >> 8) & 0xFF) < 90 && (rgb & 0xFF) < 90) return true;
      }
    }
    return false;
  }

  // Pixels of the message's place (over the instructions) in error red, in a picture kept
  // under `name`.
  int redInMessage(const std::string& name) { return panelPixelsIn(kUploadMessage, isErrorRed, name); }

  // A GIF of the stand-in's, `length` bytes long: its address.
  std::string standinGifAddress(std::size_t length) {
    return standinURL() + "/media/sized/" + std::to_string(length) + ".gif";
  }

  // A GIF of the stand-in's, `length` bytes long, as a file of that name in the HOME.
  std::filesystem::path standinGifFile(std::size_t length, const std::string& name) {
    const auto gif = httpGet(standinGifAddress(length)).body;
    EXPECT_EQ(gif.size(), length);
    const auto file = home() / name;
    std::ofstream(file, std::ios::binary) << gif;
    return file;
  }

  // BROWSE DESKTOP on the upload screen: the desktop's file chooser, with the pointer over it
  // (keys go to the window under the pointer).
  void openChooser(std::optional<XWindow>& chooser) {
    clickPanel(kBrowseDesktop);
    ASSERT_TRUE(eventually([&] { return (chooser = windowNamed("Open")).has_value(); })) << "the file chooser opens";
    ASSERT_TRUE(movePointer(*chooser, {chooser->frame.width() / 2, chooser->frame.height() / 2}));
  }

  // The keys given, then the file's path pasted into the chooser, and Open: the chooser goes
  // and gives the panel back. Pasted, as typed key by key the path races the location bar's
  // completion, which inserts the common start of the names in a folder once it has read it
  // ("/tmp/g" became "/tmp/glimdeck-limdeck-e2e-...").
  void pastePathAndOpen(const XWindow& chooser, const std::filesystem::path& file, const std::string& keysFirst) {
    offerOnClipboard(file.string());
    pressKeys(keysFirst);
    ASSERT_NO_FATAL_FAILURE(paste());
    // Return only once Open is there to take it: pressed while the chooser still looks the
    // path up, it was lost now and then.
    ASSERT_TRUE(eventually([&] { return openAvailable(chooser); })) << "the chooser finds the file";
    pressKeys("Return");
    ASSERT_TRUE(eventually([&] { return !windowNamed("Open") && panelShown(); })) << "the chooser gives the panel back";
  }

  // The staged GIF shows in the first row; tagged, Upload may go, and the service receives
  // a GIF of that length with the tag, sent by the user.
  void tagAndUpload(const std::string& tag, std::size_t length) {
    ASSERT_TRUE(panelShows(kFirstStagedPicture, isStandinGreen)) << "the staged GIF shows in the list";
    expectScreenMatchesRepaint("staged");
    clickPanel(kFirstStagedTags);
    typeText(tag);
    ASSERT_TRUE(panelShows(kUploadButtonFill, isFullBlue)) << "tagged, the GIF may go up";
    clickPanel(P::uploadButton);
    std::shared_ptr<NSDictionary> upload;
    ASSERT_TRUE(eventually([&] { return (upload = uploadOfLength(length)) != nullptr; }))
        << "the service receives the GIF; it received " << receivedPaths();
    auto tags = asA<NSArray>(upload->objectForKey("tags"));
    ASSERT_TRUE(tags && tags->count() == 1);
    EXPECT_EQ(asA<NSString>(tags->objectAtIndex(0))->string(), tag);
    EXPECT_TRUE(upload->objectForKey("uploader")) << "sent by the signed-in user";
    ASSERT_TRUE(panelShows(P::uploadButton, isNearWhite)) << "the success view covers the list";
    expectScreenMatchesRepaint("uploaded");
  }

 private:
  std::shared_ptr<NSDictionary> uploadOfLength(std::size_t length) {
    auto uploads = asA<NSArray>(standinState()->objectForKey("uploads"));
    for (const auto& entry : uploads ? uploads->objects() : std::vector<id>{}) {
      auto upload = asA<NSDictionary>(entry);
      auto size = upload ? asA<NSNumber>(upload->objectForKey("length")) : nullptr;
      if (size && size->integerValue() == static_cast<std::int64_t>(length)) return upload;
    }
    return nullptr;
  }
};

TEST_F(UploadTest, EveryPointOfUploadsWidthOpensItAndBackGivesThePanelItsClicksAgain) {
  clickPanel({P::uploadSignedInMinX, P::toolbarY});
  ASSERT_TRUE(uploadScreenShown());
  expectScreenMatchesRepaint("upload screen");
  clickPanel(P::cardBack);
  ASSERT_TRUE(homeShown()) << "Back closes the upload screen";
  expectScreenMatchesRepaint("back home");
  // Each point opens the screen again, which shows that the panel takes clicks after Back.
  std::vector<double> points, dead;
  for (double x = P::uploadSignedInMinX + 4; x < P::uploadSignedInMaxX; x += 4) points.push_back(x);
  points.push_back(P::uploadSignedInMaxX);
  for (double x : points) {
    clickPanel({x, P::toolbarY});
    if (!uploadScreenShown()) {
      dead.push_back(x);
      continue;
    }
    clickPanel(P::cardBack);
    ASSERT_TRUE(homeShown()) << "Back closes the upload screen opened at x " << x;
  }
  EXPECT_EQ(dead, std::vector<double>{}) << "points of UPLOAD that open nothing";
  expectScreenMatchesRepaint("home after the uploads");
}

TEST_F(UploadTest, AGifAddressPastedFromTheClipboardIsStagedAndGoesUp) {
  offerOnClipboard(standinGifAddress(3000));
  ASSERT_NO_FATAL_FAILURE(openUploadScreen());
  clickPanel(P::uploadPasteURL);
  ASSERT_NO_FATAL_FAILURE(paste());
  pressKeys("Return");
  EXPECT_TRUE(eventually([&] { return standinReceived("/media/sized/3000.gif"); }))
      << "the application fetches the pasted address; the service received " << receivedPaths();
  ASSERT_NO_FATAL_FAILURE(tagAndUpload("meadow", 3000));
  // The profile's UPLOADS, its first tab, lists the GIF the user just sent.
  clickPanel(kSuccessDone);
  ASSERT_TRUE(homeShown()) << "Done closes the upload screen";
  clickPanel(P::profileButton);
  EXPECT_TRUE(panelShows(P::firstPackTile, [](std::uint32_t rgb) { return !isNearWhite(rgb); }))
      << "the upload shows in the profile's UPLOADS";
  // Its GIF (an upload has no movie to play instead) fills the tile, rather than showing at its
  // own few pixels in the middle of the tile's dark.
  int dark = 0;
  EXPECT_TRUE(eventually([&] { return (dark = panelPixelsIn(kFirstUploadTile, isTileDark, "upload tile")) == 0; }))
      << dark << " pixels of the tile show its dark around the GIF";
  expectScreenMatchesRepaint("profile uploads");
}

TEST_F(UploadTest, AGifPickedOnTheDesktopIsStagedAndGoesUp) {
  const auto file = standinGifFile(2600, "meadow-picked.gif");
  // The panel makes way for the desktop's file chooser.
  std::optional<XWindow> chooser;
  ASSERT_NO_FATAL_FAILURE(openUploadScreen());
  ASSERT_NO_FATAL_FAILURE(openChooser(chooser));
  EXPECT_TRUE(eventually([&] { return !panelShown(); })) << "the panel closes while the chooser is up";
  picture(*chooser, "file-chooser");
  // Ctrl+L opens the chooser's location bar.
  ASSERT_NO_FATAL_FAILURE(pastePathAndOpen(*chooser, file, "ctrl+l"));
  ASSERT_NO_FATAL_FAILURE(tagAndUpload("picked", 2600));
}

// A path typed into the chooser: "/" opens its location bar, which takes the keys that follow;
// a folder that does not exist is typed first, then the right path replaces it. GTK's chooser
// took keys here into an entry it had not realised yet, and after the unreadable folder asked a
// list of names it no longer had at every key; either printed criticals, which fail the case.
// Before, the path of a file that is not there, in a folder that is: GTK hands it back as it
// hands back any file, and the screen names it as a drop's; the GIF picked next takes the
// message away.
TEST_F(UploadTest, APathTypedIntoTheFileChoosersLocationBarAfterAMistypedFolderPicksTheGif) {
  const auto file = standinGifFile(2700, "typed-path.gif");
  std::optional<XWindow> chooser;
  ASSERT_NO_FATAL_FAILURE(openUploadScreen());
  ASSERT_NO_FATAL_FAILURE(openChooser(chooser));
  ASSERT_NO_FATAL_FAILURE(pastePathAndOpen(*chooser, home() / "not-there.gif", "ctrl+l"));
  EXPECT_TRUE(eventually([&] { return redInMessage("not there") > 20; })) << "the screen names the file that is not there";
  expectScreenMatchesRepaint("not there");

  ASSERT_NO_FATAL_FAILURE(openChooser(chooser));
  typeText((home() / "no-such-folder" / file.filename()).string());
  // Put right: all that was typed is selected, and the right path replaces it.
  ASSERT_NO_FATAL_FAILURE(pastePathAndOpen(*chooser, file, "ctrl+a"));
  ASSERT_TRUE(panelShows(kFirstStagedPicture, isStandinGreen)) << "the GIF is staged";
  EXPECT_EQ(redInMessage("staged"), 0) << "the message goes once a GIF is staged";
  ASSERT_NO_FATAL_FAILURE(tagAndUpload("typed", 2700));
}

// A request to end (SIGTERM, as a session's logout sends it) while the file chooser is up
// ends the application as it does otherwise: the chooser goes, the process ends with status
// 0, and the store was closed on the way out (its log folded into the file).
TEST_F(UploadTest, AskedToEndWhileTheFileChooserIsUpTheApplicationEndsWithItsStoreClosed) {
  std::optional<XWindow> chooser;
  ASSERT_NO_FATAL_FAILURE(openUploadScreen());
  ASSERT_NO_FATAL_FAILURE(openChooser(chooser));
  ASSERT_TRUE(std::filesystem::exists(storePath().string() + "-wal")) << "the store is open, with its log beside it";
  ASSERT_EQ(kill(app().pid(), SIGTERM), 0);
  EXPECT_EQ(waitForExit(), 0) << "the application ends, with status 0";
  EXPECT_FALSE(std::filesystem::exists(storePath().string() + "-wal")) << "the store was closed";
}

}  // namespace
