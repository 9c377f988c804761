// The upload screen of a signed-in user opens from every point of UPLOAD (every fourth
// pixel, ends included) and, on Back, lets go of the panel, which takes clicks again.

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

// A point that the upload screen's card covers in white and home's search bar in blue;
// neither plays, so each settles as soon as a fade is over.
constexpr NSPoint kCardCorner{15, 55};

class UploadTest : public DesktopUserTest {
 protected:
  void SetUp() override {
    DesktopUserTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(launchSignedUp("uma", "uploads-galore"));
  }
  // Back takes clicks while the screen fades in: a quick look is enough.
  bool uploadScreenShown() { return panelShows(kCardCorner, isNearWhite, 10.0, Look::quick); }
  bool homeShown() { return panelShows(kCardCorner, isBlueish, 10.0); }
};

TEST_F(UploadTest, EveryPointOfUploadsWidthOpensItAndBackGivesThePanelItsClicksAgain) {
  clickPanel({P::uploadSignedInMinX, P::toolbarY});
  ASSERT_TRUE(uploadScreenShown());
  expectScreenMatchesRepaint("upload screen");
  clickPanel(P::cardBack);
  ASSERT_TRUE(homeShown()) << "Back closes the upload screen";
  expectScreenMatchesRepaint("back home");
  // Each point opens the screen again, which shows that the panel takes clicks after Back.
  std::vector<double> points, dead;
  for (double x = P::uploadSignedInMinX + 4; x < P::uploadSignedInMaxX; x += 4) points.push_back(x);
  points.push_back(P::uploadSignedInMaxX);
  for (double x : points) {
    clickPanel({x, P::toolbarY});
    if (!uploadScreenShown()) {
      dead.push_back(x);
      continue;
    }
    clickPanel(P::cardBack);
    ASSERT_TRUE(homeShown()) << "Back closes the upload screen opened at x " << x;
  }
  EXPECT_EQ(dead, std::vector<double>{}) << "points of UPLOAD that open nothing";
  expectScreenMatchesRepaint("home after the uploads");
}

}  // namespace
