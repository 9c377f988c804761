// Pictures decoded on workers while the main thread and other threads ask for them: a GIF
// whose frames do not all fit its budget, asked for from several threads at once and from
// the main thread without waiting, and a movie asked for at changing times and sizes. Every
// answer is the right picture, and the workers end.

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/appkit/NSImage.h"
#include "platform/av/AVAsset.h"
#include "standin/MovieMaker.h"
#include "tests/support/TestEnvironment.h"

namespace {

int appendGif(GifFileType* file, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(file->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

// `frames` flat frames of 40 × 40, frame i in palette colour i % 8 (red level 30 × (i % 8)).
std::shared_ptr<NSData> flatGif(int frames) {
  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendGif, &error);
  GifColorType colours[8];
  for (int i = 0; i < 8; ++i) colours[i] = {static_cast<GifByteType>(30 * i), 0, 0};
  ColorMapObject* map = GifMakeMapObject(8, colours);
  EGifPutScreenDesc(gif, 40, 40, 8, 0, map);
  std::vector<GifByteType> row(40);
  for (int f = 0; f < frames; ++f) {
    EGifPutImageDesc(gif, 0, 0, 40, 40, false, nullptr);
    std::fill(row.begin(), row.end(), static_cast<GifByteType>(f % 8));
    for (int y = 0; y < 40; ++y) EGifPutLine(gif, row.data(), 40);
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
  auto image = *NSImage::initWithData(flatGif(20), limits);
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
  int told = 0;
  for (int k = 0; k < 200; ++k) {
    std::size_t index = static_cast<std::size_t>(k % 20);
    if (auto frame = image->frameIfReady(index, [&] { ++told; })) {
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

}  // namespace
