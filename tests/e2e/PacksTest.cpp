// A pack made in the profile by a signed-in user reaches the store and the service, and
// shows among the packs.

#include "platform/foundation/NSString.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

class PacksTest : public DesktopUserTest {};

TEST_F(PacksTest, APackMadeInTheProfileReachesTheStoreAndTheService) {
  ASSERT_NO_FATAL_FAILURE(launchSignedUp("pat", "packs-of-cats"));
  clickPanel(P::profileButton);
  ASSERT_TRUE(panelShows(P::createPackFill, isBlueish)) << "the profile shows";
  clickPanel(P::createPack);
  ASSERT_TRUE(panelShows(P::packCreateFill, isBlueish)) << "the create-pack form shows";
  expectScreenMatchesRepaint("create-pack form");
  clickPanel(P::packName);
  typeText("Cats and dogs");
  clickPanel(P::packCreate);
  ASSERT_TRUE(panelShows(P::createPackFill, isBlueish)) << "the form goes back to the profile";
  EXPECT_TRUE(eventually([&] {
    auto packs = asA<NSArray>(standinState()->objectForKey("collections"));
    for (const auto& pack : packs ? packs->objects() : std::vector<id>{}) {
      auto record = asA<NSDictionary>(pack);
      auto name = record ? asA<NSString>(record->objectForKey("name")) : nullptr;
      if (name && name->string() == "Cats and dogs" && record->objectForKey("owner")) return true;
    }
    return false;
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
