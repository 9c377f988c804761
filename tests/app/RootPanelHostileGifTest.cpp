// A hostile GIF on every tile of the home panel, painted as a desktop paints it at two
// pixels a point: each tile sizes its picture by itself, never by the picture (the featured
// tags' covers fill their tiles), and what each GIF holds decoded and kept for drawing stays
// within a tile's budget however large its frames claim to be.

#include <gtest/gtest.h>

#include "browse/GifCell.h"
#include "platform/appkit/GifFrameStore.h"
#include "platform/appkit/NSImageView.h"
#include "tests/app/RootPanelFixture.h"
#include "tests/support/HostileGif.h"
#include "tests/support/RepaintCheck.h"

namespace {

constexpr int kSide = 2000;

void collectCells(const std::shared_ptr<NSView>& view, std::vector<std::shared_ptr<GifCell>>& found) {
  for (const auto& subview : view->subviews()) {
    if (auto cell = asA<GifCell>(subview->nextResponder())) found.push_back(cell);
    collectCells(subview, found);
  }
}

class RootPanelHostileGifTest : public RootPanelTest {
 protected:
  void SetUp() override {
    RootPanelTest::SetUp();
    check = RepaintCheck::install(2.0);
    standin().clearFaults();
    static const std::string bytes = hostile::gif(kSide, 24);
    standin().addRoute("GET", "/media/.*\\.gif", [](const StandinRequest&, StandinResponse& response, const Catalogue&) {
      response.setText(bytes, "image/gif");
    });
  }
  void TearDown() override {
    RepaintCheck::uninstall();
    RootPanelTest::TearDown();
  }
  // The panel's tiles that show the hostile GIF.
  std::vector<std::shared_ptr<GifCell>> hostileTiles() {
    std::vector<std::shared_ptr<GifCell>> cells, shown;
    collectCells(window->contentView(), cells);
    for (const auto& cell : cells) {
      auto view = cell->gif.lock();
      auto image = view ? view->image() : nullptr;
      if (image && image->size().width == kSide && !view->isHiddenOrHasHiddenAncestor()) shown.push_back(cell);
    }
    return shown;
  }
  std::shared_ptr<RepaintCheck> check;
};

TEST_F(RootPanelHostileGifTest, EveryTileSizesItsPictureByItselfAndKeepsWithinItsBudget) {
  show();
  // The covers of the home grid's first two rows and the strip's first tiles, at least.
  ASSERT_TRUE(runUntil([&] { return hostileTiles().size() >= 6; }, 60)) << hostileTiles().size();
  // Frames play and are painted: each drawn at its tile's size, kept for the next loop.
  for (int step = 0; step < 30; ++step) {
    advance(0.1);
    runUntil([] { return false; }, 0.02);
  }
  const auto budget = GifCell::Constants::pictureBudgetBytes;
  int covers = 0;
  for (const auto& cell : hostileTiles()) {
    auto view = cell->gif.lock();
    const NSSize tile = cell->view()->bounds().size, picture = view->frame().size;
    SCOPED_TRACE(testing::Message() << "tile " << tile.width << "x" << tile.height << ", picture " << picture.width
                                    << "x" << picture.height);
    covers += cell->shouldAspectFillGif ? 1 : 0;
    // Covering the tile, the picture reaches past it along one side only as its shape asks.
    EXPECT_LE(std::min(picture.width / tile.width, picture.height / tile.height),
              GifCell::Constants::aspectFillScale + 0.01);
    auto frames = view->image()->gifFrames();
    ASSERT_TRUE(frames);
    EXPECT_LE(frames->peakBytesWithKept(), budget) << "decoded and kept, at the most";
  }
  EXPECT_GT(covers, 0) << "a featured tag's cover shows the GIF";
  // The last frame change is painted at the next display pass, a moment later.
  advance(0.03);
  runUntil([] { return false; }, 0.1);
  EXPECT_EQ(check->mismatch(window, 2), "");
}

}  // namespace
