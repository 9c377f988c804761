// The staged list's previews: twenty hostile GIFs staged and the list scrolled through while
// they play. Each preview is read and decoded away from the main thread, at the preview's
// size and within a tile's budget, so the process's own resident memory stays near what
// ordinary GIFs take and the main thread is never held up for long.

#include <malloc.h>

#include <map>
#include <set>

#include "collections/UploadTaggerCell.h"
#include "platform/appkit/GifFrameStore.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSIndexPath.h"
#include "tests/collections/uploads/UploadScreenFixture.h"
#include "tests/support/HostileGif.h"
#include "tests/support/RepaintCheck.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/StretchWatch.h"
#include "ui/NSImageViewExtensions.h"

namespace {

constexpr std::size_t kStaged = 20;

struct StagedFigures {
  std::size_t peakGrowth = 0;  // bytes resident at the peak beyond those at the start
  double longestStretch = 0;   // seconds
  std::size_t previews = 0;    // rows seen showing their preview
};

class StagedPreviewsTest : public UploadScreenTest {
 protected:
  void SetUp() override {
    UploadScreenTest::SetUp();
    check = RepaintCheck::install(2.0);
  }
  void TearDown() override {
    RepaintCheck::uninstall();
    UploadScreenTest::TearDown();
  }
  std::shared_ptr<UploadTaggerCell> row(std::size_t index) {
    auto list = screen->stagedUploadsCollectionView.lock();
    return std::dynamic_pointer_cast<UploadTaggerCell>(list->itemAtIndexPath(NSIndexPath::indexPathForItem(index, 0)));
  }
  // The rows on screen now, by their place in the list.
  std::map<std::size_t, std::shared_ptr<UploadTaggerCell>> rowsShown() {
    std::map<std::size_t, std::shared_ptr<UploadTaggerCell>> shown;
    for (std::size_t index = 0; index < kStaged; ++index) {
      auto cell = row(index);
      if (cell && !cell->view()->visibleRect().isEmpty()) shown[index] = cell;
    }
    return shown;
  }
  static bool showsPreview(const std::pair<const std::size_t, std::shared_ptr<UploadTaggerCell>>& row) {
    return row.second->gif.lock()->image() != nullptr;
  }

  // Stages twenty copies of the GIF, then scrolls the list down to its end while the
  // previews load and play; the longest time the main thread spent between two turns of
  // its loop or in a move of the clock.
  StagedFigures stageAndScroll(const std::string& bytes, const std::string& name) {
    ::malloc_trim(0);
    EXPECT_TRUE(resident::restartPeak()) << "the kernel does not let the peak start over";
    const std::size_t start = resident::nowBytes();
    std::vector<std::shared_ptr<VornObject>> staged;
    for (std::size_t i = 0; i < kStaged; ++i) {
      const auto path = file(name + std::to_string(i) + ".gif", bytes);
      staged.push_back(VornObject::initWithLocalFileUrl(NSURL::fileURLWithPath(path), std::nullopt, nullptr, false));
    }
    StagedFigures figures;
    StretchWatch watch;
    watch.time([&] {
      screen->didDragGifsWithVorns(staged);
      screen->reload();
      window->displayIfNeeded();
    });
    auto list = screen->stagedUploadsCollectionView.lock();
    std::set<std::size_t> seen;
    for (int step = 0; step < 40; ++step) {
      // Each screenful of rows shows its previews before the list moves on.
      EXPECT_TRUE(runUntil(watch.turns([&] { return std::ranges::all_of(rowsShown(), showsPreview); }), 60))
          << "at step " << step;
      for (const auto& [index, cell] : rowsShown()) {
        seen.insert(index);
        auto image = cell->gif.lock()->image();
        EXPECT_LE(std::max(image->pixelWidth(), image->pixelHeight()), 120) << "sixty points at two pixels a point";
        if (auto frames = image->gifFrames()) {
          EXPECT_LE(frames->peakBytesWithKept(), kShownPictureBudgetBytes);
        }
      }
      watch.time([&] {
        const NSRect visible = list->visibleRect();
        ui.scrollWheel(list, 0, -40, NSMakePoint(visible.midX(), visible.midY()));
        advance(0.1);
      });
      runUntil(watch.turns([] { return false; }), 0.02);
    }
    figures.previews = seen.size();
    figures.peakGrowth = resident::peakGrowthSince(start);
    figures.longestStretch = watch.longestSeconds();
    return figures;
  }

  std::shared_ptr<RepaintCheck> check;
};

TEST_F(StagedPreviewsTest, TwentyHostileGifsScrolledThroughStayNearTheUsualPeakAndNeverHoldTheMainThread) {
  static const std::string hostileGif = hostile::gif(2000, 24);
  const struct {
    const char* name;
    std::string bytes;
  } gifs[] = {
      {"ordinary", gifBytes()},
      {"hostile", hostileGif},
      {"hostile-cut", hostileGif.substr(0, hostileGif.size() / 2)},
      {"patterned-64", hostile::patternedGif64()},
      {"patterned-136", hostile::patternedGif136()},
  };
  std::optional<StagedFigures> usual;
  for (const auto& [name, bytes] : gifs) {
    SCOPED_TRACE(name);
    screen->reset();
    drainMainQueue();
    const StagedFigures figures = stageAndScroll(bytes, name);
    const auto megabytes = [](std::size_t bytes) { return double(bytes) / (1 << 20); };
    std::printf("%s: %zu previews seen; peak %.1f MB; longest stretch %.0f ms\n", name, figures.previews,
                megabytes(figures.peakGrowth), figures.longestStretch * 1000);
    EXPECT_GT(figures.previews, 8u) << "the list was scrolled through";
    if (!usual) {
      usual = figures;
      continue;
    }
    EXPECT_LE(megabytes(figures.peakGrowth),
              megabytes(usual->peakGrowth) + 64 + megabytes(resident::kSanitizerHeldBytes));
    // The goal is 50 ms (measured in the memory benchmark); here a bound that holds on a busy
    // machine and under the sanitizers.
    EXPECT_LE(figures.longestStretch, 1.0);
  }
}

}  // namespace
