// The profile's packs screen through the simulator against the stand-in: the user's
// uploads and packs in the embedded grid, segment switches, opening a pack and coming back,
// copying an uploaded GIF, menu shares, pack creation and the Touch Bar's content.

#include <gtest/gtest.h>

#include <set>

#include "browse/GifCell.h"
#include "collections/screens/ProfilePacksViewController.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "ui/QLXButton.h"
#include "tests/collections/CollectionsFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

using State = ProfilePacksViewController::StreamState;

// The root panel's part: it hears the Touch Bar's content, name clicks and pack requests.
struct Owner : TouchBarUpdater, UsernameClickDelegate, CollectionCreationRequestHandler {
  std::vector<std::string> log;
  std::shared_ptr<CollectionCreationCompletionHandler> pending;
  void fetchedContent(const VNRequester::Content& content) override {
    log.push_back("touch bar " + std::to_string(content.size()));
  }
  void clearScrubber() override { log.push_back("clear"); }
  void didTapUsernameLabel(const std::string& username) override { log.push_back("user " + username); }
  void requestCollectionCreation(const std::shared_ptr<CollectionCreationCompletionHandler>& handler) override {
    log.push_back("create");
    pending = handler;
  }
};

class ProfilePacksTest : public CollectionsTest {
 protected:
  void SetUp() override {
    CollectionsTest::SetUp();
    ui.attach();
    // Media are not under test: tiles stay without them.
    standin().injectFault("/media", Fault::status500());
    signIn("pixelpanda", "tok-panda");
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 420), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    screen->collectionCreationDelegate = owner;
    screen->usernameClickDelegate = owner;
    screen->touchBarDelegate = owner;
    window->contentView()->addSubview(screen->view());
  }
  void TearDown() override {
    window->close();
    ui.detach();
    CollectionsTest::TearDown();
  }

  std::shared_ptr<GifCell> tile(std::size_t index) {
    auto list = screen->contentCollectionView->mainCollectionView.lock();
    list->layoutSubtreeIfNeeded();
    return std::dynamic_pointer_cast<GifCell>(list->itemAtIndexPath(NSIndexPath::indexPathForItem(index, 0)));
  }
  // The screen's own views and where the grid puts what it shows.
  std::string picture() {
    return dumpViewTree(screen->view(), {.maxDepth = 2}) + "grid\n" +
           dumpCollectionLayout(*screen->contentCollectionView->mainCollectionView.lock());
  }
  // The colour of a segment's title.
  std::shared_ptr<NSColor> titleColor(const std::weak_ptr<NSButton>& button) {
    auto attributes = button.lock()->attributedTitle()->attributesAtIndex(0);
    return asA<NSColor>(attributes[NSForegroundColorAttributeName]);
  }
  std::string titleColors() {
    auto name = [](const std::shared_ptr<NSColor>& color) {
      return color->redComponent() * 255 < 100 ? std::string("selected") : std::string("unselected");
    };
    return name(titleColor(screen->uploadsSegmentButton)) + "/" + name(titleColor(screen->packsSegmentButton));
  }
  std::vector<std::string> shares() {
    std::vector<std::string> data;
    for (const auto& r : standin().requests()) {
      if (r.path == "/quorb.registerevent/share") data.push_back(r.queryValue("data").value_or(""));
    }
    return data;
  }
  std::size_t uploadStreamRequests() {
    std::size_t n = 0;
    for (const auto& r : standin().requests()) n += r.path == "/v1/search" && r.queryValue("tag") == "@pixelpanda";
    return n;
  }

  UISimulator ui;
  std::shared_ptr<Owner> owner = std::make_shared<Owner>();
  std::shared_ptr<ProfilePacksViewController> screen = ProfilePacksViewController::init();
  std::shared_ptr<NSWindow> window;
};

TEST_F(ProfilePacksTest, UploadsPacksAndAnOpenPackLookAsExpected) {
  manager()->createNewCollection("Cats", false, true);
  manager()->createNewCollection("Dogs", false, true);
  screen->loadContentForState(screen->state);
  ASSERT_TRUE(eventually([&] { return !screen->contentCollectionView->mainSection().empty(); }));
  EXPECT_EQ(screen->contentCollectionView->layout.lock()->streamCount(), 2);
  EXPECT_EQ(titleColors(), "selected/unselected");
  EXPECT_DUMP(picture(), "collections/screens/expected/profile-uploads.txt");

  ui.click(screen->packsSegmentButton.lock());
  EXPECT_EQ(screen->state, State::packs);
  EXPECT_EQ(titleColors(), "unselected/selected");
  ASSERT_EQ(screen->contentCollectionView->mainSection().size(), 5u) << "Recents, Favorites, Saved and the two packs";
  EXPECT_DUMP(picture(), "collections/screens/expected/profile-packs.txt");

  auto cats = manager()->getCollection("Cats");
  std::size_t index = 0;
  while (screen->contentCollectionView->mainSection()[index] != cats) ++index;
  ui.click(tile(index)->view());
  EXPECT_EQ(screen->state, State::packStream);
  EXPECT_EQ(titleColors(), "unselected/unselected");
  EXPECT_EQ(screen->titledController()->view()->superview(), screen->view());
  EXPECT_DUMP(dumpViewTree(screen->view(), {.maxDepth = 2}), "collections/screens/expected/profile-pack-stream.txt");
}

TEST_F(ProfilePacksTest, SegmentsSwitchOnlyOnChangeAndTheTouchBarGetsStreamsButNotPacks) {
  screen->loadContentForState(screen->state);
  ASSERT_TRUE(eventually([&] { return !screen->contentCollectionView->mainSection().empty(); }));
  ASSERT_TRUE(eventually([&] { return !owner->log.empty() && owner->log.back().starts_with("touch bar"); }));
  EXPECT_EQ(owner->log.front(), "clear");
  const auto requests = uploadStreamRequests();

  owner->log.clear();
  ui.click(screen->uploadsSegmentButton.lock());
  EXPECT_EQ(screen->uploadsSegmentButton.lock()->state(), NSControlStateValueOn) << "stays pressed";
  EXPECT_TRUE(owner->log.empty()) << "the selected segment loads nothing";
  EXPECT_EQ(uploadStreamRequests(), requests);

  ui.click(screen->packsSegmentButton.lock());
  EXPECT_EQ(screen->contentCollectionView->mainSection().size(), 3u) << "Recents, Favorites and Saved";
  EXPECT_TRUE(owner->log.empty()) << "packs are not shown on the Touch Bar";

  ui.click(screen->uploadsSegmentButton.lock());
  EXPECT_EQ(owner->log.front(), "clear");
  EXPECT_TRUE(eventually([&] { return uploadStreamRequests() == requests + 1; }));

  // A signed-out profile keeps what it shows and asks for nothing.
  signOut();
  NSUserDefaults::standardUserDefaults()->removeObjectForKey(QuorbUserManager::Constants::userKey);
  ui.click(screen->packsSegmentButton.lock());
  ui.click(screen->uploadsSegmentButton.lock());
  EXPECT_EQ(screen->contentCollectionView->mainSection().size(), 3u);
  drainMainQueue();
  EXPECT_EQ(uploadStreamRequests(), requests + 1);
}

TEST_F(ProfilePacksTest, APackOpensOverThePanelAndBackReloadsThePacks) {
  screen->loadContentForState(State::packs);
  screen->didTapPacks(screen->packsSegmentButton.lock());
  auto pack = manager()->createNewCollection("Cats", false, true);
  pack->append(item(3));
  owner->log.clear();
  screen->cellTapped(pack, nullptr);
  EXPECT_EQ(owner->log.front(), "clear");
  EXPECT_EQ(screen->state, State::packStream);
  auto titled = screen->titledController();
  EXPECT_EQ(titled->view()->frame(), screen->view()->bounds());

  screen->collectionCreated();
  EXPECT_EQ(titled->view()->superview(), screen->view()) << "a new pack leaves the open one alone";

  titled->view()->removeFromSuperview();
  screen->didTapBack();
  EXPECT_EQ(screen->state, State::packs);
  EXPECT_EQ(titleColors(), "unselected/selected");
  EXPECT_EQ(screen->contentCollectionView->mainSection().size(), 4u);
  EXPECT_TRUE(titled->contentCollectionView->mainSection().empty());

  ui.click(screen->createCollectionButton.lock());
  ASSERT_EQ(owner->log.back(), "create");
  manager()->createNewCollection("Birds", false, true);
  owner->pending->collectionCreated();
  EXPECT_EQ(screen->contentCollectionView->mainSection().size(), 5u);
  screen->didTapUploads(screen->uploadsSegmentButton.lock());
  manager()->createNewCollection("Fish", false, true);
  owner->pending->collectionCreated();
  screen->didTapPacks(screen->packsSegmentButton.lock());
  EXPECT_EQ(screen->contentCollectionView->mainSection().size(), 6u);
}

TEST_F(ProfilePacksTest, AnUploadedGifIsCopiedConfirmedAndSharesAreLogged) {
  auto analytics = PlovexAnalytics::sharedPlovexAnalytics();
  ASSERT_TRUE(eventually([&] { return analytics->quorbID().has_value(); }));
  screen->loadContentForState(screen->state);
  ASSERT_TRUE(eventually([&] { return !screen->contentCollectionView->mainSection().empty(); }));
  auto vorn = asA<VornObject>(screen->contentCollectionView->mainSection()[0]);
  auto cell = tile(0);
  ASSERT_TRUE(cell);
  const auto before = NSPasteboard::generalPasteboard()->changeCount();
  screen->cellTapped(vorn, cell);
  EXPECT_GT(NSPasteboard::generalPasteboard()->changeCount(), before);
  EXPECT_EQ(manager()->getRecentsCollection()->vorns().front()->vid, vorn->vid);

  for (auto type : {EllipsesMenuShareType::copyLink, EllipsesMenuShareType::copyEmbed, EllipsesMenuShareType::copyGif}) {
    screen->didShareFromEllipsesMenuWithShareType(type, vorn);
  }
  // Events go out at once and in parallel, so the service may get them in any order.
  ASSERT_TRUE(eventually([&] { return shares().size() == 4; }));
  std::multiset<std::string> targets;
  for (const auto& data : shares()) {
    auto json = NSJSONSerialization::JSONObjectWithData(NSData::fromString(data));
    auto fields = json ? asA<NSDictionary>(*json) : nullptr;
    ASSERT_TRUE(fields) << data;
    EXPECT_EQ(fields->objectForKeyAs<NSString>("category")->string(), "uploads");
    EXPECT_EQ(fields->objectForKeyAs<NSString>("vornIDKey")->string(), vorn->vid);
    auto target = fields->objectForKeyAs<NSString>("targetapp");
    targets.insert(target ? target->string() : "(tap)");
  }
  EXPECT_EQ(targets, (std::multiset<std::string>{"(tap)", "copylink", "copyembed", "copygif"}));
  screen->usernameTapped("mossy_otter");
  EXPECT_EQ(owner->log.back(), "user mossy_otter");
}

TEST_F(ProfilePacksTest, AnOpenPackCoversTheListWholeAndTheListComesBackWithBack) {
  screen->didTapPacks(screen->packsSegmentButton.lock());
  ASSERT_EQ(screen->contentCollectionView->mainSection().size(), 3u) << "Recents, Favorites and Saved";
  // Where the list's second tile lies (the right column), in the screen's coordinates.
  auto listed = tile(1)->view();
  const NSRect shown = listed->superview()->convertRectToView(listed->frame(), screen->view());
  const NSPoint right{shown.midX(), shown.midY()};
  auto recents = manager()->getRecentsCollection();  // empty: its screen shows no tile at all
  std::size_t index = 0;
  while (screen->contentCollectionView->mainSection()[index] != recents) ++index;
  ui.click(tile(index)->view());
  auto titled = screen->titledController();
  ASSERT_EQ(titled->titleLabel.lock()->stringValue(), recents->name());

  // Nothing of the list shows or plays beside the open pack, and it takes no click.
  auto picture = ViewTreeRenderer::imageOfView(screen->view());
  const double flip = screen->view()->isFlipped() ? right.y : screen->view()->bounds().height() - right.y;
  const auto pixel = picture->pixelAt(static_cast<int>(right.x), static_cast<int>(flip));
  EXPECT_EQ((std::array<int, 4>{pixel[0], pixel[1], pixel[2], pixel[3]}), (std::array<int, 4>{255, 255, 255, 255}))
      << "the open pack's own white where the list's tile lay";
  EXPECT_TRUE(screen->contentContainer.lock()->isHidden());
  ui.click(screen->view(), right);
  EXPECT_EQ(screen->state, State::packStream);
  EXPECT_EQ(titled->titleLabel.lock()->stringValue(), recents->name()) << "no other pack opened under it";
  screen->restore();  // the panel shown again: the list stays put away
  EXPECT_TRUE(screen->contentContainer.lock()->isHidden());

  titled->didTapBack(nullptr);
  EXPECT_EQ(screen->state, State::packs);
  EXPECT_FALSE(screen->contentContainer.lock()->isHidden());
  EXPECT_EQ(screen->contentCollectionView->mainSection().size(), 3u);
  EXPECT_TRUE(tile(1)) << "the list shows its tiles again";
}

TEST_F(ProfilePacksTest, TheUploadsListShowsAGifTheUserJustUploadedFirst) {
  auto user = standin().state().accounts().userNamed("pixelpanda");
  ASSERT_TRUE(user);
  manager()->getSavedCollection()->append(localGif());
  ASSERT_TRUE(eventually([&] { return !standin().state().saved(user->userid).empty(); }));
  const auto uploaded = standin().state().saved(user->userid).front();
  screen->loadContentForState(State::uploads);
  ASSERT_TRUE(eventually([&] { return !screen->contentCollectionView->mainSection().empty(); }));
  EXPECT_EQ(asA<VornObject>(screen->contentCollectionView->mainSection().front())->vid, uploaded);
}

}  // namespace
