#include <gtest/gtest.h>

#include "standin/GifMaker.h"
#include "tests/standin/GifDecode.h"

namespace {

TEST(GifMakerTest, AnimatedGifDecodesWithItsSpecAndStaysUnderTheBound) {
  for (GifMaker::Look look : {GifMaker::Look{1, 1, 1, 0, false}, GifMaker::Look{16, 9, 3, 0xff0000, true},
                              GifMaker::Look{320, 240, 5, 0x123456, true}, GifMaker::Look{7, 300, 2, 0xabcdef, false}}) {
    SCOPED_TRACE(std::to_string(look.width) + "x" + std::to_string(look.height));
    auto bytes = GifMaker::animated(look);
    EXPECT_EQ(bytes.substr(0, 6), "GIF89a");
    EXPECT_LE(bytes.size(), GifMaker::sizeBound(look));
    auto decoded = decodeGif(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, look.width);
    EXPECT_EQ(decoded->height, look.height);
    EXPECT_EQ(decoded->frames, look.frames);
  }
}

TEST(GifMakerTest, PaddingReachesEveryExactSize) {
  GifMaker::Look look{8, 8, 2, 0x22aa66, true};
  std::size_t smallest = GifMaker::animated(look).size();
  std::vector<std::size_t> sizes;
  // Every size just around the two natural lengths and the sub-block boundaries.
  for (std::size_t extra = 0; extra < 40; ++extra) sizes.push_back(smallest + extra);
  for (std::size_t around : {256u, 257u, 258u, 259u, 260u, 512u, 513u, 514u, 515u, 516u, 65536u, 1'000'003u}) {
    sizes.push_back(smallest + around);
  }
  for (std::size_t size : sizes) {
    SCOPED_TRACE(size);
    auto file = GifMaker::padded(look, size);
    ASSERT_TRUE(file.has_value()) << file.error();
    auto bytes = file->bytes();
    ASSERT_EQ(bytes.size(), size);
    EXPECT_EQ(bytes.back(), '\x3b');
    auto decoded = decodeGif(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->frames, 2);
    // Written in uneven pieces it is the same file.
    std::string pieces;
    for (std::size_t offset = 0; offset < size; offset += 97) file->write(offset, 97, pieces);
    EXPECT_EQ(pieces, bytes);
  }
  // Below the look's own size only the GIF without the looping extension is left to pad.
  std::size_t withoutLoop = GifMaker::animated({8, 8, 2, 0x22aa66, false}).size();
  EXPECT_TRUE(GifMaker::padded(look, withoutLoop).has_value());
  EXPECT_TRUE(GifMaker::padded(look, withoutLoop + 5).has_value());
  EXPECT_FALSE(GifMaker::padded(look, withoutLoop + 3).has_value());
  EXPECT_FALSE(GifMaker::padded(look, withoutLoop - 1).has_value());
  EXPECT_FALSE(GifMaker::padded(look, 0).has_value());
}

TEST(GifMakerTest, Mp4FilesHaveTheirSignatureAndExactSize) {
  for (std::size_t size : {36u, 37u, 1000u, 123457u}) {
    auto file = GifMaker::mp4(size);
    ASSERT_TRUE(file);
    auto bytes = file->bytes();
    EXPECT_EQ(bytes.size(), size);
    EXPECT_EQ(bytes.substr(4, 4), "ftyp");
    EXPECT_EQ(bytes.substr(32, 4), "mdat");
  }
  EXPECT_FALSE(GifMaker::mp4(35).has_value());
}

}  // namespace
