// A long text laid out by blocks in the background while drawings on several threads ask
// for bands of it: every band gets its blocks measured and stacked where those above end,
// and the background ends with the exact height, its progress told on the main thread.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/TextBlockLayout.h"
#include "platform/foundation/DispatchQueue.h"
#include "tests/support/TestEnvironment.h"

namespace {

class TextLayoutStressTest : public GlimdeckTest {};

TEST_F(TextLayoutStressTest, BandsAskedForFromManyThreadsWhileTheBackgroundMeasuresStackExactly) {
  std::string text;
  for (int i = 0; i < 1500; ++i) text += "Line " + std::to_string(i) + (i % 9 == 0 ? " that is long enough to wrap once" : "") + "\n";
  auto font = NSFont::systemFontOfSize(12);
  auto layout = TextBlockLayout::make(NSAttributedString::make(text, {{NSFontAttributeName, font}}), 150, 64,
                                      {font->defaultLineHeight(), 6.0});
  ASSERT_GT(layout->blockCount(), 20u);
  std::atomic<int> progress{0}, wrong{0};
  layout->measureInBackground([&] {
    if (!DispatchQueue::main()->isCurrent()) ++wrong;
    ++progress;
  });
  std::vector<std::thread> drawers;
  for (int t = 0; t < 3; ++t) {
    drawers.emplace_back([&, t] {
      for (int k = 0; k < 12; ++k) {
        const double top = ((k * 7 + t * 11) % 40) * 500.0;
        auto blocks = layout->blocksMeeting(top, top + 300);
        for (std::size_t i = 0; i < blocks.size(); ++i) {
          if (!(blocks[i].height > 0) || blocks[i].top > top + 300 || blocks[i].top + blocks[i].height < top) ++wrong;
          if (i > 0 && blocks[i].top != blocks[i - 1].top + blocks[i - 1].height) ++wrong;
        }
      }
    });
  }
  for (int k = 0; k < 50; ++k) {
    if (!(layout->height() > 0)) ++wrong;
    runUntil([] { return false; }, 0.001);
  }
  for (auto& drawer : drawers) drawer.join();
  ASSERT_TRUE(runUntil([&] { return layout->isComplete(); }, 60.0));
  const double exact = layout->measureAll();
  auto whole = layout->blocksMeeting(0, exact);
  ASSERT_EQ(whole.size(), layout->blockCount());
  EXPECT_DOUBLE_EQ(whole.back().top + whole.back().height, exact);
  EXPECT_EQ(layout->height(), exact);
  EXPECT_TRUE(runUntil([&] { return progress.load() > 0; }));
  EXPECT_EQ(wrong, 0);
  // The layout queue may still hold the layout a moment, and a progress already queued on the
  // main thread would then reach this test's counters after they are gone.
  layout->cancel();
}

}  // namespace
