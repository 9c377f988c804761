// A hostile picture on every tile, cover and sponsor badge of the home panel (its sponsors
// first in the trending strip, so that badges show), painted as a desktop paints it at two
// pixels a point: each tile sizes its picture by itself, never by the picture (the featured
// tags' covers fill their tiles), what each picture holds decoded and kept for drawing stays
// within its place's budget however large it claims to be, the process's own resident
// memory stays near the panel's usual peak, and the main thread is never held up by a
// picture for long.
//
// The pictures are a table: a case is one line.

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <map>

#include "browse/GifCell.h"
#include "platform/appkit/GifFrameStore.h"
#include "platform/appkit/NSImageView.h"
#include "tests/app/RootPanelFixture.h"
#include "tests/support/HostileGif.h"
#include "tests/support/HostilePicture.h"
#include "tests/support/RepaintCheck.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/SponsorsFirst.h"
#include "tests/support/StretchWatch.h"
#include "ui/NSImageViewExtensions.h"

namespace {

struct HostilePicture {
  const char* name;
  int side;  // the picture's own, by which its tiles are found
  std::string (*make)();
};

const HostilePicture kPictures[] = {
    {"Gif2000x2000Of24Frames", 2000, [] { return hostile::gif(2000, 24); }},
    {"Gif2000x2000CutOffHalfway", 2000, [] {
       const std::string whole = hostile::gif(2000, 24);
       return whole.substr(0, whole.size() / 2);
     }},
    {"Png8000x8000", 8000, [] { return hostile::png(8000); }},
    // Frames that differ and hardly compress: the file itself is megabytes.
    {"PatternedGif2000x2000Of64Frames", 2000, [] { return hostile::patternedGif64(); }},
    {"PatternedGifCutMidFrame", 2000, [] { return hostile::cutPatternedGif(); }},
};

// Named in test output by its name, not its bytes.
void PrintTo(const HostilePicture& picture, std::ostream* out) { *out << picture.name; }

// The bytes of each picture, made once for the program.
const std::string& bytesOf(const HostilePicture& picture) {
  static std::map<const HostilePicture*, std::string> made;
  auto found = made.find(&picture);
  if (found == made.end()) found = made.emplace(&picture, picture.make()).first;
  return found->second;
}

void collectCells(const std::shared_ptr<NSView>& view, std::vector<std::shared_ptr<GifCell>>& found) {
  for (const auto& subview : view->subviews()) {
    if (auto cell = asA<GifCell>(subview->nextResponder())) found.push_back(cell);
    collectCells(subview, found);
  }
}

struct PanelFigures {
  std::size_t peakGrowth = 0;  // bytes resident at the peak beyond those at the start
  double longestStretch = 0;   // seconds
  std::size_t tiles = 0, badges = 0;
};

class RootPanelHostileGifTest : public RootPanelTest, public ::testing::WithParamInterface<HostilePicture> {
 protected:
  void SetUp() override {
    RootPanelTest::SetUp();
    check = RepaintCheck::install(2.0);
    standin().clearFaults();
    hostile::putSponsorsFirstInTrending(standin());
  }
  void TearDown() override {
    RepaintCheck::uninstall();
    RootPanelTest::TearDown();
  }
  // Every GIF the stand-in serves (tiles, covers, badges) is the picture from now on.
  void serveEverywhere(const HostilePicture& picture) {
    const std::string* bytes = &bytesOf(picture);
    standin().addRoute("GET", "/media/.*\\.gif", [bytes](const StandinRequest&, StandinResponse& response, const Catalogue&) {
      // Sent piece by piece from the one copy: the stand-in shares this process, and a copy
      // of megabytes per request would count as the panel's memory.
      response.setGenerated(bytes->size(), [bytes](std::size_t offset, std::size_t count, std::string& out) {
        out.append(*bytes, offset, count);
      }, "image/gif");
    });
  }
  std::vector<std::shared_ptr<GifCell>> cells() {
    std::vector<std::shared_ptr<GifCell>> found;
    collectCells(window->contentView(), found);
    return found;
  }
  // The panel's tiles that show a picture (of that side, when one is given).
  std::vector<std::shared_ptr<GifCell>> tilesShowing(int side = 0) {
    std::vector<std::shared_ptr<GifCell>> shown;
    for (const auto& cell : cells()) {
      auto view = cell->gif.lock();
      auto image = view ? view->image() : nullptr;
      if (image && (side == 0 || image->size().width == side) && !view->isHiddenOrHasHiddenAncestor()) {
        shown.push_back(cell);
      }
    }
    return shown;
  }
  std::vector<std::shared_ptr<NSImageView>> badgesShowing() {
    std::vector<std::shared_ptr<NSImageView>> shown;
    for (const auto& cell : cells()) {
      auto badge = cell->adBadgeImageView.lock();
      if (badge && badge->image() && !badge->isHiddenOrHasHiddenAncestor()) shown.push_back(badge);
    }
    return shown;
  }
  // Shows the panel, waits for its tiles (showing a picture of that side, when given) and
  // for a sponsor's badge when one is to show, plays them for three seconds of the clock and
  // paints them.
  void showAndPlay(int side, bool badge, StretchWatch& watch) {
    show();
    ASSERT_TRUE(runUntil(watch.turns([&] {
      return tilesShowing(side).size() >= 6 && (!badge || !badgesShowing().empty());
    }), 120)) << tilesShowing(side).size() << " tiles, " << badgesShowing().size() << " badges";
    // Other badges arrive on their own: a later look finds those that came.
    runUntil(watch.turns([] { return false; }), 0.5);
    for (int step = 0; step < 30; ++step) {
      watch.time([&] { advance(0.1); });
      runUntil(watch.turns([] { return false; }), 0.02);
    }
  }
  // The panel shown and played from a fresh start (its media not cached); it stays shown.
  PanelFigures measure(int side, bool badge) {
    AssetCache::shared()->setMapping({});
    AssetCache::shared()->setOrder({});
    ::malloc_trim(0);
    EXPECT_TRUE(resident::restartPeak()) << "the kernel does not let the peak start over";
    const std::size_t start = resident::nowBytes();
    StretchWatch watch;
    PanelFigures figures;
    showAndPlay(side, badge, watch);
    figures.peakGrowth = resident::peakGrowthSince(start);
    figures.longestStretch = watch.longestSeconds();
    figures.tiles = tilesShowing(side).size();
    figures.badges = badgesShowing().size();
    return figures;
  }
  void letGo() {
    panel->contentCollectionView->reset();
    window->orderOut(nullptr);
    panel.reset();
    window.reset();
    drainMainQueue();
  }

  std::shared_ptr<RepaintCheck> check;
};

TEST_P(RootPanelHostileGifTest, EveryPictureIsSizedByItsPlaceWithinItsBudgetAndThePanelStaysNearItsUsualPeak) {
  const HostilePicture& picture = GetParam();
  // The panel with the stand-in's ordinary GIFs, once for the program.
  static const PanelFigures usual = [this] {
    const PanelFigures figures = measure(0, true);
    letGo();
    return figures;
  }();
  ASSERT_GE(usual.tiles, 6u);
  serveEverywhere(picture);
  // A badge's picture above its most bytes is refused, its view left blank.
  const bool badge = bytesOf(picture).size() <= std::size_t(kShownPictureMostBytes);
  const PanelFigures hostile = measure(picture.side, badge);
  if (HasFatalFailure()) return;
  const auto megabytes = [](std::size_t bytes) { return double(bytes) / (1 << 20); };
  RecordProperty("usual_peak_mb", std::to_string(megabytes(usual.peakGrowth)));
  RecordProperty("hostile_peak_mb", std::to_string(megabytes(hostile.peakGrowth)));
  RecordProperty("longest_stretch_ms", std::to_string(hostile.longestStretch * 1000));
  std::printf("%s: %zu tiles, %zu badges; peak %.1f MB (usual %.1f MB); longest stretch %.0f ms (usual %.0f ms)\n",
              picture.name, hostile.tiles, hostile.badges, megabytes(hostile.peakGrowth), megabytes(usual.peakGrowth),
              hostile.longestStretch * 1000, usual.longestStretch * 1000);
  EXPECT_LE(megabytes(hostile.peakGrowth),
            megabytes(usual.peakGrowth) + 64 + megabytes(resident::kSanitizerHeldBytes));
  // The goal is 50 ms, measured in the memory benchmark; here a bound that holds on a busy
  // machine and under the sanitizers, while a picture decoded or converted whole on the
  // main thread takes longer.
  EXPECT_LE(hostile.longestStretch, 1.0);

  int covers = 0;
  for (const auto& cell : tilesShowing(picture.side)) {
    auto view = cell->gif.lock();
    const NSSize tile = cell->view()->bounds().size, shown = view->frame().size;
    SCOPED_TRACE(testing::Message() << "tile " << tile.width << "x" << tile.height << ", picture " << shown.width
                                    << "x" << shown.height);
    covers += cell->shouldAspectFillGif ? 1 : 0;
    // Covering the tile, the picture reaches past it along one side only as its shape asks.
    EXPECT_LE(std::min(shown.width / tile.width, shown.height / tile.height),
              GifCell::Constants::aspectFillScale + 0.01);
    auto image = view->image();
    EXPECT_LE(std::max(image->pixelWidth(), image->pixelHeight()), GifCell::Constants::pictureMostSide);
    if (auto frames = image->gifFrames()) {
      EXPECT_LE(frames->peakBytesWithKept(), GifCell::Constants::pictureBudgetBytes) << "decoded and kept, at the most";
    }
  }
  EXPECT_GT(covers, 0) << "a featured tag's cover shows the picture";
  if (!badge) {
    EXPECT_EQ(hostile.badges, 0u);
  }
  for (const auto& badge : badgesShowing()) {
    // At two pixels a point (or the window's own, if more).
    const double most = std::max(badge->frame().size.width, badge->frame().size.height) * 2;
    EXPECT_LE(std::max(badge->image()->pixelWidth(), badge->image()->pixelHeight()), most);
    if (auto frames = badge->image()->gifFrames()) {
      EXPECT_LE(frames->peakBytesWithKept(), GifCell::Constants::badgeBudgetBytes);
    }
  }
  // The last frame change is painted at the next display pass, a moment later. With the clock
  // still, a frame or scaled copy that a worker finishes between a display pass and the full
  // painting it is compared with differs only until the next pass; stale pixels stay.
  advance(0.03);
  std::string differing;
  runUntil([&] { return (differing = check->mismatch(window, 2)).empty(); }, 5);
  EXPECT_EQ(differing, "");
}

INSTANTIATE_TEST_SUITE_P(Pictures, RootPanelHostileGifTest, ::testing::ValuesIn(kPictures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
