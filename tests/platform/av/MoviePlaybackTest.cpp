// Movie previews as tiles play them: opening (and refusing) files, the end of each pass,
// looping by seeking back, pictures drawn by the layer only while it is seen, the frame
// cache, and single pictures at chosen times.

#include <fstream>
#include <future>

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/av/AVAssetImageGenerator.h"
#include "platform/av/AVPlayerLayer.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/appkit/Snapshot.h"
#include "standin/MovieMaker.h"
#include "tests/support/UISimulator.h"

namespace {

constexpr std::uint32_t kTileColour = 0x3366cc;

// 64 × 48, four frames at 10 a second: a 0.4 s clip whose light square moves from the left
// edge (frame 0) to the right edge (frame 3).
std::string fourFrameClip() {
  auto movie = MovieMaker::tinyMovie({.width = 64, .height = 48, .frames = 4, .rgb = kTileColour});
  EXPECT_TRUE(movie.has_value());
  return movie.value_or("");
}

bool near(std::array<std::uint8_t, 4> pixel, std::uint32_t rgb) {
  auto close = [](int a, int b) { return std::abs(a - b) <= 12; };
  return close(pixel[0], (rgb >> 16) & 0xff) && close(pixel[1], (rgb >> 8) & 0xff) && close(pixel[2], rgb & 0xff);
}

class MoviePlaybackTest : public UITest {
 protected:
  std::shared_ptr<NSURL> write(const std::string& name, const std::string& bytes) {
    auto path = home() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return NSURL::fileURLWithPath(path.string());
  }
  std::shared_ptr<NSURL> clip() { return write("clip.mp4", fourFrameClip()); }

  // A window with a layer-backed view holding the player layer, as a tile holds it.
  std::shared_ptr<AVPlayerLayer> layerInWindow(const std::shared_ptr<AVPlayer>& player) {
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 200, 200), NSWindowStyleMaskBorderless);
    window->makeKeyAndOrderFront(nullptr);
    tile = NSView::initWithFrame(NSMakeRect(20, 20, 64, 48));
    tile->setWantsLayer(true);
    window->contentView()->addSubview(tile);
    auto layer = AVPlayerLayer::layer();
    layer->setFrame(tile->layer()->bounds());
    layer->setVideoGravity(AVLayerVideoGravityResize);
    tile->layer()->addSublayer(layer);
    layer->setPlayer(player);
    return layer;
  }
  // The tile's picture now, once the picture due is decoded: the colour under the square's
  // first and last places.
  std::pair<std::array<std::uint8_t, 4>, std::array<std::uint8_t, 4>> tileEnds() {
    auto movie = tile->layer()->sublayers().front();
    auto player = std::static_pointer_cast<AVPlayerLayer>(movie)->player();
    auto pictures = player->currentItem()->asset()->pictures();
    EXPECT_TRUE(NSRunLoop::main()->runUntil(
        [&] { return pictures->frameIfReady(player->currentSeconds(), 64, 48).has_value(); }, 60.0));
    auto picture = ViewTreeRenderer::imageOfView(tile);
    return {picture->pixelAt(6, 24), picture->pixelAt(58, 24)};
  }
  // Waits until the worker has made every picture asked for so far.
  static void drainDecoding() {
    std::promise<void> idle;
    auto done = idle.get_future();
    MoviePictures::decodingQueue()->async([&idle] { idle.set_value(); });
    done.wait();
  }

  std::shared_ptr<NSWindow> window;
  std::shared_ptr<NSView> tile;
};

TEST_F(MoviePlaybackTest, OpensRealClipsAndRefusesEverythingElse) {
  auto good = AVAsset::assetWithURL(clip());
  ASSERT_TRUE(good->isPlayable()) << good->error()->description();
  EXPECT_NEAR(CMTimeGetSeconds(good->duration()), 0.4, 0.01);
  EXPECT_EQ(good->naturalSize(), NSMakeSize(64, 48));

  std::string movie = fourFrameClip();
  std::string huge = movie;
  // The sample description's picture size, raised to 65535 × 65535.
  auto entry = huge.rfind("avc1");
  ASSERT_NE(entry, std::string::npos);
  for (std::size_t i = entry + 28; i < entry + 32; ++i) huge[i] = '\xff';
  std::string gif = "GIF89a\x01\x00\x01\x00\x00\x00\x00;";
  struct Case {
    const char* name;
    std::string bytes;
  };
  int ends = 0;
  auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
      AVPlayerItemDidPlayToEndTimeNotification, nullptr, nullptr, [&](const std::shared_ptr<NSNotification>&) { ++ends; });
  for (const Case& c : {Case{"empty", ""}, Case{"a GIF named .mp4", gif}, Case{"text", std::string(5000, 'x')},
                        Case{"cut in half", movie.substr(0, movie.size() / 2)},
                        Case{"a box header only", movie.substr(0, 8)}, Case{"huge declared frames", huge}}) {
    auto asset = AVAsset::assetWithURL(write("bad.mp4", c.bytes));
    EXPECT_FALSE(asset->isPlayable()) << c.name;
    ASSERT_TRUE(asset->error()) << c.name;
    EXPECT_EQ(asset->error()->domain(), AVFoundationErrorDomain) << c.name;
    EXPECT_EQ(CMTimeGetSeconds(asset->duration()), 0) << c.name;
    // A player of it plays nothing and never ends, and its layer draws nothing.
    auto player = AVPlayer::initWithURL(asset->URL());
    EXPECT_EQ(player->currentItem()->status(), AVPlayerItemStatus::failed) << c.name;
    player->play();
    auto layer = AVPlayerLayer::playerLayerWithPlayer(player);
    layer->setFrame(NSMakeRect(0, 0, 16, 16));
    Snapshot::image(layer, NSMakeSize(16, 16));
    EXPECT_FALSE(layer->isReadyForDisplay()) << c.name;
    EXPECT_FALSE(AVAssetImageGenerator::initWithAsset(asset)->copyCGImageAtTime(kCMTimeZero)) << c.name;
  }
  ui.advance(5);
  EXPECT_EQ(ends, 0) << "what cannot play never ends";
  EXPECT_FALSE(AVAsset::assetWithURL(NSURL::URLWithString("http://127.0.0.1/clip.mp4"))->isPlayable());
}

TEST_F(MoviePlaybackTest, FramesOfNoLengthGiveAStillPicture) {
  // Every sample's duration in the time-to-sample table set to zero: all four frames
  // claim the same moment.
  std::string movie = fourFrameClip();
  auto table = movie.find("stts");
  ASSERT_NE(table, std::string::npos);
  for (std::size_t i = table + 16; i < table + 20; ++i) movie[i] = '\0';
  auto opened = MovieDecoder::open(write("still.mp4", movie)->path());
  ASSERT_TRUE(opened.has_value());
  auto& decoder = *opened;
  auto first = decoder->frameAt(0);
  ASSERT_TRUE(first);
  EXPECT_GT(first->end, first->start);
  for (double t : {0.1, 0.3, 5.0, 0.0}) {
    auto frame = decoder->frameAt(t);
    ASSERT_TRUE(frame) << t;
    EXPECT_EQ(frame->image->pixels().rgba, first->image->pixels().rgba) << t;
  }
  EXPECT_LE(decoder->framesDecoded(), 4u * 5);
}

TEST_F(MoviePlaybackTest, PostsTheEndOncePerPassAndLoopsBySeekingBackAndPlaying) {
  auto player = AVPlayer::initWithURL(clip());
  player->volume = 0;
  player->actionAtItemEnd = AVPlayerActionAtItemEnd::none;
  int ends = 0;
  bool loop = false;
  auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
      AVPlayerItemDidPlayToEndTimeNotification, nullptr, nullptr, [&](const std::shared_ptr<NSNotification>& n) {
        ++ends;
        EXPECT_EQ(n->object(), player->currentItem());
        if (loop) {
          player->seekToTime(CMTimeMake(0, 1));
          player->play();
        }
      });
  auto layer = layerInWindow(player);
  player->play();
  ui.advance(0.39);
  EXPECT_EQ(ends, 0);
  ui.advance(0.02);
  EXPECT_EQ(ends, 1);
  ui.advance(3);
  EXPECT_EQ(ends, 1) << "the player rests on the last frame";
  EXPECT_EQ(player->rate(), 1);
  EXPECT_NEAR(CMTimeGetSeconds(player->currentTime()), 0.4, 0.01);
  EXPECT_TRUE(near(tileEnds().second, ~kTileColour & 0xffffff)) << "the last frame shows";

  loop = true;
  layer->displayIfNeeded();
  player->seekToTime(kCMTimeZero);
  EXPECT_TRUE(layer->needsDisplay()) << "a jump in time redraws the layer";
  EXPECT_TRUE(near(tileEnds().first, ~kTileColour & 0xffffff)) << "the first frame shows";
  ui.advance(0.41 + 0.4 + 0.4);
  EXPECT_EQ(ends, 4);
  ui.advance(0.1);
  auto [left, right] = tileEnds();
  EXPECT_TRUE(near(left, kTileColour));
  EXPECT_TRUE(near(right, kTileColour)) << "playing again: a middle frame of the next pass";

  player->pause();
  ui.advance(5);
  EXPECT_EQ(ends, 4) << "a paused player does not end";
}

// A paused movie keeps its place: it shows the frame it was paused on, and playing again goes
// on from there, with its end at the remaining time.
TEST_F(MoviePlaybackTest, PausingKeepsThePlaceAndPlayingGoesOnFromIt) {
  auto player = AVPlayer::initWithURL(clip());
  player->actionAtItemEnd = AVPlayerActionAtItemEnd::none;
  int ends = 0;
  auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
      AVPlayerItemDidPlayToEndTimeNotification, nullptr, nullptr, [&](const std::shared_ptr<NSNotification>&) { ++ends; });
  auto layer = layerInWindow(player);
  player->play();
  ui.advance(0.05);
  ViewTreeRenderer::imageOfWindow(window);
  ui.advance(0.2);
  player->pause();
  for (int step = 0; step < 30; ++step) {
    ViewTreeRenderer::imageOfWindow(window);
    ui.advance(0.1);
  }
  EXPECT_NEAR(CMTimeGetSeconds(player->currentTime()), 0.25, 0.01);
  auto [left, right] = tileEnds();
  EXPECT_TRUE(near(left, kTileColour) && near(right, kTileColour)) << "a middle frame, not the first";
  player->play();
  ui.advance(0.01);
  EXPECT_NEAR(CMTimeGetSeconds(player->currentTime()), 0.26, 0.01);
  std::tie(left, right) = tileEnds();
  EXPECT_TRUE(near(left, kTileColour)) << "no jump back to the first frame";
  ui.advance(0.13);
  EXPECT_EQ(ends, 0);
  ui.advance(0.02);
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(near(tileEnds().second, ~kTileColour & 0xffffff)) << "the last frame shows";
}

TEST_F(MoviePlaybackTest, RestartingAtEveryEndCannotSpinTheClock) {
  // An end handler that seeks to the end itself would end the pass at once, again and
  // again; passes are at least the shortest pass long, so this ends ten times a second.
  auto player = AVPlayer::initWithURL(clip());
  player->actionAtItemEnd = AVPlayerActionAtItemEnd::none;
  int ends = 0;
  auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
      AVPlayerItemDidPlayToEndTimeNotification, nullptr, nullptr, [&](const std::shared_ptr<NSNotification>&) {
        ++ends;
        player->seekToTime(CMTimeMake(10, 1));
        player->play();
      });
  player->seekToTime(CMTimeMake(10, 1));
  player->play();
  ui.advance(1.0);
  EXPECT_LE(ends, int(1.0 / AVPlayer::kShortestPass) + 1);
  EXPECT_GE(ends, 5);
}

TEST_F(MoviePlaybackTest, DecodesOnlyForLayersThatAreDrawnAndNotAgainOnceTheClipIsCached) {
  auto player = AVPlayer::initWithURL(clip());
  player->actionAtItemEnd = AVPlayerActionAtItemEnd::none;
  auto layer = layerInWindow(player);
  player->play();
  auto movie = player->currentItem()->asset()->pictures();
  ASSERT_TRUE(movie);

  struct Case {
    const char* name;
    std::function<void()> hide, show;
  };
  for (const Case& c : {Case{"hidden layer", [&] { layer->setHidden(true); }, [&] { layer->setHidden(false); }},
                        Case{"hidden view", [&] { tile->setHidden(true); }, [&] { tile->setHidden(false); }},
                        Case{"scrolled out", [&] { tile->setFrameOrigin(NSMakePoint(900, 900)); },
                             [&] { tile->setFrameOrigin(NSMakePoint(20, 20)); }}}) {
    c.hide();
    ViewTreeRenderer::imageOfWindow(window);
    ui.advance(0.1);
    ViewTreeRenderer::imageOfWindow(window);
    EXPECT_EQ(movie->framesDecoded(), 0u) << c.name;
    c.show();
  }

  player->seekToTime(kCMTimeZero);
  ui.advance(0.05);  // mid-frame, away from the boundaries
  for (int frame = 0; frame < 4; ++frame) {
    tileEnds();
    ui.advance(0.1);
  }
  drainDecoding();
  std::size_t firstPass = movie->framesDecoded();
  EXPECT_GE(firstPass, 4u);
  EXPECT_EQ(movie->heldBytes(), 4u * 64 * 48 * 4) << "every frame kept: the clip is small";
  player->seekToTime(kCMTimeZero);
  ui.advance(0.05);  // mid-frame, away from the boundaries
  for (int frame = 0; frame < 4; ++frame) {
    tileEnds();
    ui.advance(0.1);
  }
  drainDecoding();
  EXPECT_EQ(movie->framesDecoded(), firstPass) << "the second pass comes from the kept pictures";
}

TEST_F(MoviePlaybackTest, TheCacheStaysWithinItsBoundAndDecodingRunsOneFrameAhead) {
  auto url = clip();
  MovieDecoder::Limits limits;
  limits.cacheBytes = 2 * 64 * 48 * 4;
  auto movie = MovieDecoder::open(url->path(), limits);
  ASSERT_TRUE(movie.has_value());
  auto first = (*movie)->frameAt(0);
  ASSERT_TRUE(first);
  EXPECT_EQ((*movie)->framesDecoded(), 2u) << "the frame and the one after, to know where it ends";
  EXPECT_NEAR(first->end, 0.1, 1e-6);
  for (double t : {0.15, 0.25, 0.35, 0.05, 0.35}) {
    auto frame = (*movie)->frameAt(t);
    ASSERT_TRUE(frame) << t;
    EXPECT_LE(frame->start, t);
    EXPECT_GT(frame->end, t);
    EXPECT_LE((*movie)->cachedBytes(), limits.cacheBytes);
  }
}

TEST_F(MoviePlaybackTest, AGrabPastTheEndOfAShortClipGivesItsLastFrame) {
  auto asset = AVAsset::assetWithURL(clip());
  auto generator = AVAssetImageGenerator::initWithAsset(asset);
  CMTime actual = kCMTimeInvalid;
  auto grabbed = generator->copyCGImageAtTime(CMTimeMake(1, 1), &actual);
  ASSERT_TRUE(grabbed.has_value()) << grabbed.error()->description();
  EXPECT_NEAR(CMTimeGetSeconds(actual), 0.3, 1e-6);
  auto image = NSImage::initWithCGImage(*grabbed, NSZeroSize);
  EXPECT_EQ(image->size(), NSMakeSize(64, 48));
  EXPECT_TRUE(near(image->pixelAt(6, 24), kTileColour));
  EXPECT_TRUE(near(image->pixelAt(58, 24), ~kTileColour & 0xffffff));
  auto start = generator->copyCGImageAtTime(kCMTimeZero, &actual);
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(CMTimeGetSeconds(actual), 0);
  EXPECT_TRUE(near(NSImage::initWithCGImage(*start, NSZeroSize)->pixelAt(6, 24), ~kTileColour & 0xffffff));
}

// The clip with the picture size its sample description declares changed.
std::string declaring(int width, int height) {
  std::string movie = fourFrameClip();
  auto entry = movie.rfind("avc1");
  EXPECT_NE(entry, std::string::npos);
  movie[entry + 28] = char(width >> 8), movie[entry + 29] = char(width & 0xff);
  movie[entry + 30] = char(height >> 8), movie[entry + 31] = char(height & 0xff);
  return movie;
}

TEST_F(MoviePlaybackTest, PreviewsLargerThanAScreenAreRefused) {
  struct Case {
    int width, height;
    bool playable;
  } cases[] = {{1920, 1080, true}, {1080, 1920, true}, {1921, 1080, false}, {2560, 1440, false}, {4096, 2304, false}};
  for (const auto& c : cases) {
    auto asset = AVAsset::assetWithURL(write("declared.mp4", declaring(c.width, c.height)));
    EXPECT_EQ(asset->isPlayable(), c.playable) << c.width << " x " << c.height;
    if (!c.playable) {
      EXPECT_EQ(asset->error()->code(), AVErrorDecodeFailed);
    }
  }
}

TEST_F(MoviePlaybackTest, PicturesDecodeOnAWorkerAtTheSizeTheyAreShownAt) {
  auto player = AVPlayer::initWithURL(clip());
  auto layer = layerInWindow(player);  // 64 × 48 points
  player->play();
  auto movie = player->currentItem()->asset()->pictures();
  ASSERT_TRUE(movie);
  {
    // With the worker busy, drawing asks for the picture and goes on without it.
    std::promise<void> release;
    auto released = release.get_future().share();
    MoviePictures::decodingQueue()->async([released] { released.wait(); });
    ViewTreeRenderer::imageOfView(tile, 2.0);
    EXPECT_FALSE(layer->isReadyForDisplay());
    EXPECT_EQ(movie->framesDecoded(), 0u) << "nothing decoded while drawing";
    layer->displayIfNeeded();
    ASSERT_FALSE(layer->needsDisplay());
    release.set_value();
  }
  // The picture arrives and marks the layer for display.
  ASSERT_TRUE(NSRunLoop::main()->runUntil([&] { return layer->needsDisplay(); }, 60.0));
  // Drawn at two pixels a point, the pictures are made at 128 × 96.
  auto frame = movie->frameIfReady(player->currentSeconds(), 128, 96);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->image->pixels().width, 128);
  EXPECT_EQ(frame->image->pixels().height, 96);
  auto picture = ViewTreeRenderer::imageOfView(tile, 2.0);
  EXPECT_TRUE(layer->isReadyForDisplay());
  EXPECT_TRUE(near(picture->pixelAt(12, 48), ~kTileColour & 0xffffff)) << "the square at its first place";
  EXPECT_TRUE(near(picture->pixelAt(116, 48), kTileColour));
  // The decoded pictures are those of the tile's size, and a few ahead of the one shown.
  drainDecoding();
  EXPECT_EQ(movie->heldBytes() % (128u * 96 * 4), 0u);
  EXPECT_GE(movie->heldBytes(), 2u * 128 * 96 * 4);
}

TEST(CMTimeTest, ConvertsAndCompares) {
  EXPECT_EQ(CMTimeGetSeconds(CMTimeMake(3, 2)), 1.5);
  EXPECT_EQ(CMTimeMakeWithSeconds(0.25, 600), CMTimeMake(150, 600));
  EXPECT_FALSE(CMTimeMakeWithSeconds(1e300, 600).isValid());
  EXPECT_EQ(CMTimeGetSeconds(kCMTimeInvalid), 0);
  EXPECT_EQ(CMTimeCompare(CMTimeMake(1, 2), CMTimeMake(2, 4)), 0);
  EXPECT_EQ(CMTimeCompare(CMTimeMake(1, 3), CMTimeMake(1, 2)), -1);
}

}  // namespace
