#include <gif_lib.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/appkit/NSImage.h"
#include "platform/foundation/NSBundle.h"
#include "tests/support/TestEnvironment.h"

namespace {

std::shared_ptr<NSData> pngData(int width, int height, const std::vector<std::uint8_t>& rgba) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
  std::vector<std::uint8_t> out(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr));
  out.resize(size);
  return NSData::make(std::move(out));
}

int writeBytes(GifFileType* file, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(file->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

struct GifFrame {
  int left, top, width, height;
  std::vector<GifByteType> pixels;  // colour indices: 0 red, 1 blue, 2 black, 3 black
  int delay = 0;
  int transparent = NO_TRANSPARENT_COLOR;
  bool interlaced = false;
};

// A GIF of the given logical screen and frames, looping `loops` times.
std::shared_ptr<NSData> gifOf(int width, int height, const std::vector<GifFrame>& frames, int loops = 0) {
  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, writeBytes, &error);
  GifColorType colours[4] = {{255, 0, 0}, {0, 0, 255}, {0, 0, 0}, {0, 0, 0}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifSetGifVersion(gif, true);
  EXPECT_EQ(EGifPutScreenDesc(gif, width, height, 8, 0, map), GIF_OK);
  unsigned char loop[3] = {1, static_cast<unsigned char>(loops), 0};
  EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
  EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
  EGifPutExtensionBlock(gif, 3, loop);
  EGifPutExtensionTrailer(gif);
  for (const auto& frame : frames) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, frame.delay, frame.transparent};
    GifByteType extension[4];
    std::size_t length = EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
    EXPECT_EQ(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced, nullptr),
              GIF_OK);
    // Interlaced rows are written in the order the format stores them.
    std::vector<int> rows;
    for (auto [first, step] : frame.interlaced ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                                               : std::vector<std::pair<int, int>>{{0, 1}}) {
      for (int row = first; row < frame.height; row += step) rows.push_back(row);
    }
    for (int row : rows) {
      EGifPutLine(gif, const_cast<GifByteType*>(frame.pixels.data()) + row * frame.width, frame.width);
    }
  }
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  GifFreeMapObject(map);
  return NSData::make(std::move(out));
}

// A 4 × 2 GIF of two frames: red everywhere, then a blue pixel at (1, 0) over it with the
// rest transparent; delays 0.1 and 0.25 seconds, looping three times.
std::shared_ptr<NSData> twoFrameGif() {
  return gifOf(4, 2, {{0, 0, 4, 2, {0, 0, 0, 0, 0, 0, 0, 0}, 10}, {0, 0, 4, 2, {2, 1, 2, 2, 2, 2, 2, 2}, 25, 2}}, 3);
}

std::vector<std::uint8_t> fromHex(std::string_view hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

class ImageTest : public GlimdeckTest {};

TEST_F(ImageTest, DecodesPngPixels) {
  std::vector<std::uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 10, 20, 30, 255};
  auto image = NSImage::initWithData(pngData(2, 2, rgba));
  ASSERT_TRUE(image.has_value()) << image.error()->description();
  EXPECT_EQ((*image)->size(), NSMakeSize(2, 2));
  EXPECT_EQ((*image)->frameCount(), 1u);
  EXPECT_FALSE((*image)->isAnimated());
  EXPECT_EQ((*image)->pixelAt(1, 0), (std::array<std::uint8_t, 4>{0, 255, 0, 128}));
  EXPECT_EQ((*image)->pixelAt(1, 1), (std::array<std::uint8_t, 4>{10, 20, 30, 255}));
  EXPECT_EQ((*image)->pixelAt(5, 5), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
}

TEST_F(ImageTest, DecodesEveryGifFrameComposedWithDelaysAndLoops) {
  auto image = NSImage::initWithData(twoFrameGif());
  ASSERT_TRUE(image.has_value()) << image.error()->description();
  auto& gif = *image;
  EXPECT_EQ(gif->size(), NSMakeSize(4, 2));
  ASSERT_EQ(gif->frameCount(), 2u);
  EXPECT_TRUE(gif->isAnimated());
  EXPECT_EQ(gif->loopCount(), 3);
  EXPECT_DOUBLE_EQ(gif->frameDelay(0), 0.1);
  EXPECT_DOUBLE_EQ(gif->frameDelay(1), 0.25);
  std::array<std::uint8_t, 4> red{255, 0, 0, 255}, blue{0, 0, 255, 255};
  EXPECT_EQ(gif->pixelAt(1, 0, 0), red);
  EXPECT_EQ(gif->pixelAt(1, 0, 1), blue);
  EXPECT_EQ(gif->pixelAt(3, 1, 1), red);  // transparent pixels keep the frame below
}

TEST_F(ImageTest, BadDataIsAnErrorNotACrash) {
  auto gif = twoFrameGif()->bytes();
  auto png = pngData(2, 2, std::vector<std::uint8_t>(16, 200))->bytes();
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"text", {'h', 'e', 'l', 'l', 'o'}},
      {"PNG signature only", {png.begin(), png.begin() + 8}},
      {"truncated PNG", {png.begin(), png.begin() + static_cast<long>(png.size() / 2)}},
      {"GIF header only", {gif.begin(), gif.begin() + 6}},
      {"truncated GIF", {gif.begin(), gif.begin() + 20}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto image = NSImage::initWithData(NSData::make(c.bytes));
    ASSERT_FALSE(image.has_value());
    EXPECT_EQ(image.error()->domain(), NSImage::ErrorDomain);
  }
  EXPECT_FALSE(NSImage::initWithData(nullptr).has_value());
  // A header that claims a picture of gigapixels is refused before any allocation.
  auto huge = png;
  huge[16] = 0x7F, huge[20] = 0x7F;  // width and height high bytes in the header chunk
  EXPECT_FALSE(NSImage::initWithData(NSData::make(huge)).has_value());
}

TEST_F(ImageTest, GifFramesAreMeasuredBeforeTheyAreDecoded) {
  // 35 bytes: a 1 × 46340 screen holding one 46340 × 46340 frame (two gigapixels).
  auto bomb = NSImage::initWithData(NSData::make(
      fromHex("474946383961010004b5800000000000ffffff2c0000000004b504b50002024401003b")));
  ASSERT_FALSE(bomb.has_value());
  EXPECT_EQ(bomb.error()->domain(), NSImage::ErrorDomain);
  EXPECT_EQ(bomb.error()->code(), NSImage::tooLarge);

  auto wider = NSImage::initWithData(gifOf(2, 2, {{0, 0, 3, 1, {0, 0, 0}}}));
  ASSERT_FALSE(wider.has_value());
  EXPECT_EQ(wider.error()->code(), NSImage::tooLarge);

  // A frame hanging over the right and bottom edges draws only where it meets the screen.
  auto placed = NSImage::initWithData(gifOf(3, 3, {{2, 2, 2, 2, {1, 0, 0, 0}}}));
  ASSERT_TRUE(placed.has_value()) << placed.error()->description();
  EXPECT_EQ((*placed)->size(), NSMakeSize(3, 3));
  EXPECT_EQ((*placed)->pixelAt(2, 2), (std::array<std::uint8_t, 4>{0, 0, 255, 255}));
  EXPECT_EQ((*placed)->pixelAt(1, 1), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));

  // Interlaced rows land where they belong.
  std::vector<GifByteType> stripes;
  for (int row = 0; row < 9; ++row) stripes.push_back(row % 3 == 0 ? 1 : 0);
  auto interlaced = NSImage::initWithData(gifOf(1, 9, {{0, 0, 1, 9, stripes, 0, NO_TRANSPARENT_COLOR, true}}));
  ASSERT_TRUE(interlaced.has_value());
  for (int row = 0; row < 9; ++row) {
    EXPECT_EQ((*interlaced)->pixelAt(0, row)[2], row % 3 == 0 ? 255 : 0) << "row " << row;
  }
}

TEST_F(ImageTest, FilesAndNamedImages) {
  auto path = home() / "picture.gif";
  auto bytes = twoFrameGif()->bytes();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
  auto image = NSImage::initWithContentsOfFile(path);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ((*image)->frameCount(), 2u);
  auto missing = NSImage::initWithContentsOfFile(home() / "nothing.png");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error()->code(), NSImage::unreadableFile);

  for (const char* name : {"", "no-such-image", "../../etc/passwd", "..", "a/b"}) {
    EXPECT_EQ(NSImage::imageNamed(name), nullptr) << name;
  }
  auto pixels = NSImage::imageWithPixels(2, 1, {1, 2, 3, 4}, {4, 2});
  EXPECT_EQ(pixels->size(), NSMakeSize(4, 2));
  EXPECT_EQ(pixels->pixelAt(1, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));  // short buffers are padded
}

}  // namespace

#include "platform/render/NSGraphicsContext.h"
#include "platform/render/RecordingContext.h"

namespace {

TEST_F(ImageTest, PartsOfAPictureAreCutFromTheBottomLeft) {
  // 2 × 2 pixels shown at 4 × 4 points: red top row, blue bottom row.
  auto image = NSImage::imageWithPixels(2, 2, {255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255},
                                        {4, 4});
  auto bottom = image->imageInRect(NSMakeRect(0, 0, 4, 2));
  EXPECT_EQ(bottom->size(), NSMakeSize(4, 2));
  EXPECT_EQ(bottom->pixelAt(0, 0), (std::array<std::uint8_t, 4>{0, 0, 255, 255}));
  auto corner = image->imageInRect(NSMakeRect(2, 2, 9, 9));  // cut at the picture's edge
  EXPECT_EQ(corner->pixelWidth(), 1);
  EXPECT_EQ(corner->pixelAt(0, 0), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));
  EXPECT_EQ(image->imageInRect(NSMakeRect(10, 10, 1, 1))->frameCount(), 0u);

  auto recording = RecordingContext::make();
  NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(recording, false));
  image->drawAtPoint({1, 1}, NSZeroRect, NSCompositingOperation::sourceOver, 1.0);
  image->drawAtPoint({1, 1}, NSMakeRect(0, 0, 4, 2), NSCompositingOperation::sourceOver, 0.5);
  image->drawAtPoint({1, 1}, NSZeroRect, NSCompositingOperation::clear, 1.0);
  auto drawn = recording->all<Recorded::DrawImage>();
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].first.rect, NSMakeRect(1, 1, 4, 4));
  EXPECT_EQ(drawn[1].first.rect, NSMakeRect(1, 1, 4, 2));
  EXPECT_DOUBLE_EQ(drawn[1].first.fraction, 0.5);
}

}  // namespace

namespace {

TEST_F(ImageTest, NamedImagesComeFromTheBundleAtTheirPointSize) {
  for (const char* name : {"StatusIcon-Light", "StatusIcon-Dark", "StatusIcon-Active", "redHeart", "greyHeart"}) {
    auto image = NSImage::imageNamed(name);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_EQ(image->pixelWidth(), int(2 * image->size().width)) << name;  // drawn at twice the density
    EXPECT_EQ(NSImage::imageNamed(name), image);
  }
  EXPECT_EQ(NSImage::imageNamed("redHeart")->size(), NSMakeSize(20, 20));
  // With its extension the name still finds the high-density file.
  ASSERT_NE(NSImage::imageNamed("redHeart.png"), nullptr);
  EXPECT_EQ(NSImage::imageNamed("redHeart.png")->size(), NSMakeSize(20, 20));
  EXPECT_EQ(NSImage::imageNamed("redHeart.gif")->size(), NSMakeSize(20, 20));
}

TEST_F(ImageTest, NamedImagesComeFromTheResourcesFolderTheBundleChose) {
  // An installed program's bundle reads another folder than the sources' one.
  auto folder = home() / "installed";
  std::filesystem::create_directories(folder / "images");
  auto png = pngData(8, 6, std::vector<std::uint8_t>(8 * 6 * 4, 255));
  const auto& bytes = png->bytes();
  std::ofstream(folder / "images" / "OnlyInstalled@2x.png", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  setenv("GLIMDECK_RESOURCES_DIR", folder.c_str(), 1);
  NSBundle::resetMainBundle();
  auto image = NSImage::imageNamed("OnlyInstalled");
  unsetenv("GLIMDECK_RESOURCES_DIR");
  NSBundle::resetMainBundle();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), NSMakeSize(4, 3));
}

}  // namespace
