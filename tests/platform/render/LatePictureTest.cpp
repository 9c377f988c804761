// Pictures that arrive after a rasterizing layer's tree was drawn: the layer's contents, or
// an image view's picture, decoded on the worker later (while the window shows it, while it
// lies outside the window, or while the window is away). The kept picture of the tree is
// made again once they are there, so the window shows them as a full painting does.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/appkit/GifFrameStore.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/quartz/CALayer.h"
#include "standin/GifMaker.h"
#include "tests/support/RepaintCheck.h"
#include "tests/support/UISimulator.h"

namespace {

// Holds the decoding queue until opened (or the test ends), so that a picture surely
// arrives after the first drawing.
class DecodingHeld {
 public:
  DecodingHeld() {
    GifFrameStore::decodingQueue()->async([state = state_] {
      std::unique_lock lock(state->mutex);
      state->opened.wait(lock, [&] { return state->open; });
    });
  }
  ~DecodingHeld() { open(); }
  void open() {
    std::lock_guard lock(state_->mutex);
    state_->open = true;
    state_->opened.notify_all();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// One frame with more pixels than a GIF decoded when it is opened may have: its pixels are
// made on the decoding queue.
std::shared_ptr<NSImage> pictureDecodedLater() {
  auto image = NSImage::initWithData(
      NSData::fromString(GifMaker::animated({.width = 1100, .height = 1000, .frames = 1, .rgb = 0xcc3322, .loop = false})));
  EXPECT_TRUE(image.has_value());
  return image ? *image : nullptr;
}

class LatePictureTest : public UITest, public ::testing::WithParamInterface<double> {
 protected:
  void SetUp() override {
    UITest::SetUp();
    check = RepaintCheck::install(GetParam());
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 240, 180), NSWindowStyleMaskBorderless);
    window->backgroundColor = NSColor::colorWithSRGBRed(0.9, 0.9, 0.95, 1);
    overlay = NSView::initWithFrame(NSMakeRect(10.5, 10.25, 200, 150));
    overlay->setWantsLayer(true);
    overlay->layer()->setShouldRasterize(true);
    overlay->layer()->setBackgroundColor(CGColor{0.2, 0.4, 0.3, 1});
    holder = NSView::initWithFrame(window->contentView()->bounds());
    holder->addSubview(overlay);
    window->contentView()->addSubview(holder);
    window->makeKeyAndOrderFront(nullptr);
  }
  void TearDown() override {
    window->orderOut(nullptr);
    RepaintCheck::uninstall();
    UITest::TearDown();
  }
  // Lets the held decoding go on and waits until the picture is there and heard of.
  void arrive(DecodingHeld& held, const NSImage& image) {
    held.open();
    ASSERT_TRUE(runUntil([&] { return image.imageForDrawing() != nullptr; }));
    drainMainQueue();
  }

  std::shared_ptr<RepaintCheck> check;
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<NSView> holder;  // moves the overlay without changing it
  std::shared_ptr<NSView> overlay;
};

TEST_P(LatePictureTest, LayerContentsDecodedAfterTheFirstDrawingShowInTheRedrawing) {
  DecodingHeld held;
  auto image = pictureDecodedLater();
  ASSERT_TRUE(image);
  auto layer = CALayer::layer();
  layer->setFrame(NSMakeRect(20.5, 15.25, 120, 90));
  layer->setContents(image);
  overlay->layer()->addSublayer(layer);
  ASSERT_EQ(check->mismatch(window), "");
  ASSERT_EQ(image->imageForDrawing(), nullptr) << "drawn before its picture was there";
  arrive(held, *image);
  EXPECT_EQ(check->mismatch(window, 2), "") << "the kept picture of the tree shows the contents";
}

TEST_P(LatePictureTest, AnImageViewWhosePictureArrivesLaterShowsItWhereverItWasMeanwhile) {
  enum class Meanwhile { showing, outsideTheWindow, windowAway };
  const struct {
    Meanwhile where;
    const char* name;
  } cases[] = {
      {Meanwhile::showing, "the view showing"},
      // Moved back by whole pixels, the layer's kept picture would be laid on again as it
      // was made, over the part outside the window too, unless the arrival marked the view.
      {Meanwhile::outsideTheWindow, "the layer carried so far that the view lay outside the window"},
      {Meanwhile::windowAway, "the window away"},
  };
  const NSRect home = holder->frame();
  for (const auto& [where, name] : cases) {
    SCOPED_TRACE(name);
    DecodingHeld held;
    auto image = pictureDecodedLater();
    ASSERT_TRUE(image);
    auto view = NSImageView::initWithFrame(NSMakeRect(30.5, 20.25, 110, 80));
    view->setImageScaling(NSImageScaling::axesIndependently);
    overlay->addSubview(view);
    view->setImage(image);
    ASSERT_EQ(check->mismatch(window), "");
    if (where == Meanwhile::outsideTheWindow) {
      holder->setFrameOrigin({home.origin.x - 160, home.origin.y});
      ASSERT_EQ(check->mismatch(window), "");
      ASSERT_TRUE(view->visibleRect().isEmpty()) << "the view still shows in the window";
    }
    if (where == Meanwhile::windowAway) window->orderOut(nullptr);
    arrive(held, *image);
    if (where == Meanwhile::outsideTheWindow) holder->setFrameOrigin(home.origin);
    if (where == Meanwhile::windowAway) window->makeKeyAndOrderFront(nullptr);
    // A large picture is scaled on a worker; the drawing meanwhile may round a unit apart.
    EXPECT_EQ(check->mismatch(window, 2), "") << "the kept picture of the tree shows the image view's picture";
    view->removeFromSuperview();
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, LatePictureTest, ::testing::Values(1.0, 2.0),
                         [](const auto& info) { return info.param == 1.0 ? "scale1" : "scale2"; });

}  // namespace
