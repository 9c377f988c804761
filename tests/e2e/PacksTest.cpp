// A pack made in the profile by a signed-in user reaches the store and the service, and
// shows among the packs; the account that signs in after another meets its own profile as
// on a first opening, with nothing of the former account's.

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

// The first search result's tile begins here; under the pointer its heart shows near its top
// left corner, its middle here.
constexpr NSPoint kFirstResultTopLeft{5, 201};
constexpr NSPoint kFirstResultHeart{kFirstResultTopLeft.x + 21, kFirstResultTopLeft.y + 21};
constexpr NSPoint kOnFirstResult{kFirstResultTopLeft.x + 60, kFirstResultTopLeft.y + 60};
// Where an open pack's first GIF shows, under its Back and title.
constexpr NSPoint kOpenPackFirstGif{60, 200};
// The profile's "Nothing here yet", across the middle of its empty list.
constexpr NSRect kNothingHereYet{{130, 357}, {140, 22}};

bool isHeartRed(std::uint32_t rgb) {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return r > 200 && g < 150 && b < 170;
}
bool isDark(std::uint32_t rgb) { return ((rgb >> 8) & 0xFF) < 128; }

class PacksTest : public DesktopUserTest {
 protected:
  // The first result of a search for cats under the pointer, its heart showing.
  void pointAtFirstCat() {
    ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
    ASSERT_TRUE(movePointer(*panel(), kOnFirstResult));
    ASSERT_TRUE(panelShows({kFirstResultTopLeft.x + 11, kFirstResultTopLeft.y + 21}, isNearWhite))
        << "the pointer over the tile shows its heart";
  }
};

TEST_F(PacksTest, APackMadeInTheProfileReachesTheStoreAndTheService) {
  ASSERT_NO_FATAL_FAILURE(launchSignedUp("pat", "packs-of-cats"));
  ASSERT_NO_FATAL_FAILURE(createPack("Cats and dogs", [&] { expectScreenMatchesRepaint("create-pack form"); }));
  EXPECT_TRUE(eventually([&] {
    auto pack = standinRecord("collections", "name", "Cats and dogs");
    return pack && pack->objectForKey("owner");
  })) << "the service has the user's new pack; it received " << receivedPaths();
  EXPECT_TRUE(eventually([&] {
    return queryStore("select count(*) from Collection where name = 'Cats and dogs'") == "1\n";
  })) << queryStore(".tables");
  expectScreenMatchesRepaint("profile after the pack");
  clickPanel(P::packsTab);
  EXPECT_TRUE(panelShows(P::firstPackTile, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "the pack shows";
  expectScreenMatchesRepaint("the packs");
}

// One account hearts a GIF, leaves it open in its Favorites and logs out; the next one signs
// up and opens its profile: its own first screen, none of the former account's GIFs, in its
// lists or as a red heart.
TEST_F(PacksTest, TheNextAccountMeetsItsOwnFirstProfileAndNothingOfTheFormerOnes) {
  ASSERT_NO_FATAL_FAILURE(launchSignedUp("ava", "first-of-two"));
  ASSERT_NO_FATAL_FAILURE(pointAtFirstCat());
  clickPanel(kFirstResultHeart);
  ASSERT_TRUE(panelShows(kFirstResultHeart, isHeartRed)) << "the heart turns red";
  ASSERT_TRUE(eventually([&] { return standinReceived("/quorb.like"); })) << receivedPaths();
  clickPanel(P::profileButton);
  ASSERT_TRUE(panelShows(P::createPackFill, isBlueish)) << "the profile shows";
  clickPanel(P::packsTab);
  ASSERT_TRUE(panelShows(P::secondPackTile, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "the packs show";
  clickPanel(P::secondPackTile);  // Favorites, after Recents
  ASSERT_TRUE(panelShows(kOpenPackFirstGif, [](std::uint32_t rgb) { return !isNearWhite(rgb); }))
      << "the hearted GIF shows in Favorites";
  expectScreenMatchesRepaint("the former account's Favorites");

  ASSERT_NO_FATAL_FAILURE(chooseFromPanelMenu(P::moreButton, std::string(P::settingsMenuSignedIn), P::logOutSignedIn));
  ASSERT_TRUE(eventually([&] { return standinReceived("/quorb.unauthorize"); })) << receivedPaths();
  ASSERT_NO_FATAL_FAILURE(signUp("bea", "second-of-two"));
  clickPanel(P::profileButton);
  EXPECT_TRUE(panelShows(P::createPackFill, isBlueish)) << "the new account's profile shows its first screen";
  EXPECT_TRUE(eventually([&] { return panelPixelsIn(kNothingHereYet, isDark, "next profile") > 20; }))
      << "its uploads list says it is empty";
  EXPECT_TRUE(panelShows(kOpenPackFirstGif, isNearWhite)) << "no GIF of the former account shows";
  expectScreenMatchesRepaint("the next account's profile");
  clickPanel(P::packsTab);
  ASSERT_TRUE(panelShows(P::secondPackTile, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "the packs show";
  clickPanel(P::secondPackTile);
  ASSERT_TRUE(panelShows(P::packBack, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "Favorites opens";
  EXPECT_TRUE(panelShows(kOpenPackFirstGif, isNearWhite)) << "the new account's Favorites are empty";
  expectScreenMatchesRepaint("the next account's Favorites");

  clickPanel(P::profileButton);  // home again
  ASSERT_NO_FATAL_FAILURE(pointAtFirstCat());
  EXPECT_FALSE(isHeartRed(panelPixel(kFirstResultHeart, "next account's heart")))
      << "the GIF the former account hearted is no favourite of the new one";
}

}  // namespace
