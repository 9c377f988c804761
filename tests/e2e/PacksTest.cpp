// A pack made in the profile by a signed-in user reaches the store and the service, and
// shows among the packs.

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

class PacksTest : public DesktopUserTest {};

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

}  // namespace
