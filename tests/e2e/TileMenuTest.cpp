// A search result's menu (the "…" button its tile shows under the pointer): Copy Link and
// Copy Embed put the GIF's address and embed snippet on the desktop's clipboard, and Add to
// Pack puts the GIF in the user's pack, in the store and on the service.

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

class TileMenuTest : public DesktopUserTest {
 protected:
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

  clickPanel(P::searchField);
  typeText("cats");
  pressKeys("Return");
  ASSERT_TRUE(eventually([&] { return standinReceived("/v1/search", "tag", "cats"); })) << receivedPaths();
  ASSERT_TRUE(panelShows({kFirstResultTopLeft.x + 15, kFirstResultTopLeft.y + 15}, [](std::uint32_t rgb) { return !isNearWhite(rgb); }))
      << "the results show";
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

}  // namespace
