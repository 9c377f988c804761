// PNG pictures made for a place on screen: within limits a picture larger than their side is
// kept at that side, scaled down as its rows are read (each kept pixel the alpha-weighted
// mean of the pixels it covers) and never held whole; pictures beyond the largest accepted
// are refused from their header, and damaged data is an error, never a crash.

#include <zlib.h>

#include "platform/appkit/NSImage.h"
#include "platform/appkit/PNGReader.h"
#include "tests/support/HostilePicture.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/TestEnvironment.h"

namespace {

using Pixel = std::array<std::uint8_t, 4>;

constexpr std::uint32_t kRed = 0xff0000ff, kBlue = 0x0000ffff;

NSImage::Limits sideOf(int side) {
  NSImage::Limits limits;
  limits.maxSide = side;
  return limits;
}

bool near(Pixel seen, std::uint32_t rgba, int tolerance = 2) {
  for (int c = 0; c < 4; ++c) {
    if (std::abs(int(seen[c]) - int((rgba >> (24 - 8 * c)) & 0xff)) > tolerance) return false;
  }
  return true;
}

std::string text(Pixel p) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02x%02x%02x%02x", p[0], p[1], p[2], p[3]);
  return buffer;
}

// The PNG with the size its header declares changed (and its checksum made right), the
// pixels as they were.
std::string declaringSize(std::string png, std::uint32_t width, std::uint32_t height) {
  auto put = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<char>(value >> (24 - 8 * i));
  };
  put(16, width);
  put(20, height);
  const auto* chunk = reinterpret_cast<const Bytef*>(png.data() + 12);
  put(29, static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), chunk, 17)));
  return png;
}

class PictureScalingTest : public GlimdeckTest {};

TEST_F(PictureScalingTest, ALargerPictureIsKeptAtTheLimitsSideWithItsOwnSizeAndColours) {
  // A third red, the rest blue: the kept pixels show the same split at a tenth of the size.
  const hostile::Pixels split = [](int x, int) { return x < 1000 ? kRed : kBlue; };
  const struct {
    const char* kind;
    hostile::PictureLook look;
  } kinds[] = {
      {"RGB", {.width = 3000, .height = 1000}},
      {"RGB, interlaced", {.width = 3000, .height = 1000, .interlaced = true}},
      {"RGBA", {.width = 3000, .height = 1000, .withAlpha = true}},
      {"RGBA, interlaced", {.width = 3000, .height = 1000, .interlaced = true, .withAlpha = true}},
  };
  for (const auto& [kind, look] : kinds) {
    SCOPED_TRACE(kind);
    auto image = NSImage::initWithData(NSData::fromString(hostile::png(look, split)), sideOf(300));
    ASSERT_TRUE(image) << image.error()->description();
    EXPECT_EQ((*image)->size(), NSMakeSize(3000, 1000)) << "the picture's own size";
    EXPECT_EQ((*image)->pixelWidth(), 300);
    EXPECT_EQ((*image)->pixelHeight(), 100);
    EXPECT_EQ((*image)->decodedBytes(), 300u * 100 * 4);
    for (const auto& [x, y, expected] : {std::tuple{0, 0, kRed}, {99, 99, kRed}, {100, 0, kBlue}, {299, 50, kBlue}}) {
      const Pixel seen = (*image)->pixelAt(x, y);
      EXPECT_TRUE(near(seen, expected)) << "at " << x << "," << y << ": " << text(seen);
    }
  }
}

TEST_F(PictureScalingTest, AKeptPixelWeighsTheColoursItCoversByTheirAlpha) {
  // Clear green beside opaque red: half covered, and red, not a mix with the green that
  // does not show.
  auto png = hostile::png({.width = 4, .height = 2, .withAlpha = true},
                          [](int x, int) { return x < 2 ? 0x00ff0000u : kRed; });
  auto image = NSImage::initWithData(NSData::fromString(png), sideOf(1));
  ASSERT_TRUE(image) << image.error()->description();
  ASSERT_EQ((*image)->pixelWidth(), 1);
  const Pixel seen = (*image)->pixelAt(0, 0);
  EXPECT_TRUE(near(seen, 0xff000080u, 1)) << text(seen);
}

TEST_F(PictureScalingTest, APictureThatFitsOrIsMadeWithoutLimitsKeepsEveryPixel) {
  const std::string png = hostile::png({.width = 1000, .height = 800}, [](int x, int y) {
    return (x + y) % 2 ? kRed : kBlue;
  });
  const struct {
    const char* how;
    std::optional<int> side;
  } ways[] = {{"without limits", std::nullopt}, {"within limits it fits", 1000}};
  for (const auto& [how, side] : ways) {
    SCOPED_TRACE(how);
    auto image = side ? NSImage::initWithData(NSData::fromString(png), sideOf(*side))
                      : NSImage::initWithData(NSData::fromString(png));
    ASSERT_TRUE(image) << image.error()->description();
    EXPECT_EQ((*image)->pixelWidth(), 1000);
    EXPECT_EQ((*image)->pixelHeight(), 800);
    EXPECT_TRUE(near((*image)->pixelAt(1, 0), kRed));
    EXPECT_TRUE(near((*image)->pixelAt(999, 799), kBlue));
  }
}

TEST_F(PictureScalingTest, PicturesBeyondTheLargestAcceptedAndDamagedOnesAreErrors) {
  const std::string small = hostile::png({.width = 8, .height = 8}, [](int, int) { return kRed; });
  const std::string whole = hostile::png(2000);
  const struct {
    const char* what;
    std::string bytes;
    std::int64_t code;
  } cases[] = {
      {"a side beyond the largest", declaringSize(small, PNGReader::kMostSide + 1, 8), NSImage::tooLarge},
      {"more pixels than accepted", declaringSize(small, 9000, 9000), NSImage::tooLarge},
      {"no pixels", declaringSize(small, 0, 8), NSImage::corruptData},
      {"cut off in its rows", whole.substr(0, whole.size() / 2), NSImage::corruptData},
      {"its rows' data damaged", [&] {
         std::string damaged = whole;
         for (std::size_t at = 200; at < damaged.size() - 20; at += 97) damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
         return damaged;
       }(), NSImage::corruptData},
      {"the header alone", whole.substr(0, 33), NSImage::corruptData},
  };
  for (const auto& [what, bytes, code] : cases) {
    SCOPED_TRACE(what);
    for (const bool limited : {true, false}) {
      auto image = limited ? NSImage::initWithData(NSData::fromString(bytes), sideOf(400))
                           : NSImage::initWithData(NSData::fromString(bytes));
      ASSERT_FALSE(image) << (limited ? "within limits" : "without limits");
      EXPECT_EQ(image.error()->domain(), NSImage::ErrorDomain);
      EXPECT_EQ(image.error()->code(), code) << image.error()->description();
    }
  }
}

TEST_F(PictureScalingTest, AHostilePictureCostsTheKeptPixelsAndARowNotItsDecodedSize) {
  static const std::string bytes = hostile::png();  // 8000 × 8000: 256 MB decoded whole
  ASSERT_LT(bytes.size(), 1u << 20);
  auto data = NSData::fromString(bytes);
  ASSERT_TRUE(resident::restartPeak()) << "the kernel does not let the peak start over";
  const std::size_t before = resident::nowBytes();
  auto image = NSImage::initWithData(data, sideOf(400));
  const std::size_t grown = resident::peakGrowthSince(before);
  ASSERT_TRUE(image) << image.error()->description();
  EXPECT_EQ((*image)->pixelWidth(), 400);
  EXPECT_LT(grown, std::size_t(32) << 20) << "the process grew by " << (grown >> 20) << " MB at its peak";
  // The bands keep their colours, the kept rows where two meet a blend of both.
  EXPECT_TRUE(near((*image)->pixelAt(200, 50), 0x3366ccff));
  EXPECT_TRUE(near((*image)->pixelAt(200, 350), 0xaa3399ff));
}

}  // namespace
