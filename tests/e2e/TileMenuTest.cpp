// A search result's menu (the "…" button its tile shows under the pointer): Copy Link and
// Copy Embed put the GIF's address and embed snippet on the desktop's clipboard, and Add to
// Pack puts the GIF in the user's pack, in the store and on the service.

#include <algorithm>

#include "platform/foundation/NSString.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

// The tile menu's rows: Copy GIF, Copy Link, Copy Embed, a separator, Add to Pack.
constexpr std::string_view kTileMenuRows = "iii-i";
enum TileRow : std::size_t { copyLink = 1, copyEmbed = 2, addToPack = 4 };
// Where the results grid's first tile begins, and how far its "…" button sits from the
// tile's bottom right corner.
constexpr NSPoint kFirstResultTopLeft{5, 201};
constexpr double kMoreFromRight = 21, kMoreFromBottom = 15;

// Where the tile's hover heart shows its white circle, beside the heart, from the tile's top left.
constexpr NSPoint kHeartCircleInTile{11, 21};

class TileMenuTest : public DesktopUserTest {
 protected:
  // The darkest grey of a picture's row band (0 black, 255 white).
  static int darkestInRows(const Picture& picture, int top, int bottom) {
    int darkest = 255;
    for (int y = top; y < bottom && y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) darkest = std::min(darkest, static_cast<int>((picture.at(x, y) >> 8) & 0xFF));
    }
    return darkest;
  }
  // The first result's bottom right corner, found as a person sees it: where the white gaps
  // around the tile begin.
  std::optional<NSPoint> firstResultCorner() {
    auto shown = panel();
    if (!shown) return std::nullopt;
    auto shot = picture(*shown, "results");
    auto x = static_cast<int>(kFirstResultTopLeft.x) + 15, y = static_cast<int>(kFirstResultTopLeft.y) + 15;
    int right = x, bottom = y;
    while (right < shot.width && !isNearWhite(shot.at(right, y))) ++right;
    while (bottom < shot.height && !isNearWhite(shot.at(x, bottom))) ++bottom;
    if (right >= shot.width || bottom >= shot.height) return std::nullopt;
    return NSPoint{static_cast<double>(right), static_cast<double>(bottom)};
  }
};

TEST_F(TileMenuTest, ATilesMenuCopiesItsLinkAndEmbedAndAddsItToAPack) {
  ASSERT_NO_FATAL_FAILURE(launchSignedUp("tilly", "tiles-and-menus"));
  ASSERT_NO_FATAL_FAILURE(createPack("Keepers"));
  clickPanel(P::profileButton);  // back home, where the trending strip is
  ASSERT_TRUE(panelShows(P::trendingStrip, [](std::uint32_t rgb) { return !isNearWhite(rgb); }));

  ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
  auto corner = firstResultCorner();
  ASSERT_TRUE(corner) << "the first result's tile has edges";
  NSPoint more{corner->x - kMoreFromRight, corner->y - kMoreFromBottom};
  movePointer(*panel(), {corner->x - 60, corner->y - 60});
  expectScreenMatchesRepaint("results under the pointer");

  const std::string rows(kTileMenuRows);
  ASSERT_NO_FATAL_FAILURE(chooseFromPanelMenu(more, rows, copyLink));
  std::string link;
  EXPECT_TRUE(eventually([&] { return (link = clipboard()).starts_with("http"); })) << "the link: " << link;
  expectScreenMatchesRepaint("link copied");

  ASSERT_NO_FATAL_FAILURE(chooseFromPanelMenu(more, rows, copyEmbed));
  std::string embed;
  EXPECT_TRUE(eventually([&] { return (embed = clipboard()).starts_with("<"); })) << "the embed: " << embed;
  expectScreenMatchesRepaint("embed copied");

  // Add to Pack opens the packs as a submenu under the pointer.
  clickPanel(more);
  std::optional<XWindow> menu, packs;
  ASSERT_TRUE(eventually([&] { return (menu = menuWindow()).has_value(); }));
  movePointer(*menu, menuRow(rows, addToPack));
  ASSERT_TRUE(eventually([&] { return (packs = menuWindow("Glimdeck submenu")).has_value(); }))
      << "the packs open beside the menu";
  picture(*packs, "packs-submenu");
  expectScreenMatchesRepaint("packs submenu");
  click(*packs, menuRow("i", 0));
  ASSERT_TRUE(eventually([&] { return !menuWindow() && !menuWindow("Glimdeck submenu"); }));

  std::string item;
  EXPECT_TRUE(eventually([&] {
    auto pack = standinRecord("collections", "name", "Keepers");
    auto items = pack ? asA<NSArray>(pack->objectForKey("items")) : nullptr;
    auto first = items && items->count() == 1 ? asA<NSString>(items->objectAtIndex(0)) : nullptr;
    if (first) item = first->string();
    return first != nullptr;
  })) << "the service's pack holds the GIF; it received " << receivedPaths();
  EXPECT_NE(link.find(item), std::string::npos) << "the link " << link << " names the GIF " << item;
  EXPECT_NE(embed.find(item), std::string::npos) << "the embed names the GIF " << item;
  EXPECT_TRUE(eventually([&] {
    return queryStore("select count(*) from Collection_vorns v join Collection c on v.owner = c.Z_PK "
                      "where c.name = 'Keepers'") == "1\n";
  })) << "the store's pack holds the GIF";
  expectScreenMatchesRepaint("added to the pack");
}

TEST_F(TileMenuTest, WithNoPackAddToPackIsGreyedAndATilesHoverGoesWithThePanel) {
  ASSERT_NO_FATAL_FAILURE(launchSignedUp("nora", "no-packs-yet"));
  ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
  auto corner = firstResultCorner();
  ASSERT_TRUE(corner) << "the first result's tile has edges";
  const NSPoint onTile{corner->x - 60, corner->y - 60};
  const NSPoint heart{kFirstResultTopLeft.x + kHeartCircleInTile.x, kFirstResultTopLeft.y + kHeartCircleInTile.y};
  movePointer(*panel(), onTile);
  ASSERT_TRUE(panelShows(heart, isNearWhite)) << "the pointer over the tile shows its heart";

  // Signed in without a pack, Add to Pack has nothing to offer: its row is greyed.
  clickPanel({corner->x - kMoreFromRight, corner->y - kMoreFromBottom});
  std::optional<XWindow> menu;
  ASSERT_TRUE(eventually([&] { return (menu = menuWindow()).has_value(); }));
  const std::string rows(kTileMenuRows);
  ASSERT_EQ(menu->frame.height(), menuHeight(rows));
  auto shown = picture(*menu, "tile-menu-no-packs");
  const auto rowBand = [&](std::size_t row) {
    const int middle = static_cast<int>(menuRow(rows, row).y);
    return darkestInRows(shown, middle - 6, middle + 6);
  };
  EXPECT_LT(rowBand(0), 80) << "Copy GIF reads dark";
  EXPECT_GT(rowBand(addToPack), 120) << "Add to Pack is greyed";
  expectScreenMatchesRepaint("tile menu without packs");
  pressKeys("Escape");
  ASSERT_TRUE(eventually([&] { return !menuWindow(); }));

  // The panel goes away under the pointer, which then rests elsewhere: reopened, the tile
  // shows no hover.
  movePointer(*panel(), onTile);
  ASSERT_TRUE(panelShows(heart, isNearWhite));
  pressKeys("shift+ctrl+g");
  ASSERT_TRUE(eventually([&] { return !panelShown(); }));
  run({"xdotool", "mousemove", "5", "500"});
  pressKeys("shift+ctrl+g");
  ASSERT_TRUE(eventually([&] { return panelShown(); }));
  EXPECT_TRUE(panelShows(heart, [](std::uint32_t rgb) { return !isNearWhite(rgb); }))
      << "the hover heart went with the pointer";
  expectScreenMatchesRepaint("reopened with the pointer elsewhere");
}

}  // namespace
