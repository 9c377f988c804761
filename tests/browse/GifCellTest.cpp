// The GIF tile: media fetched through the grid's downloader and the media cache, progress,
// playback of an animated GIF and of a looping movie, the aspect fill, and the reuse rules.

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "browse/GifCell.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/av/AVPlayer.h"
#include "platform/av/AVPlayerItem.h"
#include "platform/av/AVPlayerLayer.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/render/CairoContext.h"
#include "service/AssetCache.h"
#include "service/CollectionViewGifDownloader.h"
#include "tests/browse/GifCellFixture.h"
#include "tests/support/HostileGif.h"
#include "tests/support/HostilePicture.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/ViewDump.h"
#include "ui/ProgressIndicator.h"

namespace {

// Feeds tiles as a grid does: progress and finished media hop to the main queue first.
class TileFeeder : public CollectionViewGifDownloaderDelegate {
 public:
  std::map<std::string, std::shared_ptr<GifCell>> tiles;  // by media URL
  void didProgress(const std::shared_ptr<NSURL>& url, double percentage) override {
    DispatchQueue::main()->async([this, url, percentage] {
      if (percentage >= 0) tiles.at(url->absoluteString())->showProgress(percentage);
    });
  }
  void downloadCompletedWithUrl(const std::shared_ptr<NSURL>& url, const std::optional<std::string>& key,
                                std::optional<DownloadFileType> type, DownloadCompleteStatus status) override {
    DispatchQueue::main()->async([this, url, key, type, status] {
      ASSERT_EQ(status, DownloadCompleteStatus::completed);
      auto tile = tiles.at(url->absoluteString());
      if (type == DownloadFileType::mp4) tile->playMovieWithFilePath(AssetCache::shared()->storagePathForKey(*key));
      else tile->updateAnimatedImageWithImage(*NSImage::initWithData(AssetCache::shared()->cachedAssetWithKey(*key)));
    });
  }
};

class GifCellTest : public GifCellFixture {
 protected:
  // A tile handed out again, now for a category's title.
  std::shared_ptr<GifCell> titleTile(const std::string& title) {
    auto cell = tile(item(1));
    showTag(*cell, title);
    return cell;
  }
};

TEST_F(GifCellTest, TilesShowProgressThenPlayTheirGifOrLoopTheirMovie) {
  auto feeder = std::make_shared<TileFeeder>();
  auto downloader = CollectionViewGifDownloader::make();
  downloader->setDelegate(feeder);
  auto gifTile = tile(item(1));
  auto movieTile = tile(item(2));
  EXPECT_DUMP(dumpViewTree(gifTile->view()), "browse/expected/gif-cell-loading.txt");
  feeder->tiles[gifTile->vorn->tinyGifUrl] = gifTile;
  feeder->tiles[*movieTile->vorn->tinyMp4Url] = movieTile;
  downloader->downloadMedia(NSURL::URLWithString(gifTile->vorn->tinyGifUrl), DownloadFileType::gif);
  downloader->downloadMedia(NSURL::URLWithString(*movieTile->vorn->tinyMp4Url), DownloadFileType::mp4);
  ASSERT_TRUE(runUntil([&] { return gifTile->gif.lock()->image() && movieTile->movieLayer->player(); }));
  drainMainQueue();

  auto image = gifTile->gif.lock();
  EXPECT_TRUE(image->animates());
  EXPECT_TRUE(image->image()->isAnimated());
  EXPECT_GT(gifTile->indicator.lock()->value(), 0.0);
  ASSERT_TRUE(gifTile->getCurrentImage());
  ASSERT_TRUE(movieTile->getCurrentImage());

  // A second tile starts the same movie a little later; each loops on its own end only.
  const double offset = 0.1;
  auto lateTile = tile(item(3));
  advance(offset);
  lateTile->playMovieWithFilePath(AssetCache::shared()->storagePathForKey(*movieTile->vorn->tinyMp4Url));
  auto first = movieTile->movieLayer->player();
  auto late = lateTile->movieLayer->player();
  EXPECT_EQ(first->volume, 0.0f);
  const double length = CMTimeGetSeconds(first->currentItem()->duration());
  ASSERT_GT(length, offset + 0.1);
  advance(length - offset + 0.05);  // the first movie has ended and started over
  EXPECT_NEAR(first->currentSeconds(), 0.05, 0.02);
  EXPECT_NEAR(late->currentSeconds(), length - offset + 0.05, 0.02);
  EXPECT_EQ(first->rate(), 1.0);
  advance(offset);
  EXPECT_NEAR(late->currentSeconds(), 0.05, 0.02);
  EXPECT_NEAR(first->currentSeconds(), 0.05 + offset, 0.02);

  movieTile->reset();  // leaving the screen stops and drops the player
  EXPECT_FALSE(movieTile->movieLayer->player());
  EXPECT_EQ(first->rate(), 0.0);
  downloader->cancelAll();
}

TEST_F(GifCellTest, AspectFillCoversTheFrameAndSkipsImagesWithoutArea) {
  struct Row {
    bool fill;
    NSSize image;
    double vertical, horizontal;  // the constants of top/bottom and leading/trailing
    NSImageScaling scaling;
  };
  const std::vector<Row> rows = {
      {true, {100, 50}, -5.0, -110.0, NSImageScaling::proportionallyUpOrDown},
      // A picture larger than the tile is drawn at the tile's size, not at its own.
      {true, {300, 300}, -5.0, -5.0, NSImageScaling::proportionallyUpOrDown},
      {true, {2000, 1000}, -5.0, -110.0, NSImageScaling::proportionallyUpOrDown},
      {true, {50, 100}, -110.0, -5.0, NSImageScaling::proportionallyUpOrDown},
      // No area to scale from: the placement stays as the interface made it.
      {true, {0, 50}, 0.0, 0.0, NSImageScaling::proportionallyUpOrDown},
      {true, {100, -2}, 0.0, 0.0, NSImageScaling::proportionallyUpOrDown},
      {false, {100, 50}, 0.0, 0.0, NSImageScaling::axesIndependently},
  };
  for (const auto& row : rows) {
    auto cell = tile(item(1));
    cell->view()->setFrame(NSMakeRect(0, 0, 200, 200));
    cell->view()->layoutSubtreeIfNeeded();
    ASSERT_EQ(cell->gif.lock()->frame().size, (NSSize{200, 200}));
    cell->shouldAspectFillGif = row.fill;
    cell->resizeGifForImage(sizedImage(row.image));
    const std::string at = std::to_string(row.image.width) + "x" + std::to_string(row.image.height);
    EXPECT_EQ(cell->gifTopConstraint.lock()->constant(), row.vertical) << at;
    EXPECT_EQ(cell->gifBottomConstraint.lock()->constant(), row.vertical) << at;
    EXPECT_EQ(cell->gifLeadingConstraint.lock()->constant(), row.horizontal) << at;
    EXPECT_EQ(cell->gifTrailingConstraint.lock()->constant(), row.horizontal) << at;
    EXPECT_EQ(cell->gif.lock()->imageScaling(), row.scaling) << at;
  }
}

// A GIF fills its tile (the uploads of the service have no movie to show instead), whether the
// grid made the tile new or handed out one that had shown something else: an 8 x 8 picture is
// drawn over the whole tile, not at its own size in the middle of the dark.
TEST_F(GifCellTest, ANewTileFillsWithItsGifAsAReusedOneDoes) {
  std::vector<std::uint8_t> green;
  for (int i = 0; i < 8 * 8; ++i) green.insert(green.end(), {0x22, 0xaa, 0x66, 0xff});
  for (bool reused : {false, true}) {
    SCOPED_TRACE(reused ? "a reused tile" : "a new tile");
    // As the grids make and configure a GIF's tile.
    auto cell = GifCell::make();
    cell->loadViewIfNeeded();
    if (reused) {
      cell->configureWithVorn(item(2));
      cell->reset();  // it stopped being displayed
    }
    cell->configureWithVorn(item(1));
    cell->simulateProgress();
    cell->updateAnimatedImageWithImage(NSImage::imageWithPixels(8, 8, green));
    const auto drawn = ViewTreeRenderer::imageOfView(cell->view());
    ASSERT_TRUE(drawn);
    const int w = drawn->pixelWidth(), h = drawn->pixelHeight();
    ASSERT_GT(w, 100);
    std::vector<std::string> notGreen;
    for (auto [x, y] : {std::pair{8, 8}, {w / 2, 8}, {w - 9, 8}, {8, h / 2}, {w / 2, h / 2}, {w - 9, h / 2},
                        {8, h - 9}, {w / 2, h - 9}, {w - 9, h - 9}}) {
      const auto p = drawn->pixelAt(x, y);
      if (std::abs(p[0] - 0x22) > 8 || std::abs(p[1] - 0xaa) > 8 || std::abs(p[2] - 0x66) > 8)
        notGreen.push_back(std::to_string(x) + "," + std::to_string(y));
    }
    EXPECT_EQ(notGreen, std::vector<std::string>{}) << "points of the tile the GIF does not cover";
  }
}

TEST_F(GifCellTest, ACoverTileSizesAHugePictureByTheTileNotByThePicture) {
  auto cell = titleTile("huge");
  cell->shouldAspectFillGif = true;
  cell->view()->setFrame(NSMakeRect(0, 0, 190, 76));
  cell->view()->layoutSubtreeIfNeeded();
  const NSSize tileSize = cell->contentContainer.lock()->bounds().size;
  // Shown twice over without a reset (a second picture for the same tile): no growth either.
  for (int shown = 0; shown < 2; ++shown) {
    cell->updateAnimatedImageWithImage(sizedImage({2000, 2000}));
    cell->view()->layoutSubtreeIfNeeded();
    const NSRect frame = cell->gif.lock()->frame();
    const double longest = std::max(tileSize.width, tileSize.height) * GifCell::Constants::aspectFillScale;
    EXPECT_LE(std::max(frame.size.width, frame.size.height), longest + 1e-9) << shown;
    // Still covering the tile, centred on it.
    EXPECT_GE(frame.size.width, tileSize.width);
    EXPECT_GE(frame.size.height, tileSize.height);
    EXPECT_NEAR(frame.midX(), tileSize.width / 2, 1e-9);
    EXPECT_NEAR(frame.midY(), tileSize.height / 2, 1e-9);
  }
}

TEST_F(GifCellTest, TitleTilesAndTheBadgeCornerFollowWhatTheyShow) {
  auto cell = titleTile("#funny#cats");
  cell->mouseEntered();  // a title tile has no hover
  for (auto [position, corner] : std::vector<std::pair<AdBadgePosition, NSPoint>>{
           {AdBadgePosition::bottomRight, {160, 0}},
           {AdBadgePosition::bottomLeft, {0, 0}},
           {AdBadgePosition::topRight, {160, 134}},
           {AdBadgePosition::topRightShadow, {0, 134}}}) {
    cell->applyAdBadgePosition(position);
    cell->view()->layoutSubtreeIfNeeded();
    EXPECT_EQ(cell->adBadgeImageView.lock()->frame().origin, corner) << int(position);
  }
  EXPECT_DUMP(dumpViewTree(cell->view()), "browse/expected/gif-cell-tag.txt");
}

TEST_F(GifCellTest, ATitleAndACopyConfirmationAreDrawnOnceThenLaidOnFromKeptPixels) {
  auto cell = titleTile("cats");
  cell->displayConfirmationOverlayWithMessage(std::nullopt);
  auto view = cell->view();
  view->layoutSubtreeIfNeeded();
  auto canvas = CairoContext::make(view->frame().size, 2.0);
  canvas->translate(-view->frame().minX(), -view->frame().minY());
  // As at every frame of the GIF under them.
  for (int frame = 0; frame < 3; ++frame) ViewTreeRenderer::drawView(view, *canvas);
  EXPECT_EQ(canvas->keptPicturesMade(), 2u);
}

TEST_F(GifCellTest, AReusedTileDropsTheHidePendingForItsFormerItem) {
  auto cell = tile(item(1));
  auto overlay = cell->copyConfirmContainer.lock();
  cell->displayConfirmationOverlayWithMessage(std::string("Added to Cats"));
  EXPECT_EQ(overlay->alphaValue(), 1.0);
  advance(2.0);
  cell->reset();  // scrolled away and handed out for another item
  EXPECT_EQ(overlay->alphaValue(), 0.0);
  cell->configureWithVorn(item(2));
  advance(0.5);
  cell->displayConfirmationOverlayWithMessage(std::nullopt);
  EXPECT_EQ(cell->copyConfirmLabel.lock()->stringValue(), "Copied to clipboard!");
  advance(1.0);  // the former item's hide would have fallen due here
  EXPECT_EQ(overlay->alphaValue(), 1.0);
  advance(2.1);
  EXPECT_EQ(overlay->alphaValue(), 0.0);
}

TEST_F(GifCellTest, SponsorBadgesAreDecodedAwayFromTheMainThreadAtTheBadgesSize) {
  // A dozen tiles, each badge a hostile picture from the media cache: asking costs the main
  // thread nothing of the picture, each is kept at the badge's pixels within the badge's own
  // budget, and the process's resident memory grows by little more than the badges themselves.
  const struct {
    const char* name;
    std::string bytes;
  } pictures[] = {
      {"an 8000 x 8000 PNG", hostile::png(8000)},
      {"a 2000 x 2000 GIF of 24 frames", hostile::gif(2000, 24)},
      // 1.5 MB of frames at the badge's pixels: within a tile's budget, three times a badge's.
      {"a badge-sized GIF of 60 frames", hostile::gif(80, 60)},
  };
  for (const auto& [name, bytes] : pictures) {
    SCOPED_TRACE(name);
    const std::string url = "http://127.0.0.1:1/badges/" + std::to_string(bytes.size()) + ".gif";
    AssetCache::shared()->cacheAssetWithData(NSData::fromString(bytes), url, std::nullopt);
    std::vector<std::shared_ptr<GifCell>> tiles;
    for (int i = 0; i < 12; ++i) tiles.push_back(tile(item(1 + i)));
    ::malloc_trim(0);
    ASSERT_TRUE(resident::restartPeak());
    const std::size_t start = resident::nowBytes();
    const auto asked = std::chrono::steady_clock::now();
    for (const auto& cell : tiles) cell->showAdBadgeWithImage(NSURL::URLWithString(url));
    const double asking = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    EXPECT_LT(asking, 1.0) << "the main thread decoded the badges";
    ASSERT_TRUE(runUntil([&] {
      return std::ranges::all_of(tiles, [](const auto& cell) { return cell->adBadgeImageView.lock()->image() != nullptr; });
    }, 60));
    const std::size_t grown = resident::peakGrowthSince(start);
    EXPECT_LT(grown, (std::size_t(64) << 20) + resident::kSanitizerHeldBytes)
        << "the process grew by " << (grown >> 20) << " MB at its peak";
    std::size_t mostKept = 0;
    for (const auto& cell : tiles) {
      auto badge = cell->adBadgeImageView.lock();
      const NSSize points = badge->frame().size;
      EXPECT_LE(std::max(badge->image()->pixelWidth(), badge->image()->pixelHeight()),
                std::max(points.width, points.height) * 2);
      if (auto frames = badge->image()->gifFrames()) mostKept = std::max(mostKept, frames->peakBytesWithKept());
    }
    EXPECT_LE(mostKept, GifCell::Constants::badgeBudgetBytes) << "bytes a badge decoded and kept, at the most";
  }
}

TEST_F(GifCellTest, ABadgeAskedForBeforeTheTileMovedOnIsNotShown) {
  AssetCache::shared()->cacheAssetWithData(NSData::fromString(hostile::png(2000)), "http://127.0.0.1:1/badge.gif",
                                           std::nullopt);
  auto cell = tile(item(1));
  cell->showAdBadgeWithImage(NSURL::URLWithString("http://127.0.0.1:1/badge.gif"));
  cell->reset();  // scrolled away and handed out for another item, without a badge
  cell->configureWithVorn(item(2));
  // Pictures are loaded in the order asked: once a later one is there, the badge's was too.
  bool later = false;
  NSImage::loadInBackground([] { return NSData::fromString(hostile::png(8)); }, [&](auto) { later = true; });
  ASSERT_TRUE(runUntil([&] { return later; }));
  drainMainQueue();
  EXPECT_FALSE(cell->adBadgeImageView.lock()->image());
}

}  // namespace
