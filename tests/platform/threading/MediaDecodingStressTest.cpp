// Pictures decoded on workers while the main thread and other threads ask for them: a GIF
// whose frames do not all fit its budget, asked for from several threads at once and from
// the main thread without waiting, a movie asked for at changing times and sizes, and
// pictures loaded in the background for many threads at once. Every answer is the right
// picture, and the workers end.

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/appkit/NSImage.h"
#include "platform/av/AVAsset.h"
#include "platform/foundation/DispatchQueue.h"
#include "standin/MovieMaker.h"
#include "tests/support/TestEnvironment.h"

namespace {

int appendGif(GifFileType* file, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(file->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

// `frames` flat frames of side × side, frame i in palette colour i % 8 (red level 30 × (i % 8)).
std::shared_ptr<NSData> flatGif(int frames, int side = 40) {
  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendGif, &error);
  GifColorType colours[8];
  for (int i = 0; i < 8; ++i) colours[i] = {static_cast<GifByteType>(30 * i), 0, 0};
  ColorMapObject* map = GifMakeMapObject(8, colours);
  EGifPutScreenDesc(gif, side, side, 8, 0, map);
  std::vector<GifByteType> row(static_cast<std::size_t>(side));
  for (int f = 0; f < frames; ++f) {
    EGifPutImageDesc(gif, 0, 0, side, side, false, nullptr);
    std::fill(row.begin(), row.end(), static_cast<GifByteType>(f % 8));
    for (int y = 0; y < side; ++y) EGifPutLine(gif, row.data(), side);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return NSData::make(std::move(out));
}

class MediaDecodingStressTest : public GlimdeckTest {};

TEST_F(MediaDecodingStressTest, GifFramesAskedForFromManyThreadsAreTheRightOnes) {
  NSImage::Limits limits;
  limits.budgetBytes = 6 * 40 * 40 * 4;  // six of the twenty frames
  limits.eagerPixels = 0;
  // Read from a file, as tiles read their GIFs: given as bytes that crowd the frames, the
  // bytes would not be kept and the frames not decoded again.
  const auto file = home() / "twenty.gif";
  const auto bytes = flatGif(20);
  std::ofstream(file, std::ios::binary).write(bytes->view().data(), static_cast<std::streamsize>(bytes->length()));
  auto image = *NSImage::initWithContentsOfFile(file, limits);
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 4; ++r) {
    readers.emplace_back([&, r] {
      for (int k = 0; k < 60; ++k) {
        std::size_t index = static_cast<std::size_t>((k * 7 + r * 5) % 20);
        auto frame = image->frame(index);
        if (!frame || frame->rgba[0] != 30 * (index % 8)) ++wrong;
      }
    });
  }
  // Shared with the callbacks: one told after the test's last turn of the run loop runs when
  // the next drain does, after this frame is gone.
  auto told = std::make_shared<std::atomic<int>>(0);
  for (int k = 0; k < 200; ++k) {
    std::size_t index = static_cast<std::size_t>(k % 20);
    if (auto frame = image->frameIfReady(index, [told] { ++*told; })) {
      if (frame->rgba[0] != 30 * (index % 8)) ++wrong;
    }
    runUntil([] { return false; }, 0.001);
  }
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(runUntil([&] { return image->frameIfReady(19) != nullptr; }, 60.0));
  EXPECT_LE(image->gifFrames()->peakHeldBytes(), limits.budgetBytes + 4u * 40 * 40 * 4);
}

TEST_F(MediaDecodingStressTest, MoviePicturesAskedForAtChangingTimesAndSizesAreTheRightOnes) {
  auto movie = MovieMaker::tinyMovie({.width = 64, .height = 48, .frames = 12, .rgb = 0x3366cc});
  ASSERT_TRUE(movie.has_value());
  auto path = home() / "clip.mp4";
  std::ofstream(path, std::ios::binary) << *movie;
  auto asset = AVAsset::assetWithURL(NSURL::fileURLWithPath(path.string()));
  auto pictures = asset->pictures();
  ASSERT_TRUE(pictures);
  int wrong = 0;
  for (int k = 0; k < 300; ++k) {
    const double time = (k % 37) * 0.033;
    const int width = k % 50 < 25 ? 64 : 32, height = width * 3 / 4;
    if (auto frame = pictures->frameIfReady(time, width, height)) {
      const auto& pixels = frame->image->pixels();
      if (pixels.width != width || pixels.height != height) ++wrong;
      if (!(frame->start <= std::min(time, pictures->duration()))) ++wrong;
    }
    runUntil([] { return false; }, 0.001);
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(runUntil([&] { return pictures->frameIfReady(0.2, 64, 48).has_value(); }, 60.0));
}

TEST_F(MediaDecodingStressTest, PicturesLoadedInTheBackgroundFromManyThreadsEachReachTheMainThreadOnce) {
  // Small GIFs decoded whole, large ones frame by frame on their own worker: both arrive
  // with their first frame ready.
  std::atomic<int> wrong{0};
  std::vector<int> arrived(24, 0);
  std::vector<std::thread> askers;
  for (int t = 0; t < 4; ++t) {
    askers.emplace_back([&, t] {
      for (int k = 0; k < 6; ++k) {
        const int n = t * 6 + k;
        NSImage::loadInBackground(
            [n]() -> std::shared_ptr<NSData> {
              if (n % 5 == 4) return nullptr;  // nothing to read
              return n % 3 == 0 ? flatGif(2, 1100) : flatGif(n % 8 + 1);
            },
            [&, n](std::shared_ptr<NSImage> image) {
              if (!DispatchQueue::main()->isCurrent()) ++wrong;
              ++arrived[static_cast<std::size_t>(n)];
              if ((n % 5 == 4) != !image) ++wrong;
              if (image && (!image->frameIfReady(0) || image->frameIfReady(0)->rgba[0] != 0)) ++wrong;
            });
      }
    });
  }
  for (auto& asker : askers) asker.join();
  EXPECT_TRUE(runUntil([&] { return std::ranges::all_of(arrived, [](int count) { return count > 0; }); }, 60.0));
  EXPECT_TRUE(std::ranges::all_of(arrived, [](int count) { return count == 1; }));
  EXPECT_EQ(wrong, 0);
}

}  // namespace
