// Large and hostile GIFs: what one image decodes to is bounded by what a tile can show (a
// smaller size, a budget of bytes), a large one's frames decode on a worker as they are
// shown while the main thread goes on, and frames that do not fit the budget are decoded
// again when their turn comes.

#include <gif_lib.h>

#include <fstream>
#include <future>

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "standin/GifMaker.h"
#include "tests/support/UISimulator.h"

namespace {

using Pixel = std::array<std::uint8_t, 4>;

int appendBytes(GifFileType* file, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(file->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

const GifColorType kPalette[8] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},   {255, 255, 0},
                                  {0, 255, 255}, {255, 0, 255}, {255, 255, 255}, {0, 0, 0}};
Pixel colour(int index) { return {kPalette[index].Red, kPalette[index].Green, kPalette[index].Blue, 255}; }

// A GIF of `frames` whole frames of width × height; `pixel(frame, x, y)` gives each pixel's
// palette index.
template <typename PixelOf>
std::shared_ptr<NSData> gifOf(int width, int height, int frames, PixelOf pixel) {
  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendBytes, &error);
  ColorMapObject* map = GifMakeMapObject(8, kPalette);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  std::vector<GifByteType> row(static_cast<std::size_t>(width));
  for (int f = 0; f < frames; ++f) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 10, NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(EGifGCBToExtension(&control, extension)), extension);
    EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) row[static_cast<std::size_t>(x)] = static_cast<GifByteType>(pixel(f, x, y));
      EGifPutLine(gif, row.data(), width);
    }
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return NSData::make(std::move(out));
}

std::filesystem::path written(const std::shared_ptr<NSData>& data, const std::filesystem::path& path) {
  std::ofstream(path, std::ios::binary).write(data->view().data(), static_cast<std::streamsize>(data->length()));
  return path;
}

// The file a hostile sender makes: 2000 × 2000 pixels in 64 frames, a few megabytes that
// come to a gigabyte once decoded whole.
std::shared_ptr<NSData> hostileGif() {
  static const std::string bytes =
      GifMaker::animated({.width = 2000, .height = 2000, .frames = 64, .rgb = 0x3366cc, .loop = true});
  return NSData::fromString(bytes);
}

// Keeps the decoding worker busy until released, so that a test sees the main thread's side
// of a decode that has not happened yet.
class WorkerHold {
 public:
  WorkerHold() {
    auto released = release_.get_future().share();
    GifFrameStore::decodingQueue()->async([released] { released.wait(); });
  }
  ~WorkerHold() { free(); }
  // Waits until the worker has done all it was asked before now.
  static void drain() {
    std::promise<void> idle;
    auto done = idle.get_future();
    GifFrameStore::decodingQueue()->async([&idle] { idle.set_value(); });
    done.wait();
  }
  void free() {
    if (!freed_) release_.set_value();
    freed_ = true;
  }

 private:
  std::promise<void> release_;
  bool freed_ = false;
};

TEST(GifBoundsTest, AHostileGifIsKeptAtATilesSizeWithinTheBudget) {
  auto made = NSImage::initWithData(hostileGif());
  ASSERT_TRUE(made.has_value());
  auto image = *made;
  const NSImage::Limits limits;
  EXPECT_EQ(image->size(), NSMakeSize(2000, 2000)) << "the picture keeps its own size";
  ASSERT_EQ(image->frameCount(), 64u);
  EXPECT_LE(image->pixelWidth(), limits.maxSide);
  EXPECT_EQ(image->pixelWidth(), image->pixelHeight());
  EXPECT_GE(image->pixelWidth(), limits.smallestSide);
  // Every frame at once fits the budget at the size they are kept at.
  EXPECT_LE(64u * image->pixelWidth() * image->pixelHeight() * 4, limits.budgetBytes);
  for (std::size_t i = 0; i < image->frameCount(); ++i) {
    auto frame = image->frame(i);
    ASSERT_TRUE(frame) << "frame " << i;
    EXPECT_EQ(frame->width, image->pixelWidth());
    EXPECT_EQ(frame->rgba.size(), std::size_t(frame->width) * frame->height * 4);
  }
  EXPECT_LE(image->gifFrames()->peakHeldBytes(), limits.budgetBytes);
  EXPECT_EQ(image->decodedBytes(), 64u * image->pixelWidth() * image->pixelHeight() * 4);
  // All held: another pass decodes nothing again.
  const std::size_t decoded = image->gifFrames()->framesDecoded();
  for (std::size_t i = 0; i < image->frameCount(); ++i) ASSERT_TRUE(image->frame(i));
  EXPECT_EQ(image->gifFrames()->framesDecoded(), decoded);
}

TEST(GifBoundsTest, AKeptPixelSamplesThePicturePixelUnderItsCentre) {
  // 1200 × 600: red on the left half, blue on the right, a green column at x 900.
  auto image = *NSImage::initWithData(gifOf(1200, 600, 2, [](int, int x, int) { return x == 900 ? 1 : x < 600 ? 0 : 2; }));
  ASSERT_EQ(image->pixelWidth(), 640);
  ASSERT_EQ(image->pixelHeight(), 320);
  struct Case {
    int x;
    Pixel expected;
  } cases[] = {{0, colour(0)}, {319, colour(0)}, {320, colour(2)}, {639, colour(2)},
               // kept column 480 samples the picture's column (480 + 0.5) × 1200 / 640 = 900
               {480, colour(1)}, {479, colour(2)}, {481, colour(2)}};
  for (const auto& c : cases) {
    for (int y : {0, 160, 319}) EXPECT_EQ(image->pixelAt(c.x, y, 1), c.expected) << c.x << "," << y;
  }
}

TEST(GifBoundsTest, SmallGifsAreDecodedWholeAtOnce) {
  auto image = *NSImage::initWithData(gifOf(16, 16, 4, [](int frame, int, int) { return frame; }));
  auto store = image->gifFrames();
  EXPECT_EQ(store->framesDecoded(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(image->frameIfReady(i)) << i;
  EXPECT_EQ(image->pixelWidth(), 16) << "kept at its own size";
}

class GifDecodingViewTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 120, 120), NSWindowStyleMaskBorderless);
    window->makeKeyAndOrderFront(nullptr);
    view = NSImageView::initWithFrame(NSMakeRect(10, 10, 100, 100));
    view->setImageScaling(NSImageScaling::axesIndependently);
    window->contentView()->addSubview(view);
  }
  Pixel shown() { return ViewTreeRenderer::imageOfView(view)->pixelAt(50, 50); }
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<NSImageView> view;
};

TEST_F(GifDecodingViewTest, TheMainThreadGoesOnWhileAHostileGifDecodes) {
  WorkerHold hold;
  auto made = NSImage::initWithData(hostileGif());
  ASSERT_TRUE(made.has_value());
  auto image = *made;
  EXPECT_EQ(image->gifFrames()->framesDecoded(), 0u) << "making the image decodes nothing";
  view->setImage(image);
  int ticks = 0;
  auto timer = NSTimer::scheduledTimerWithTimeInterval(0.05, true, [&](const std::shared_ptr<NSTimer>&) { ++ticks; });
  ui.advance(1.0);
  EXPECT_GE(ticks, 20) << "timers, drawing and events go on meanwhile";
  EXPECT_EQ(shown()[3], 0) << "nothing to show yet";
  EXPECT_EQ(image->gifFrames()->framesDecoded(), 0u);
  window->displayIfNeeded();
  ASSERT_FALSE(view->needsDisplay());
  hold.free();
  // The frame due arrives on the main thread and marks the view for display.
  ASSERT_TRUE(NSRunLoop::main()->runUntil([&] { return view->needsDisplay(); }, 60.0));
  EXPECT_EQ(shown()[3], 255);
  EXPECT_LE(image->gifFrames()->peakHeldBytes(), NSImage::Limits{}.budgetBytes);
  timer->invalidate();
}

TEST_F(GifDecodingViewTest, WhileAFrameDecodesTheOneShownBeforeStays) {
  // Six flat frames decoded as they are shown (the worker makes two ahead of the one asked),
  // read from a file.
  NSImage::Limits lazy;
  lazy.budgetBytes = 8 * 8 * 4;
  lazy.eagerPixels = 0;
  auto image = *NSImage::initWithContentsOfFile(
      written(gifOf(8, 8, 6, [](int frame, int, int) { return frame; }), home() / "six.gif"), lazy);
  WorkerHold::drain();
  view->setImage(image);
  EXPECT_EQ(shown(), colour(0));
  {
    WorkerHold hold;
    ui.advance(0.1);
    EXPECT_EQ(shown(), colour(1));
    ui.advance(0.1);
    EXPECT_EQ(shown(), colour(2));
    // Frames 3 and 4 are due but not decoded: frame 2 stays on screen.
    ui.advance(0.1);
    EXPECT_EQ(shown(), colour(2));
    ui.advance(0.1);
    EXPECT_EQ(shown(), colour(2));
    window->displayIfNeeded();
    ASSERT_FALSE(view->needsDisplay());
  }
  // Decoded, the frames reach the view without another tick of the clock.
  ASSERT_TRUE(NSRunLoop::main()->runUntil([&] { return view->needsDisplay(); }, 60.0));
  ASSERT_TRUE(NSRunLoop::main()->runUntil([&] { return image->frameIfReady(4) != nullptr; }, 60.0));
  EXPECT_EQ(shown(), colour(4));
  EXPECT_LE(image->gifFrames()->heldBytes(), 4u * 8 * 8 * 4)
      << "the budget, but never without the first frame and those wanted next";
}

}  // namespace
