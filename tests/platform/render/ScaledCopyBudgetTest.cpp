// What drawing keeps of a GIF's frames (each scaled to the size it shows at) counts against
// the GIF's own budget beside its decoded frames: past it the copies kept longest ago go,
// memory does not grow. A large picture is scaled on a worker, and the drawings meanwhile
// show what the kept copy will show.

#include <gtest/gtest.h>

#include "platform/appkit/NSImage.h"
#include "platform/render/CairoContext.h"
#include "standin/GifMaker.h"
#include "tests/support/TestEnvironment.h"

namespace {

// One frame as the drawing layer takes pictures (as an image view hands its frames over).
class FrameSource : public CGImageSource {
 public:
  explicit FrameSource(std::shared_ptr<const NSImageFrame> frame) : frame_(std::move(frame)) {}
  const CGImage* imageForDrawing() const override { return frame_.get(); }
  NSSize size() const override { return {double(frame_->width), double(frame_->height)}; }
  CGImageDrawingCache* drawingCache() const override { return &frame_->drawingCache; }

 private:
  std::shared_ptr<const NSImageFrame> frame_;
};

bool keepsACopy(const NSImageFrame& frame) {
  std::lock_guard lock(frame.drawingCache.mutex);
  return frame.drawingCache.content != nullptr;
}

class ScaledCopyBudgetTest : public GlimdeckTest {};

TEST_F(ScaledCopyBudgetTest, KeptCopiesOfTheFramesStayWithinTheGifsBudgetWithoutPushingOneAnotherOut) {
  NSImage::Limits limits;
  limits.maxSide = 128;
  limits.budgetBytes = 4u << 20;
  limits.eagerPixels = 1u << 23;  // every frame decoded at once: no worker changes the figures meanwhile
  auto image = *NSImage::initWithData(
      NSData::fromString(GifMaker::animated({.width = 512, .height = 512, .frames = 16, .rgb = 0x3366cc})), limits);
  ASSERT_EQ(image->frameCount(), 16u);
  auto canvas = CairoContext::make({300, 300});
  // A copy is 300 × 300 pixels of 4 bytes: the budget has room for the 16 frames (64 KB
  // each) and about eight of their copies, not for all sixteen.
  const std::size_t copyBytes = 300 * 300 * 4;
  std::vector<std::shared_ptr<const NSImageFrame>> frames;
  for (int loop = 0; loop < 2; ++loop) {
    for (std::size_t i = 0; i < image->frameCount(); ++i) {
      if (loop == 0) frames.push_back(image->frame(i));
      ASSERT_TRUE(frames[i]);
      const bool room = image->gifFrames()->hasRoomFor(copyBytes) || keepsACopy(*frames[i]);
      canvas->drawImage(std::make_shared<FrameSource>(frames[i]), NSMakeRect(0, 0, 300, 300));
      std::size_t kept = 0;
      for (const auto& frame : frames) kept += keepsACopy(*frame) ? 1 : 0;
      EXPECT_LE(image->decodedBytes() + kept * copyBytes, limits.budgetBytes) << "loop " << loop << ", frame " << i;
      EXPECT_EQ(keepsACopy(*frames[i]), room) << "a copy is kept while there is room, loop " << loop << ", frame " << i;
      EXPECT_EQ(image->gifFrames()->keptBytes(), kept * copyBytes);
    }
  }
  // The second loop found the first frames' copies and made no others: nothing churned.
  EXPECT_TRUE(keepsACopy(*frames.front()));
  EXPECT_FALSE(keepsACopy(*frames.back())) << "no room was left for the last frames";
  EXPECT_LE(image->gifFrames()->peakBytesWithKept(), limits.budgetBytes);
}

TEST_F(ScaledCopyBudgetTest, ALargePictureIsScaledOnAWorkerAndShowsTheSameMeanwhile) {
  auto image = *NSImage::initWithData(
      NSData::fromString(GifMaker::animated({.width = 2000, .height = 2000, .frames = 4, .rgb = 0xcc6633})));
  auto frame = image->frame(1);
  ASSERT_TRUE(frame);
  auto source = std::make_shared<FrameSource>(frame);
  auto before = CairoContext::make({420, 420});
  before->drawImage(source, NSMakeRect(10, 10, 400, 400));
  ASSERT_TRUE(runUntil([&] { return image->gifFrames()->keptBytes() > 0; }))
      << "the copy for 400 × 400 pixels is made on a worker and kept";
  auto after = CairoContext::make({420, 420});
  after->drawImage(source, NSMakeRect(10, 10, 400, 400));
  const CGImage a = before->pixels(), b = after->pixels();
  ASSERT_EQ(a.rgba.size(), b.rgba.size());
  int most = 0;
  for (std::size_t i = 0; i < a.rgba.size(); ++i) most = std::max(most, std::abs(int(a.rgba[i]) - int(b.rgba[i])));
  EXPECT_LE(most, 1) << "scaled as it was laid on, or from the kept copy: the same picture";
}

}  // namespace
