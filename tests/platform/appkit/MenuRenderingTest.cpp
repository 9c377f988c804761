// The picture of an open menu: its size follows its rows, disabled titles are greyed,
// separators and submenu arrows are drawn.

#include <gtest/gtest.h>

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/MenuRenderer.h"
#include "tests/support/TestEnvironment.h"

namespace {

class MenuRenderingTest : public GlimdeckTest {};

int darkestIn(const NSImage& image, int top, int bottom) {
  int darkest = 255;
  for (int y = top; y < bottom; ++y) {
    for (int x = 0; x < image.pixelWidth(); ++x) {
      auto p = image.pixelAt(x, y);
      if (p[3] > 200) darkest = std::min<int>(darkest, p[0]);
    }
  }
  return darkest;
}

TEST_F(MenuRenderingTest, AnOpenMenuShowsItsRowsSeparatorsAndStates) {
  using M = MenuRenderer::Metrics;
  auto menu = NSMenu::make();
  menu->autoenablesItems = false;
  menu->addItemWithTitle("Copy GIF", "copyGif", "");
  menu->addItemWithTitle("Version: 1.0", "", "")->setEnabled(false);
  menu->addItem(NSMenuItem::separatorItem());
  auto add = menu->addItemWithTitle("Add to Pack", "", "");
  add->setSubmenu(NSMenu::make());
  menu->addItemWithTitle("A rather long title that widens the whole menu", "x", "q")->state = NSControlStateValueOn;

  auto size = MenuRenderer::sizeOfMenu(*menu);
  EXPECT_EQ(size.height, 2 * M::verticalPadding + 4 * M::rowHeight + M::separatorHeight);
  EXPECT_GT(size.width, 300);

  auto image = MenuRenderer::imageOfMenu(menu);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->pixelWidth(), static_cast<int>(size.width));
  const int row0 = static_cast<int>(M::verticalPadding);
  const int row1 = row0 + static_cast<int>(M::rowHeight);
  const int separator = row1 + static_cast<int>(M::rowHeight);
  const int row3 = separator + static_cast<int>(M::separatorHeight);
  EXPECT_LT(darkestIn(*image, row0, row1), 80) << "an enabled title is dark";
  EXPECT_GT(darkestIn(*image, row1, separator), 120) << "a disabled one is grey";
  auto line = image->pixelAt(image->pixelWidth() / 2, separator + static_cast<int>(M::separatorHeight / 2));
  EXPECT_LT(line[0], 230);
  EXPECT_GT(line[0], 150);
  auto arrow = image->pixelAt(image->pixelWidth() - 13, row3 + static_cast<int>(M::rowHeight / 2));
  EXPECT_LT(arrow[0], 80) << "the submenu arrow";

  auto path = home() / "menu.png";
  ASSERT_TRUE(MenuRenderer::writeMenuPNG(menu, path));
  EXPECT_GT(std::filesystem::file_size(path), 200u);
  EXPECT_FALSE(MenuRenderer::writeMenuPNG(nullptr, path));
}

}  // namespace
