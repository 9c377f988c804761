// Animated GIFs in image views: which frame shows when, looping as the file says, short
// delays played at the minimum, and no work for views nobody sees.

#include <gif_lib.h>

#include "platform/appkit/ImageAnimation.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/quartz/CALayer.h"
#include "platform/quartz/DisplayRefresh.h"
#include "platform/render/CairoContext.h"
#include "platform/render/NSGraphicsContext.h"
#include "tests/support/UISimulator.h"

namespace {

int appendGifBytes(GifFileType* file, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(file->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

// An 8 × 8 GIF whose frame i is one flat colour, palette entry i + 1 (red, green, blue,
// yellow...), shown for delays[i] hundredths of a second; `plays` 0 loops for ever.
// With `seeThrough`, the first frame's colour is transparent.
std::shared_ptr<NSImage> flatFramesGif(const std::vector<int>& delays, int plays, bool seeThrough = false) {
  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendGifBytes, &error);
  GifColorType colours[8] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {255, 255, 255}};
  ColorMapObject* map = GifMakeMapObject(8, colours);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, 8, 8, 8, 0, map);
  unsigned char loop[3] = {1, static_cast<unsigned char>(plays & 0xff), static_cast<unsigned char>(plays >> 8)};
  EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
  EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
  EGifPutExtensionBlock(gif, 3, loop);
  EGifPutExtensionTrailer(gif);
  for (std::size_t i = 0; i < delays.size(); ++i) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, delays[i], seeThrough ? 1 : NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(EGifGCBToExtension(&control, extension)), extension);
    EGifPutImageDesc(gif, 0, 0, 8, 8, false, nullptr);
    std::vector<GifByteType> row(8, static_cast<GifByteType>(1 + i % 7));
    for (int y = 0; y < 8; ++y) EGifPutLine(gif, row.data(), 8);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  auto image = NSImage::initWithData(NSData::make(std::move(out)));
  EXPECT_TRUE(image.has_value());
  return image ? *image : nullptr;
}

const std::vector<std::array<std::uint8_t, 4>> kFrameColours = {
    {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 0, 255}};

TEST(ImageAnimationTest, FramesFollowTheDelaysWithShortOnesAtTheMinimum) {
  // 0.2 s, then 0 and 0.01 s (both played at 0.1 s), then 0.3 s: a pass of 0.7 s.
  ImageAnimation forever({0.2, 0.0, 0.01, 0.3}, 0);
  EXPECT_DOUBLE_EQ(forever.passDuration(), 0.7);
  ImageAnimation twice({0.2, 0.0, 0.01, 0.3}, 2);
  struct Case {
    double at;
    std::size_t frame;
    std::optional<double> next;
    const ImageAnimation& animation;
  };
  for (const Case& c : {Case{0, 0, 0.2, forever}, Case{0.2, 1, 0.3, forever}, Case{0.3, 2, 0.4, forever},
                        Case{0.4, 3, 0.7, forever}, Case{0.7, 0, 0.9, forever}, Case{7.05, 0, 7.2, forever},
                        Case{1.39, 3, 1.4, twice}, Case{1.4, 3, std::nullopt, twice}, Case{99, 3, std::nullopt, twice},
                        Case{-5, 0, 0.2, twice}}) {
    auto position = c.animation.at(c.at);
    EXPECT_EQ(position.frame, c.frame) << "at " << c.at;
    ASSERT_EQ(position.nextChange.has_value(), c.next.has_value()) << "at " << c.at;
    if (c.next) {
      EXPECT_NEAR(*position.nextChange, *c.next, 1e-9) << "at " << c.at;
    }
  }
  EXPECT_FALSE(ImageAnimation({0.5}, 0).at(3).nextChange);
}

class AnimatedImageViewTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 120, 120), NSWindowStyleMaskBorderless);
    window->makeKeyAndOrderFront(nullptr);
    gif = NSImageView::initWithFrame(NSMakeRect(10, 10, 40, 40));
    gif->setImageScaling(NSImageScaling::axesIndependently);
    window->contentView()->addSubview(gif);
  }
  // The colour in the middle of the image view as drawn now.
  std::array<std::uint8_t, 4> shown() {
    auto picture = ViewTreeRenderer::imageOfView(gif);
    return picture->pixelAt(20, 20);
  }
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<NSImageView> gif;
};

TEST_F(AnimatedImageViewTest, ShowsFrameKAfterTheFirstKDelaysAndLoopsAsTheFileSays) {
  gif->setImage(flatFramesGif({10, 20, 30}, 2));
  // Frame k starts at the sum of the first k delays: 0, 0.1, 0.3; a pass is 0.6 s.
  EXPECT_EQ(shown(), kFrameColours[0]);
  ui.advance(0.1);
  EXPECT_EQ(shown(), kFrameColours[1]);
  ui.advance(0.2);
  EXPECT_EQ(shown(), kFrameColours[2]);
  ui.advance(0.3);
  EXPECT_EQ(shown(), kFrameColours[0]) << "the second play";
  ui.advance(0.1);
  EXPECT_EQ(shown(), kFrameColours[1]);
  ui.advance(0.5);
  EXPECT_EQ(shown(), kFrameColours[2]) << "two plays, then the last frame stays";
  ui.advance(10);
  EXPECT_EQ(shown(), kFrameColours[2]);
}

TEST_F(AnimatedImageViewTest, AnimationOffHoldsTheFrameAndOnResumesFromIt) {
  gif->setImage(flatFramesGif({10, 10, 10, 10}, 0));
  ui.advance(0.15);
  gif->setAnimates(false);
  ui.advance(5);
  EXPECT_EQ(gif->currentFrame(), 1u);
  EXPECT_EQ(shown(), kFrameColours[1]);
  gif->setAnimates(true);
  ui.advance(0.05);
  EXPECT_EQ(shown(), kFrameColours[2]);
}

TEST_F(AnimatedImageViewTest, ZeroDelaysPlayAtTheMinimum) {
  gif->setImage(flatFramesGif({0, 0, 1, 0}, 0));
  for (std::size_t frame : {0, 1, 2, 3, 0}) {
    EXPECT_EQ(gif->currentFrame(), frame);
    ui.advance(ImageAnimation::kMinimumDelay);
  }
}

TEST_F(AnimatedImageViewTest, RedrawsWhenTheNextFrameIsDueOnlyWhileSomeoneSeesIt) {
  gif->setImage(flatFramesGif({10, 10}, 0));
  // The window redraws what needs it after each turn of the run loop.
  ui.advance(0.01);
  std::size_t draws = gif->drawCount();
  ui.advance(0.04);
  EXPECT_EQ(gif->drawCount(), draws);
  ui.advance(0.05);
  EXPECT_EQ(gif->drawCount(), draws + 1) << "the next frame is due";

  struct Case {
    const char* name;
    std::function<void()> hideIt;
  };
  for (const Case& c : {Case{"hidden", [&] { gif->setHidden(true); }},
                        Case{"out of the window", [&] { gif->removeFromSuperview(); }},
                        Case{"scrolled out", [&] { gif->setFrameOrigin(NSMakePoint(500, 500)); }}}) {
    SCOPED_TRACE(c.name);
    window->contentView()->addSubview(gif);
    gif->setHidden(false);
    gif->setFrameOrigin(NSMakePoint(10, 10));
    ViewTreeRenderer::imageOfWindow(window);
    c.hideIt();
    ui.advance(0.1);  // the tick armed by the last drawing finds the view unseen
    ViewTreeRenderer::imageOfWindow(window);
    draws = gif->drawCount();
    ui.advance(5);
    EXPECT_EQ(gif->drawCount(), draws);
    EXPECT_FALSE(gif->needsDisplay());
  }
}

TEST_F(AnimatedImageViewTest, ImagesFromBitmapsAndStillImagesDoNotAnimate) {
  auto bitmap = std::make_shared<const CGImage>(CGImage{2, 1, {255, 0, 0, 255, 0, 0, 255, 255}});
  auto still = NSImage::initWithCGImage(bitmap, NSMakeSize(4, 2));
  EXPECT_EQ(still->size(), NSMakeSize(4, 2));
  EXPECT_EQ(still->pixelAt(1, 0), (std::array<std::uint8_t, 4>{0, 0, 255, 255}));
  EXPECT_FALSE(NSImage::initWithCGImage(nullptr, NSZeroSize));
  gif->setImage(still);
  ui.advance(0.01);
  std::size_t draws = gif->drawCount();
  ui.advance(5);
  EXPECT_EQ(gif->drawCount(), draws);
}

}  // namespace

namespace {

TEST_F(AnimatedImageViewTest, ALoopingAnimationScalesEachFrameOnceForTheSizeItShowsAt) {
  auto image = flatFramesGif({10, 10, 10}, 0);
  gif->setImage(image);
  auto made = [&](std::size_t frame) { return image->frame(frame)->drawingCache.content.get(); };
  std::vector<const void*> first;
  ui.advance(0.05);  // into the middle of the first frame's time
  for (int pass = 0; pass < 3; ++pass) {
    for (std::size_t frame = 0; frame < 3; ++frame) {
      EXPECT_EQ(shown(), kFrameColours[frame]);
      if (pass == 0) first.push_back(made(frame));
      EXPECT_NE(made(frame), nullptr);
      EXPECT_EQ(made(frame), first[frame]) << "pass " << pass << ": made at the first showing, not again";
      ui.advance(0.1);
    }
  }
  gif->setFrameSize(NSMakeSize(60, 60));
  ASSERT_EQ(gif->currentFrame(), 0u);
  EXPECT_EQ(shown(), kFrameColours[0]);
  EXPECT_NE(made(0), first[0]) << "another size: made for it";
}

TEST_F(AnimatedImageViewTest, AFrameChangeIsShownAtTheDisplayRefreshAfterIt) {
  gif->setImage(flatFramesGif({10, 10}, 0));
  const double start = Clock::current().now();
  ui.advance(0.001);
  const std::size_t draws = gif->drawCount();
  // The second frame starts 0.1 s after the image was set; the view is drawn at the first
  // refresh (1/60 s) at or after that.
  const double change = start + 0.1;
  const double refresh = DisplayRefresh::atOrAfter(change);
  EXPECT_GE(refresh, change);
  EXPECT_LT(refresh, change + 1.0 / 60 + 1e-9);
  ui.advance(change - Clock::current().now());
  EXPECT_EQ(gif->currentFrame(), 1u) << "the clock shows the new frame";
  if (refresh > change + 1e-6) {
    EXPECT_EQ(gif->drawCount(), draws) << "but the view waits for the refresh";
    ui.advance(refresh - Clock::current().now());
  }
  EXPECT_EQ(gif->drawCount(), draws + 1);
  EXPECT_EQ(shown(), kFrameColours[1]);
}

// Fills its bounds and counts its drawings.
class CountingView : public NSView {
 public:
  static std::shared_ptr<CountingView> make(NSRect frame) {
    return finishInit(std::shared_ptr<CountingView>(new CountingView(frame)));
  }
  int draws = 0;
  void drawRect(NSRect) override {
    ++draws;
    NSColor::colorWithSRGBRed(0.9, 0.2, 0.1, 1)->set();
    NSRectFill(bounds());
  }

 private:
  using NSView::NSView;
};

// A view wholly under an opaque playing picture is not drawn (the picture replaces all it
// would draw); whether left out or not, the window's pixels are those of a drawing that
// leaves nothing out (one whose clip the context cannot follow).
TEST_F(AnimatedImageViewTest, AViewWhollyUnderAnOpaquePictureIsLeftOut) {
  struct Case {
    const char* what;
    NSRect under;  // in the picture's superview
    bool seeThrough = false, enabled = true, layered = false, rounded = false;
    double alpha = 1;
    bool leftOut = false;
  };
  const Case cases[] = {
      {"under its middle", {20.5, 20.25, 12, 9}, false, true, false, false, 1, true},
      {"under a layer-backed picture", {14, 30.3, 30, 20}, false, true, true, false, 1, true},
      {"reaching past its edge", {5, 20.25, 12, 9}},
      {"within a pixel of its edge", {10.6, 20.25, 12, 9}},
      {"under a picture with transparent pixels", {20.5, 20.25, 12, 9}, true},
      {"under a dimmed picture", {20.5, 20.25, 12, 9}, false, false},
      {"under a picture with rounded corners", {20.5, 20.25, 12, 9}, false, true, true, true},
      {"under a faded picture", {20.5, 20.25, 12, 9}, false, true, false, false, 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto container = NSView::initWithFrame(NSMakeRect(3.3, 4.6, 80, 80));
    window->contentView()->addSubview(container);
    auto under = CountingView::make(c.under);
    auto picture = NSImageView::initWithFrame(NSMakeRect(10.25, 10.5, 50, 50));
    picture->setImageScaling(NSImageScaling::axesIndependently);
    picture->setImage(flatFramesGif({10, 10}, 0, c.seeThrough));
    picture->setEnabled(c.enabled);
    picture->setAlphaValue(c.alpha);
    if (c.layered) {
      picture->setWantsLayer(true);
      if (c.rounded) {
        picture->layer()->setCornerRadius(6);
        picture->layer()->setMasksToBounds(true);
      }
    }
    container->addSubview(under);
    container->addSubview(picture);
    auto draw = [&](bool followedClip) {
      auto canvas = CairoContext::make(window->frame().size, 2);
      if (!followedClip) canvas->clipToPath(CGPath::rect(NSMakeRect(0, 0, 120, 120)), CGFillRule::nonZero);
      ViewTreeRenderer::drawWindow(window, *canvas);
      return canvas->pixels();
    };
    draw(true);  // shows the first frame
    under->draws = 0;
    const CGImage followed = draw(true);
    EXPECT_EQ(under->draws, c.leftOut ? 0 : 1);
    EXPECT_EQ(followed.rgba, draw(false).rgba);
    container->removeFromSuperview();
  }
}

}  // namespace
