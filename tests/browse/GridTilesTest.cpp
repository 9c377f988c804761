// The grid's tiles with their media from the stand-in, through the simulator: progress then
// playback, a drag out of a loaded tile, the tile's menu and heart acting and logging, and the
// tag and pack tiles of a grid with several sections.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>

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
#include "platform/foundation/NSRunLoop.h"
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
  // Holds the queue pictures are made on until released (at the latest when it goes).
  struct ImageQueueGate {
    ImageQueueGate() {
      NSImage::loadingQueue()->async([opened = open.get_future().share()] { opened.wait(); });
    }
    ~ImageQueueGate() { release(); }
    void release() {
      if (!std::exchange(released, true)) open.set_value();
    }
    std::promise<void> open;
    bool released = false;
  };
  // Waits until every picture asked for so far was made and handed to its tile (or dropped).
  void drainImageLoading() {
    auto done = std::make_shared<std::atomic<bool>>(false);
    NSImage::loadingQueue()->async([done] { NSRunLoop::main()->perform([done] { *done = true; }); });
    ASSERT_TRUE(runUntil([&] { return done->load(); }));
  }
  // The tile's picture is its own item's cover, pixel for pixel, or none without a cover.
  void expectOwnCover(const std::shared_ptr<GifCell>& cell) {
    auto path = grid->mainCollectionView.lock()->indexPathForItem(cell);
    ASSERT_TRUE(path);
    auto tag = asA<VNTag>(grid->contentList[path->section][path->item]);
    ASSERT_TRUE(tag);
    if (tag->categoryCoverGifURL.empty()) {
      EXPECT_FALSE(cell->gif.lock()->image()) << tag->categoryTitle << " shows another tile's picture";
      return;
    }
    auto own = NSImage::initWithData(AssetCache::shared()->cachedAssetWithKey(tag->categoryCoverGifURL));
    auto shown = cell->gif.lock()->image();
    ASSERT_TRUE(own && shown) << tag->categoryTitle;
    ASSERT_TRUE((*own)->frame(0) && shown->frame(0));
    EXPECT_EQ((*own)->frame(0)->rgba, shown->frame(0)->rgba) << tag->categoryTitle << " shows another tile's picture";
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

TEST_F(GridTilesTest, PicturesAreMadeOffTheMainThreadAndReachOnlyTheTileStillShowingTheirItem) {
  const auto hasPicture = [](const std::shared_ptr<GifCell>& cell) { return bool(cell->gif.lock()->image()); };
  {
    // With the picture queue held, every cover arrives and is answered on the main thread,
    // which goes on: the tiles keep their placeholder and progress meanwhile.
    ImageQueueGate gate;
    std::vector<std::shared_ptr<NSObject>> tags;
    for (std::size_t n = 0; n < 30; ++n) {
      auto tag = VNTag::initWithNewApiData({});
      tag->categoryTitle = "#tag" + std::to_string(n);
      tag->displayWidthToHeightRatio = 1.0;
      // Every third has no cover: its tile must stay without a picture, whoever had it before.
      if (n % 3 != 2) tag->categoryCoverGifURL = mediaURL(n, "tinygif");
      tags.push_back(tag);
    }
    grid->setContentForMainSection(tags);
    grid->reload();
    ASSERT_TRUE(runUntil([&] { return !visibleTiles().empty() && grid->activeDownloadPaths.empty(); }));
    for (const auto& cell : visibleTiles()) {
      EXPECT_FALSE(hasPicture(cell)) << cell->contentLabel.lock()->stringValue();
      EXPECT_FALSE(cell->indicator.lock()->isHidden()) << cell->contentLabel.lock()->stringValue();
    }
    // Tiles scrolled away meanwhile are reused for other items, whose covers come after.
    auto scroll = grid->enclosingScrollView();
    const auto before = scroll->documentVisibleRect();
    ui.scrollWheel(grid->mainCollectionView.lock(), 0, -before.size.height, NSMakePoint(20, before.origin.y + 20));
    ASSERT_GT(scroll->documentVisibleRect().origin.y, before.origin.y);
    ASSERT_TRUE(runUntil([&] { return grid->activeDownloadPaths.empty(); }));
    EXPECT_TRUE(std::ranges::none_of(visibleTiles(), hasPicture));
  }
  drainImageLoading();
  ASSERT_TRUE(std::ranges::any_of(visibleTiles(), hasPicture));
  for (const auto& cell : visibleTiles()) expectOwnCover(cell);

  // The panel closes while the pictures of its reopening are being made: none of them shows
  // on a closed panel, and the next reopening makes them again.
  grid->unload();
  {
    ImageQueueGate gate;
    grid->restore();
    ASSERT_TRUE(runUntil([&] { return grid->activeDownloadPaths.empty(); }));
    grid->unload();
  }
  drainImageLoading();
  EXPECT_TRUE(std::ranges::none_of(visibleTiles(), hasPicture));
  grid->restore();
  ASSERT_TRUE(runUntil([&] { return grid->activeDownloadPaths.empty(); }));
  drainImageLoading();
  EXPECT_TRUE(std::ranges::any_of(visibleTiles(), hasPicture));
  for (const auto& cell : visibleTiles()) expectOwnCover(cell);
}

TEST_F(GridTilesTest, ClosingLetsEveryTilesMediaGoAndReopeningPlaysItAnewFromItsStart) {
  // A reopened panel's tiles are made anew, as a tile scrolled back into view is: their
  // movies and GIFs play from their start, whatever they showed when the panel closed,
  // and nothing plays or waits for a decoder meanwhile.
  loadAndPlay(VNStreamRequester::getForTrendingContent());
  ui.advance(0.15);
  auto collection = grid->mainCollectionView.lock();
  std::map<NSIndexPath, std::shared_ptr<AVPlayer>> closedPlayers;
  double furthest = 0;
  for (const auto& cell : visibleTiles()) {
    auto player = cell->movieLayer->player();
    if (!player) continue;
    closedPlayers[*collection->indexPathForItem(cell)] = player;
    furthest = std::max(furthest, CMTimeGetSeconds(player->currentTime()));
  }
  ASSERT_FALSE(closedPlayers.empty());
  ASSERT_GT(furthest, 0.0) << "the movies played on before the panel closed";

  grid->unload();
  for (const auto& cell : visibleTiles()) {
    EXPECT_FALSE(cell->movieLayer->player()) << cell->vorn->vid;
    EXPECT_FALSE(cell->gif.lock()->image()) << cell->vorn->vid;
  }
  for (const auto& [path, player] : closedPlayers) EXPECT_EQ(player->rate(), 0.0) << "a closed panel's movie stops";
  ui.advance(1);

  grid->restore();
  ASSERT_TRUE(runUntil([&] {
    auto tiles = visibleTiles();
    return !tiles.empty() && std::ranges::all_of(tiles, [](const auto& c) { return playing(*c); });
  }));
  std::size_t movies = 0;
  for (const auto& cell : visibleTiles()) {
    auto player = cell->movieLayer->player();
    if (!player) continue;
    ++movies;
    EXPECT_NE(player, closedPlayers[*collection->indexPathForItem(cell)]) << cell->vorn->vid;
    EXPECT_EQ(CMTimeGetSeconds(player->currentTime()), 0.0) << cell->vorn->vid;
  }
  EXPECT_EQ(movies, closedPlayers.size());

  // The same for GIF tiles.
  std::vector<std::shared_ptr<NSObject>> tags;
  for (std::size_t n = 0; n < 8; ++n) {
    auto tag = VNTag::initWithNewApiData({});
    tag->categoryTitle = "#tag" + std::to_string(n);
    tag->displayWidthToHeightRatio = 1.0;
    tag->categoryCoverGifURL = mediaURL(n, "tinygif");
    tags.push_back(tag);
  }
  grid->reset();
  grid->setContentForMainSection(tags);
  grid->reload();
  const auto allPictured = [&] {
    auto tiles = visibleTiles();
    return !tiles.empty() && std::ranges::all_of(tiles, [](const auto& c) { return bool(c->gif.lock()->image()); });
  };
  ASSERT_TRUE(runUntil(allPictured));
  ui.advance(0.15);
  ASSERT_TRUE(std::ranges::any_of(visibleTiles(), [](const auto& c) { return c->gif.lock()->currentFrame() > 0; }))
      << "the GIFs played on before the panel closed";
  grid->unload();
  ui.advance(1);
  grid->restore();
  ASSERT_TRUE(runUntil(allPictured));
  for (const auto& cell : visibleTiles()) EXPECT_EQ(cell->gif.lock()->currentFrame(), 0u) << cell->contentLabel.lock()->stringValue();
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
