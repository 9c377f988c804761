// The widget pictures are real drawings: a few pixels of them are what a person would see.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/appkit/NSImage.h"
#include "tests/support/UISimulator.h"
#include "ui/WidgetGallery.h"

namespace {

class WidgetGalleryTest : public UITest {
 protected:
  std::shared_ptr<NSImage> load(const std::string& name) {
    auto image = NSImage::initWithContentsOfFile((folder / (name + ".png")).string());
    EXPECT_TRUE(image) << name;
    return image ? *image : nullptr;
  }
  // A pixel at a point given in the picture's unflipped points (origin bottom left).
  std::array<std::uint8_t, 4> at(const std::shared_ptr<NSImage>& image, double x, double y) {
    const double scale = 2.0;  // writeAll's default
    return image->pixelAt(static_cast<int>(x * scale), image->pixelHeight() - 1 - static_cast<int>(y * scale));
  }
  std::filesystem::path folder;
};

bool near(std::array<std::uint8_t, 4> pixel, int r, int g, int b, int tolerance = 12) {
  return std::abs(pixel[0] - r) <= tolerance && std::abs(pixel[1] - g) <= tolerance &&
         std::abs(pixel[2] - b) <= tolerance;
}

TEST_F(WidgetGalleryTest, WritesEveryWidgetAndThePixelsShowTheirStates) {
  folder = home() / "gallery";
  auto written = WidgetGallery::writeAll(folder);
  ASSERT_TRUE(written) << written.error()->localizedDescription();
  EXPECT_EQ(written->size(), WidgetGallery::entries().size());
  for (const auto& path : *written) EXPECT_GT(std::filesystem::file_size(path), 100u) << path;

  // The check box sits 20 points in, its box 25 points wide and centred: the full one is
  // white in the middle, the empty one a lighter blue, and the backdrop blue (0, 122, 221).
  auto full = load("checkbox-full");
  auto empty = load("checkbox-empty");
  ASSERT_TRUE(full && empty);
  EXPECT_TRUE(near(at(full, 20 + 12.5, 30), 255, 255, 255));
  auto emptyMiddle = at(empty, 20 + 12.5, 30);
  EXPECT_TRUE(near(emptyMiddle, 163, 207, 243, 16)) << int(emptyMiddle[0]) << "," << int(emptyMiddle[1]);
  EXPECT_TRUE(near(at(full, 3, 3), 0, 122, 221));

  // A quarter pie sweeps from the bottom of the circle towards its right: the lower right
  // quadrant is white, the upper left keeps the loading grey (0.16 = 41).
  auto quarter = load("progress-25");
  ASSERT_TRUE(quarter);
  EXPECT_TRUE(near(at(quarter, 40 + 8, 40 - 8), 255, 255, 255));
  EXPECT_TRUE(near(at(quarter, 40 - 8, 40 + 8), 41, 41, 41));
  auto whole = load("progress-100");
  ASSERT_TRUE(whole);
  EXPECT_TRUE(near(at(whole, 40 - 8, 40 + 8), 255, 255, 255));

  // The search gradient runs from (76, 175, 255) on the left to (46, 147, 230) on the right.
  auto gradient = load("search-gradient");
  ASSERT_TRUE(gradient);
  EXPECT_TRUE(near(at(gradient, 1, 22), 76, 175, 255));
  EXPECT_TRUE(near(at(gradient, 299, 22), 46, 147, 230));

  // The shadowed card (160×60 at (20, 20)) is white, the backdrop off-white (250), and just
  // under the card's lower edge the shadow falls darker than the backdrop.
  auto card = load("shadowed-panel");
  ASSERT_TRUE(card);
  EXPECT_TRUE(near(at(card, 100, 50), 255, 255, 255, 3));
  EXPECT_TRUE(near(at(card, 5, 95), 250, 250, 250, 3));
  auto underCard = at(card, 100, 19);
  EXPECT_LT(underCard[0], 240) << int(underCard[0]);

  // The heart image keeps its red.
  auto heart = load("clickable-image");
  ASSERT_TRUE(heart);
  auto middle = at(heart, 30, 28);
  EXPECT_GT(middle[0], 150);
  EXPECT_LT(middle[1], 110);

  // Buttons have real text: somewhere in the middle row of the filled button is white.
  auto button = load("button-filled");
  ASSERT_TRUE(button);
  bool sawText = false;
  for (double x = 30; x < 150 && !sawText; x += 0.5) sawText = near(at(button, x, 30), 255, 255, 255, 40);
  EXPECT_TRUE(sawText);
}

}  // namespace
