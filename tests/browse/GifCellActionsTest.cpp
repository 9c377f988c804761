// What a user does with a tile, through the simulator: the ellipsis menu's copies and packs,
// the heart, and the confirmation that follows.

#include <gtest/gtest.h>

#include <sstream>

#include <filesystem>

#include "browse/GifCell.h"
#include "collections/Collection.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/NSString.h"
#include "platform/quartz/CALayer.h"
#include "service/PlovexAnalytics.h"
#include "tests/browse/GifCellFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"
#include "ui/ClickableImageView.h"
#include "ui/QLXButton.h"

namespace {

class RecordingOwner : public GifCollectionCellDelegate {
 public:
  std::vector<std::string> heard;
  void didClick(const std::shared_ptr<GifCell>&) override { heard.push_back("click"); }
  void didRequestLogin() override { heard.push_back("login"); }
  bool implementsDidRequestLogin() const override { return true; }
  void didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type, const std::shared_ptr<VornObject>& vorn) override {
    heard.push_back("share " + std::to_string(int(type)) + " " + vorn->vid);
  }
  bool implementsDidShareFromEllipsesMenu() const override { return true; }
  bool canBeginDrag() override { return true; }
  bool implementsCanBeginDrag() const override { return true; }
  void didBeginDrag(const std::shared_ptr<GifCell>&, const std::shared_ptr<VornObject>&,
                    const std::shared_ptr<NSEvent>&) override {
    heard.push_back("drag");
  }
  bool implementsDidBeginDrag() const override { return true; }
};

class GifCellActionsTest : public GifCellFixture {
 protected:
  void SetUp() override {
    GifCellFixture::SetUp();
    NSApplication::resetSharedApplication();
    NSMenu::resetMenus();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 300), NSWindowStyleMaskTitled);
  }
  void TearDown() override {
    NSMenu::resetMenus();
    NSApplication::resetSharedApplication();
    GifCellFixture::TearDown();
  }
  // A tile in the window, owned by the recording owner, showing its (still) GIF.
  std::shared_ptr<GifCell> shownTile(const std::shared_ptr<VornObject>& vorn) {
    return GifCellFixture::shownTile(vorn, owner, window->contentView());
  }
  // Hovers the tile (which shows the ellipsis button) and opens its menu.
  bool openMenu(const std::shared_ptr<GifCell>& cell) {
    ui.moveMouseTo(cell->view());
    return ui.openMenuWith(cell->moreOptionButton.lock());
  }
  void choose(const std::shared_ptr<GifCell>& cell, const std::vector<std::string>& path) {
    ASSERT_TRUE(openMenu(cell));
    ASSERT_TRUE(ui.chooseMenuItem(path));
  }
  static std::string confirmation(const std::shared_ptr<GifCell>& cell) {
    return cell->copyConfirmContainer.lock()->alphaValue() == 1.0 ? cell->copyConfirmLabel.lock()->stringValue()
                                                                   : "(none)";
  }
  static std::string pasteboardText() {
    return NSPasteboard::generalPasteboard()->stringForType(kUTTypePlainText).value_or("(no text)");
  }

  UISimulator ui;
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<RecordingOwner> owner = std::make_shared<RecordingOwner>();
};

TEST_F(GifCellActionsTest, ATilePlacedUnderARestingPointerHoversOnlyWhereItShows) {
  auto cell = shownTile(item(1));
  auto view = cell->view();
  view->setFrame(NSMakeRect(200, 200, 150, 150));  // reaches past the window's edges
  auto hovered = [&] { return !cell->mouseoverElementsContainer.lock()->isHidden(); };
  // As when the panel opens under a pointer resting on the tray icon beside it.
  NSEvent::noteMouseLocation(window->convertPointToScreen(NSPoint{320, 250}));
  view->updateTrackingAreas();
  EXPECT_FALSE(hovered());
  NSEvent::noteMouseLocation(window->convertPointToScreen(NSPoint{250, 250}));
  view->updateTrackingAreas();
  EXPECT_TRUE(hovered());
}

TEST_F(GifCellActionsTest, MenuCopiesWriteOnlyWhatTheItemHasAndConfirmOnlyThen) {
  auto full = item(1);
  auto bare = item(2);
  bare->shortUrl.reset();
  bare->htmlEmbedString.reset();
  struct Row {
    std::shared_ptr<VornObject> vorn;
    std::string title;
    std::string pasteboard;
    std::string confirmation;
    std::vector<std::string> heard;
    // What the clipboard announces to other programs: only what was written.
    std::vector<NSPasteboardType> types = {kUTTypePlainText};
  };
  const std::vector<Row> rows = {
      {full, "Copy Link", *full->shortUrl, "Copied link to clipboard!", {"share 1 " + full->vid}},
      {full, "Copy Embed", *full->htmlEmbedString, "Copied text to clipboard!", {"share 2 " + full->vid}},
      // Copy GIF says so, whatever the tile said last.
      {full, "Copy GIF", *full->webUrl(), "Copied to clipboard!", {"share 0 " + full->vid}},
      // Nothing to write: the pasteboard keeps what it held and nothing is confirmed.
      {bare, "Copy Link", "earlier", "(none)", {}},
      {bare, "Copy Embed", "earlier", "(none)", {}},
  };
  std::shared_ptr<GifCell> cell;
  for (const auto& row : rows) {
    if (!cell || cell->vorn != row.vorn) cell = shownTile(row.vorn);
    NSPasteboard::generalPasteboard()->clearContents();
    NSPasteboard::generalPasteboard()->setString("earlier", kUTTypePlainText);
    owner->heard.clear();
    choose(cell, {row.title});
    EXPECT_EQ(pasteboardText(), row.pasteboard) << row.title;
    EXPECT_EQ(NSPasteboard::generalPasteboard()->types(), row.types) << row.title;
    EXPECT_EQ(confirmation(cell), row.confirmation) << row.title;
    EXPECT_EQ(owner->heard, row.heard) << row.title;
  }
  advance(3.0);
  EXPECT_EQ(confirmation(cell), "(none)");
  EXPECT_EQ(vids(manager()->getRecentsCollection()).front(), full->vid);
}

TEST_F(GifCellActionsTest, ACopyOfTheGifNeverRepeatsTheMessageOfAnEarlierAction) {
  manager()->createNewCollection("Cats", false, true);
  signIn("packer", "token-packer");
  const std::vector<std::string> earlier[] = {{"Copy Link"}, {"Copy Embed"}, {"Add to Pack", "Cats"}};
  // The menu's Copy GIF, and the overlay without a message that a screen's click-copy shows.
  const std::function<void(const std::shared_ptr<GifCell>&)> copies[] = {
      [&](const std::shared_ptr<GifCell>& cell) { choose(cell, {"Copy GIF"}); },
      [](const std::shared_ptr<GifCell>& cell) { cell->displayConfirmationOverlayWithMessage(std::nullopt); }};
  for (const auto& action : earlier) {
    for (const auto& copy : copies) {
      auto cell = shownTile(item(4));
      choose(cell, action);
      ASSERT_NE(confirmation(cell), "Copied to clipboard!") << action.front();
      copy(cell);
      EXPECT_EQ(confirmation(cell), "Copied to clipboard!") << "after " << action.front();
      advance(3.0);
      cell->view()->removeFromSuperview();
    }
  }
  // A tile with a text of its own for GIF copies says that one, until it is reset.
  auto cell = shownTile(item(4));
  cell->copiedGifMessage = "Copied!";
  choose(cell, {"Copy Link"});
  cell->displayConfirmationOverlayWithMessage(std::nullopt);
  EXPECT_EQ(confirmation(cell), "Copied!");
  cell->reset();
  EXPECT_EQ(cell->copiedGifMessage, "Copied to clipboard!");
  EXPECT_EQ(cell->copyConfirmLabel.lock()->stringValue(), "Copied to clipboard!");
}

TEST_F(GifCellActionsTest, AddToPackTogglesAndKeepsAFileAnotherPackStillHolds) {
  auto cats = manager()->createNewCollection("Cats", false, true);
  auto dogs = manager()->createNewCollection("Dogs", false, true);
  auto local = localGif();
  const auto file = NSURL::URLWithString(local->gifUrl)->path();
  cats->append(local);  // signed out: the packs keep the item of this computer as it is
  dogs->append(local);
  signIn("packer", "token-packer");
  auto cell = shownTile(local);
  ASSERT_TRUE(openMenu(cell));
  const std::string menu = ui.openMenuText();
  EXPECT_EQ(menu.substr(0, menu.find(">") + 2), "Copy GIF\nCopy Link\nCopy Embed\n---\nAdd to Pack >\n");
  EXPECT_NE(menu.find("  Cats\n"), std::string::npos);
  EXPECT_NE(menu.find("  Dogs\n"), std::string::npos);
  ui.dismissMenu();

  choose(cell, {"Add to Pack", "Cats"});  // already there: taken out, the file stays for Dogs
  EXPECT_EQ(confirmation(cell), "Removed from Cats");
  EXPECT_TRUE(std::filesystem::exists(file));
  choose(cell, {"Add to Pack", "Dogs"});  // the last pack let go of it
  EXPECT_EQ(confirmation(cell), "Removed from Dogs");
  EXPECT_FALSE(std::filesystem::exists(file));
  auto web = shownTile(item(5));
  choose(web, {"Add to Pack", "Cats"});
  EXPECT_EQ(confirmation(web), "Added to Cats");
  EXPECT_EQ(vids(cats), std::vector<std::string>{itemId(5)});

  signOut();
  ASSERT_TRUE(openMenu(web));
  EXPECT_EQ(ui.openMenuText(), "Copy GIF\nCopy Link\nCopy Embed\n---\nAdd to Pack\n");
  ASSERT_TRUE(ui.chooseMenuItem({"Add to Pack"}));
  EXPECT_EQ(owner->heard, std::vector<std::string>{"login"});
}

TEST_F(GifCellActionsTest, SignedInWithNoPackToOfferAddToPackIsShownDisabled) {
  signIn("packer", "token-packer");
  auto cell = shownTile(item(5));
  ASSERT_TRUE(openMenu(cell));
  EXPECT_EQ(ui.openMenuText(), "Copy GIF\nCopy Link\nCopy Embed\n---\nAdd to Pack [disabled] >\n");
  EXPECT_FALSE(ui.chooseMenuItem({"Add to Pack"}));
  ui.dismissMenu();

  manager()->createNewCollection("Cats", false, true);
  ASSERT_TRUE(openMenu(cell));
  EXPECT_EQ(ui.openMenuText(), "Copy GIF\nCopy Link\nCopy Embed\n---\nAdd to Pack >\n  Cats\n");
  ui.dismissMenu();
}

TEST_F(GifCellActionsTest, CopyingAnItemOfThisComputerPutsItsFileAndCopyingBeforeMediaDoesNothing) {
  auto local = localGif();
  auto cell = shownTile(local);
  choose(cell, {"Copy GIF"});
  EXPECT_EQ(NSPasteboard::generalPasteboard()->stringForType(kUTTypeFileURL).value_or(""), local->gifUrl + "\r\n");
  EXPECT_EQ(confirmation(cell), "Copied to clipboard!");

  auto gone = localGif();
  std::filesystem::remove(NSURL::URLWithString(gone->gifUrl)->path());
  auto empty = shownTile(gone);
  owner->heard.clear();
  choose(empty, {"Copy GIF"});  // nothing to write: no confirmation, no share
  EXPECT_EQ(confirmation(empty), "(none)");
  EXPECT_TRUE(owner->heard.empty());

  auto waiting = tile(item(1));  // no media shown yet
  waiting->copyGif();
  EXPECT_EQ(confirmation(waiting), "(none)");
}

TEST_F(GifCellActionsTest, TheHoverHeartAndTheToggleAgreeOnWhatIsAFavourite) {
  signIn("hearts", "token-hearts");
  NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA=="), "analytics-key");
  PlovexAnalytics::setSharedPlovexAnalytics(PlovexAnalytics::init());
  auto gif = item(4);
  auto pack = manager()->createNewCollection("pack", false, true);
  pack->append(gif);
  manager()->getFavoritesCollection()->append(item(4));
  pack->remove(gif);  // the favourite is still in Favorites
  auto cell = shownTile(gif);
  auto heartName = [&] {
    cell->mouseEntered();
    return cell->heart.lock()->image()->name();
  };
  EXPECT_EQ(heartName(), "redHeart");
  ui.click(cell->heart.lock());  // a favourite: taken out, nothing logged
  EXPECT_EQ(cell->heart.lock()->image()->name(), "greyHeart");
  EXPECT_EQ(heartName(), "greyHeart");
  ui.click(cell->heart.lock());
  EXPECT_EQ(heartName(), "redHeart");
  EXPECT_FALSE(cell->favoriteOverlay.lock()->isHidden());
  // A pink circle, clipped to itself, grows from the tile's middle.
  auto pulses = cell->favoriteOverlay.lock()->layer()->sublayers();
  ASSERT_EQ(pulses.size(), 1u);
  const auto& pulse = *pulses[0];
  const CGColor colour = pulse.backgroundColor().value_or(CGColor{});
  const NSRect tile = cell->view()->frame();
  std::ostringstream seen;
  seen << "centre " << dumpNumber(pulse.frame().midX() - tile.size.width / 2) << ","
       << dumpNumber(pulse.frame().midY() - tile.size.height / 2) << " radius " << dumpNumber(pulse.cornerRadius())
       << (pulse.masksToBounds() ? " clipped" : " unclipped") << " rgba " << dumpNumber(colour.red * 255) << " "
       << dumpNumber(colour.green * 255) << " " << dumpNumber(colour.blue * 255) << " " << dumpNumber(colour.alpha);
  EXPECT_EQ(seen.str(), "centre 0,0 radius 25 clipped rgba 255 122 122 0.85");
  advance(0.5);  // the pulse has grown and faded
  EXPECT_TRUE(cell->favoriteOverlay.lock()->isHidden());
  auto logged = standin().waitForRequest(
      [](const StandinRequest& r) { return r.path == "/quorb.registerevent/favorite"; }, 30.0);
  EXPECT_TRUE(logged);
  EXPECT_EQ(vids(manager()->getFavoritesCollection()), std::vector<std::string>{gif->vid});
}

TEST_F(GifCellActionsTest, TheFirstDragAfterAPressDecidesBetweenDragAndClick) {
  auto cell = shownTile(item(1));
  ui.drag(cell->view(), {50, 50}, {51, 50}, 1);
  EXPECT_EQ(owner->heard, std::vector<std::string>{"drag"});  // and no click
  EXPECT_FALSE(cell->didDragCell);  // the release only ended the drag
  owner->heard.clear();
  cell->canDragCell = false;
  ui.drag(cell->view(), {50, 50}, {51, 50}, 1);
  EXPECT_EQ(owner->heard, std::vector<std::string>{"click"});
}

// A press on a tile taken back, the pointer released off the tile (beside it, off the
// window, after Escape or not), is no click on it: a tag tile opens no search there, nor does a
// GIF tile copy its GIF. Released on the tile it is a click, and a GIF tile that the pointer
// leaves with the button held is dragged out as ever.
TEST_F(GifCellActionsTest, AReleaseOffTheTileThatTookThePressIsNoClick) {
  auto gifTile = shownTile(item(1));
  auto tagTile = shownTile(item(2));
  showTag(*tagTile, "wink");
  tagTile->delegate = owner;
  tagTile->view()->removeFromSuperview();
  enum class Release { onTheTile, besideIt, offTheWindow, offTheWindowAfterEscape };
  const char* const releaseNames[] = {"on the tile", "beside it", "off the window", "off the window after Escape"};
  struct Row {
    std::shared_ptr<GifCell> cell;
    Release release;
    std::vector<std::string> heard;
  };
  const std::vector<std::string> nothing;
  const Row rows[] = {
      {gifTile, Release::onTheTile, {"click"}},
      {gifTile, Release::besideIt, {"drag"}},
      {gifTile, Release::offTheWindow, {"drag"}},
      {gifTile, Release::offTheWindowAfterEscape, nothing},
      {tagTile, Release::onTheTile, {"click"}},
      {tagTile, Release::besideIt, nothing},
      {tagTile, Release::offTheWindow, nothing},
      {tagTile, Release::offTheWindowAfterEscape, nothing},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.cell == gifTile ? "GIF tile, released " : "tag tile, released ") +
                 releaseNames[static_cast<int>(row.release)]);
    auto view = row.cell->view();
    window->contentView()->addSubview(view);
    owner->heard.clear();
    const NSPoint centre{view->bounds().midX(), view->bounds().midY()};
    const NSPoint beside = view->convertPoint(NSPoint{280, 280}, nullptr);
    const NSPoint away = view->convertPoint(NSPoint{-60, 100}, nullptr);
    switch (row.release) {
      case Release::onTheTile: ui.click(view); break;
      // One move: the first one of a GIF tile begins its drag, which then has the pointer.
      case Release::besideIt: ui.drag(view, centre, beside, 1); break;
      case Release::offTheWindow: ui.drag(view, centre, away, 1); break;
      case Release::offTheWindowAfterEscape:
        ui.mouseDown(view);
        ui.pressEscape();
        ui.mouseUp(view, away);
        break;
    }
    EXPECT_EQ(owner->heard, row.heard);
    view->removeFromSuperview();
  }
}

}  // namespace
