// The grid's tiles with their media from the stand-in, through the simulator: progress then
// playback, a drag out of a loaded tile, the tile's menu and heart acting and logging, and the
// tag and pack tiles of a grid with several sections.

#include <gtest/gtest.h>

#include "browse/GifCollectionViewController.h"
#include "collections/Collection.h"
#include "model/VNTag.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "platform/av/AVPlayer.h"
#include "platform/av/AVPlayerLayer.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "service/AdvertisingLogger.h"
#include "service/GlobalKeys.h"
#include "service/VNStreamRequester.h"
#include "tests/browse/GifCellFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"
#include "ui/ClickableImageView.h"
#include "ui/QLXButton.h"
#include "ui/ProgressIndicator.h"
#include "ui/QLXButton.h"

namespace {

class GridListener : public GifCollectionViewControllerDelegate, public DraggableCellDelegate {
 public:
  std::vector<std::string> heard;
  void didRetrieveContentWithContent(const VNRequester::Content& content) override {
    heard.push_back("content " + std::to_string(content.size()));
  }
  void didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType type, const std::shared_ptr<VornObject>& vorn) override {
    heard.push_back("share " + std::to_string(int(type)) + " " + vorn->vid);
  }
  void cellTapped(const std::shared_ptr<NSObject>& object, const std::shared_ptr<GifCell>&) override {
    heard.push_back("tapped " + object->className());
  }
  void successfulDragEndedWithVorn(const std::shared_ptr<VornObject>& vorn) override { heard.push_back("dropped " + vorn->vid); }
};

class GridTilesTest : public GifCellFixture {
 protected:
  void SetUp() override {
    GifCellFixture::SetUp();
    NSApplication::resetSharedApplication();
    NSMenu::resetMenus();
    NSDraggingSession::resetSessions();
    AdvertisingLogger::setQueue(AdvertisingLogger::makeQueue());
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 400), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    window->contentView()->addSubview(grid->view());
    grid->delegate = listener;
    grid->dragDelegate = listener;
    // As the application delegate does: every "dragBegin" begins the session it carries.
    begins = NSNotificationCenter::defaultCenter()->addObserverForName(
        GlobalKeys::dragBeginNotificationName, nullptr, nullptr, [](const std::shared_ptr<NSNotification>& note) {
          auto values = asA<DraggableAdTrackingCollectionViewController::DragBegin>(note->object());
          values->view->beginDraggingSessionWithItems({values->draggingItem}, values->event, values->source);
        });
  }
  void TearDown() override {
    grid->reset();
    AdvertisingLogger::queue()->waitUntilAllOperationsAreFinished();
    NSDraggingSession::resetSessions();
    NSMenu::resetMenus();
    NSApplication::resetSharedApplication();
    GifCellFixture::TearDown();
  }

  std::vector<std::shared_ptr<GifCell>> visibleTiles() {
    std::vector<std::shared_ptr<GifCell>> tiles;
    for (const auto& item : grid->mainCollectionView.lock()->visibleItems())
      if (auto cell = std::dynamic_pointer_cast<GifCell>(item)) tiles.push_back(cell);
    return tiles;
  }
  static bool playing(const GifCell& cell) {
    auto player = cell.movieLayer->player();
    return (player && player->rate() > 0) || cell.gif.lock()->image();
  }
  // Loads the stream and waits until every tile on screen plays its media.
  void loadAndPlay(std::shared_ptr<VNRequester> requester) {
    grid->requester = std::move(requester);
    grid->reload();
    ASSERT_TRUE(runUntil([&] {
      auto tiles = visibleTiles();
      return !grid->fetchLock() && !tiles.empty() && std::ranges::all_of(tiles, [](const auto& c) { return playing(*c); });
    }));
  }
  std::size_t logged(std::string_view prefix) {
    return static_cast<std::size_t>(std::ranges::count_if(
        standin().requests(), [&](const auto& request) { return request.path.starts_with(prefix); }));
  }
  std::string mediaURL(std::size_t n, std::string_view format) {
    return standin().catalogue().mediaURL(standin().catalogue().items().at(n), format);
  }

  std::shared_ptr<GifCollectionViewController> grid = GifCollectionViewController::init();
  std::shared_ptr<GridListener> listener = std::make_shared<GridListener>();
  std::shared_ptr<NSWindow> window;
  UISimulator ui;
  id begins;
};

TEST_F(GridTilesTest, TilesShowTheirDownloadThenPlayAndADragOutDeliversWhatEachTargetAsks) {
  loadAndPlay(VNStreamRequester::getForTrendingContent());
  for (const auto& cell : visibleTiles()) {
    // The real progress reached its end over the early simulated one.
    EXPECT_EQ(cell->indicator.lock()->value(), 1.0) << cell->vorn->vid;
    EXPECT_EQ(bool(cell->movieLayer->player()), bool(cell->vorn->tinyMp4Url)) << cell->vorn->vid;
  }
  EXPECT_DUMP(dumpViewTree(grid->view(), {.skipHidden = true, .maxDepth = 7}), "browse/expected/gif-grid-loaded.txt");

  auto cell = visibleTiles().front();
  auto vorn = cell->vorn;
  ASSERT_TRUE(runUntil([&] { return AssetCache::shared()->storagePathForKey(vorn->tinyGifUrl) != nullptr; }));
  auto file = AssetCache::shared()->storagePathForKey(vorn->tinyGifUrl);
  auto bytes = NSFileManager::defaultManager()->contentsAtPath(file->path());
  ASSERT_TRUE(bytes);
  struct Row {
    std::string type;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {kUTTypeGIF, std::string(bytes->view())},
      {kUTTypeFileURL, file->absoluteString()},
      {kUTTypePlainText, vorn->webUrl().value_or("")},
  };
  for (const auto& row : rows) {
    auto drop = ui.dragOut(cell->view(), DropTarget{"Reader", {row.type}});
    ASSERT_TRUE(drop.began) << row.type;
    EXPECT_EQ(drop.read[row.type].value_or("(nothing)").substr(0, row.expected.size()), row.expected) << row.type;
  }
  EXPECT_EQ(std::ranges::count(listener->heard, "dropped " + vorn->vid), 3);

  // The drag image sits where the tile is in the window, moved back by the spacing around it.
  const NSRect tile = cell->view()->frame();
  const NSRect inWindow = grid->mainCollectionView.lock()->superview()->convertRectToView(tile, nullptr);
  auto text = [](NSRect r) {
    return dumpNumber(r.origin.x) + " " + dumpNumber(r.origin.y) + " " + dumpNumber(r.size.width) + " " +
           dumpNumber(r.size.height);
  };
  EXPECT_EQ(text(grid->getDragFrameWithCellFrame(tile)),
            text(NSMakeRect(inWindow.origin.x - 15, inWindow.origin.y - 10, tile.size.width, tile.size.height)));
}

TEST_F(GridTilesTest, ATilesMenuAndHeartActThroughTheCollectionsAndLogTheirEvents) {
  signIn("griddy", "token-griddy");
  NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA=="), "analytics-key");
  PlovexAnalytics::setSharedPlovexAnalytics(PlovexAnalytics::init());
  auto pack = manager()->createNewCollection("Cats", false, true);
  // A sponsored item pinned before the stream: its copy is a share the sponsor hears of.
  const auto& items = standin().catalogue().items();
  auto sponsor = std::ranges::find_if(items, [](const auto& entry) { return entry.sponsored() && entry.featureText; });
  ASSERT_NE(sponsor, items.end());
  auto sponsored = *VornObject::initWithNewApiData(standin().catalogue().itemObject(*sponsor));
  grid->preContent = {sponsored};
  loadAndPlay(VNStreamRequester::getForTrendingContent());
  auto cell = std::dynamic_pointer_cast<GifCell>(grid->mainCollectionView.lock()->itemAtIndexPath({0, 0}));
  ASSERT_TRUE(cell);

  ui.moveMouseTo(cell->view());
  ASSERT_TRUE(ui.openMenuWith(cell->moreOptionButton.lock()));
  ASSERT_TRUE(ui.chooseMenuItem({"Copy GIF"}));
  EXPECT_EQ(NSPasteboard::generalPasteboard()->stringForType(kUTTypePlainText), sponsored->webUrl());
  EXPECT_EQ(listener->heard.back(), "share 0 " + sponsored->vid);

  ASSERT_TRUE(ui.openMenuWith(cell->moreOptionButton.lock()));
  ASSERT_TRUE(ui.chooseMenuItem({"Add to Pack", "Cats"}));
  EXPECT_EQ(vids(pack), std::vector<std::string>{sponsored->vid});

  ui.moveMouseTo(cell->view());
  ui.click(cell->heart.lock());
  EXPECT_EQ(vids(manager()->getFavoritesCollection()), std::vector<std::string>{sponsored->vid});
  EXPECT_EQ(vids(manager()->getRecentsCollection()).front(), sponsored->vid);

  AdvertisingLogger::queue()->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(standin().waitForRequest([](const auto& r) { return r.path == "/quorb.registerevent/favorite"; }, 10.0));
  EXPECT_TRUE(runUntil([&] { return logged("/v1/registeraction") >= 1; }));
}

TEST_F(GridTilesTest, TagAndPackTilesTakeTheirSizeAndCoverAndADisabledSectionShowsNothing) {
  grid->setNumberOfSections(2);
  grid->mainContentDisplaySection = 1;
  auto square = VNTag::initWithNewApiData({});
  square->categoryTitle = "#cats";
  square->displayWidthToHeightRatio = 1.0;
  square->categoryCoverGifURL = mediaURL(1, "tinygif");
  auto wide = VNTag::initWithNewApiData({});
  wide->categoryTitle = "#dogs";
  auto pack = manager()->createNewCollection("Birds", false, true);
  pack->setPreviewURL(NSURL::URLWithString(mediaURL(2, "tinygif")));
  auto sizeless = item(3);
  sizeless->dims = NSSize{0, 0};
  grid->contentList[0] = {item(4)};
  grid->sectionEnableMap[0] = false;
  grid->setContentForMainSection({square, wide, pack, sizeless, NSString::make("neither")});
  grid->reload();
  EXPECT_EQ(listener->heard, std::vector<std::string>{"content 5"});

  auto collection = grid->mainCollectionView.lock();
  EXPECT_EQ(grid->numberOfItemsInSection(*collection, 0), 0u);
  const double h = grid->view()->frame().size.height;
  const std::vector<std::pair<std::size_t, NSSize>> sizes = {
      {0, {h, h}}, {1, {h * 1.9344, h}}, {2, {h * 1.9344, h}}, {3, {h * 1.9344, h}}};
  for (auto [item, size] : sizes) EXPECT_EQ(grid->sizeForItemAtIndexPath({item, 1}), size) << item;

  auto tile = [&](std::size_t item) { return std::dynamic_pointer_cast<GifCell>(collection->itemAtIndexPath({item, 1})); };
  ASSERT_TRUE(tile(0) && tile(2));
  EXPECT_TRUE(tile(0)->shouldAspectFillGif);
  EXPECT_TRUE(runUntil([&] { return tile(0)->gif.lock()->image() && tile(2)->gif.lock()->image(); }));
  EXPECT_FALSE(tile(1)->gif.lock()->image());  // no cover to fetch
  EXPECT_EQ(tile(0)->contentLabel.lock()->stringValue(), "cats");
  EXPECT_FALSE(std::dynamic_pointer_cast<GifCell>(collection->itemAtIndexPath({4, 1})));
  ui.click(tile(0)->view());  // over its title
  EXPECT_EQ(listener->heard.back(), "tapped VNTag");
}

}  // namespace
