// The picture of an open menu: its size follows its rows, disabled titles are greyed,
// separators and submenu arrows are drawn (a separator only between rows), the highlighted
// row is filled; rows are found by their place.

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

TEST_F(MenuRenderingTest, RowsAreFoundByTheirPlaceAndTheHighlightedOneIsFilled) {
  using M = MenuRenderer::Metrics;
  auto menu = NSMenu::make();
  menu->addItemWithTitle("Copy GIF", "copyGif", "");
  menu->addItem(NSMenuItem::separatorItem());
  menu->addItemWithTitle("Secret", "copyGif", "")->hidden = true;
  menu->addItemWithTitle("Copy Link", "copyLink", "");
  const auto size = MenuRenderer::sizeOfMenu(*menu);
  const double w = size.width;
  const double sep = M::verticalPadding + M::rowHeight;
  const double last = sep + M::separatorHeight;
  EXPECT_EQ(MenuRenderer::itemFrames(*menu),
            (std::vector<NSRect>{NSMakeRect(0, M::verticalPadding, w, M::rowHeight), NSMakeRect(0, sep, w, M::separatorHeight),
                                 NSZeroRect, NSMakeRect(0, last, w, M::rowHeight)}));
  EXPECT_EQ(size.height, last + M::rowHeight + M::verticalPadding);

  struct Probe {
    NSPoint at;
    long item;
  };
  const Probe probes[] = {
      {{10, 2}, -1},                         // the padding above the rows
      {{10, M::verticalPadding}, 0},         // a row's top edge is in it
      {{10, sep - 0.5}, 0},
      {{10, sep + 2}, -1},                   // a separator is no item to choose
      {{10, last + 1}, 3},                   // the hidden item takes no room
      {{w - 1, last + 1}, 3},
      {{w, last + 1}, -1},                   // right of the menu
      {{-1, last + 1}, -1},
      {{10, size.height - 1}, -1},           // the padding below
  };
  for (const auto& p : probes) {
    EXPECT_EQ(MenuRenderer::indexOfItemAtPoint(*menu, p.at), p.item) << p.at.x << "," << p.at.y;
  }

  auto image = MenuRenderer::imageOfMenu(menu, 1.0, 3);
  ASSERT_TRUE(image);
  auto filled = image->pixelAt(static_cast<int>(M::highlightInset) + 2, static_cast<int>(last + M::rowHeight / 2));
  const auto& blue = MenuRenderer::Colours::selection;
  EXPECT_NEAR(filled[0], blue.red * 255, 3);
  EXPECT_NEAR(filled[1], blue.green * 255, 3);
  EXPECT_NEAR(filled[2], blue.blue * 255, 3);
  int brightest = 0;
  for (int x = static_cast<int>(M::leadingInset); x < static_cast<int>(w) - 20; ++x) {
    brightest = std::max<int>(brightest, image->pixelAt(x, static_cast<int>(last + M::rowHeight / 2))[0]);
  }
  EXPECT_GT(brightest, 200) << "the highlighted title is light on the selection";
  auto plain = image->pixelAt(static_cast<int>(M::highlightInset) + 2, static_cast<int>(M::verticalPadding + 4));
  EXPECT_NEAR(plain[0], MenuRenderer::Colours::panel.red * 255, 3) << "other rows keep the panel's colour";
}

TEST_F(MenuRenderingTest, ASeparatorShowsOnlyBetweenRows) {
  using M = MenuRenderer::Metrics;
  auto menu = NSMenu::make();
  menu->addItem(NSMenuItem::separatorItem());                        // 0: nothing above it
  menu->addItemWithTitle("Check for Updates", "checkUpdatesSelected", "");
  menu->addItem(NSMenuItem::separatorItem());                        // 2: shown
  menu->addItem(NSMenuItem::separatorItem());                        // 3: beside another
  menu->addItemWithTitle("Log Out", "logOutSelected", "")->hidden = true;
  menu->addItem(NSMenuItem::separatorItem());                        // 5: beside one, a hidden row between
  menu->addItemWithTitle("Quit Glimdeck", "quitSelected", "");
  menu->addItem(NSMenuItem::separatorItem());                        // 7: nothing below it
  EXPECT_EQ(MenuRenderer::shownItems(*menu), (std::vector<bool>{false, true, true, false, false, false, true, false}));

  const auto size = MenuRenderer::sizeOfMenu(*menu);
  EXPECT_EQ(size.height, 2 * M::verticalPadding + 2 * M::rowHeight + M::separatorHeight);
  const auto frames = MenuRenderer::itemFrames(*menu);
  EXPECT_EQ(frames[1], NSMakeRect(0, M::verticalPadding, size.width, M::rowHeight));
  EXPECT_EQ(frames[6], NSMakeRect(0, M::verticalPadding + M::rowHeight + M::separatorHeight, size.width, M::rowHeight));
  for (int i : {0, 3, 4, 5, 7}) EXPECT_TRUE(frames[static_cast<std::size_t>(i)].isEmpty()) << i;

  // The last row's bottom reaches the padding: no line is drawn below it.
  auto image = MenuRenderer::imageOfMenu(menu);
  ASSERT_TRUE(image);
  const int below = static_cast<int>(frames[6].maxY());
  for (int y = below; y < image->pixelHeight() - 2; ++y) {
    EXPECT_NEAR(image->pixelAt(image->pixelWidth() / 2, y)[0], MenuRenderer::Colours::panel.red * 255, 3) << y;
  }
}

}  // namespace
