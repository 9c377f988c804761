// The root panel painted as a desktop paints it, only where its picture changed: through
// a session of searching, scrolling, going home and opening and closing the overlays, the
// kept pixels equal a full painting of the panel after every step, at two pixels a point.

#include <gtest/gtest.h>

#include <functional>

#include "tests/app/RootPanelFixture.h"
#include "tests/support/RepaintCheck.h"
#include "browse/GifCell.h"
#include "platform/appkit/NSImageView.h"
#include "ui/QLXButton.h"

class RootPanelRepaintTest : public RootPanelTest {
 protected:
  void SetUp() override {
    RootPanelTest::SetUp();
    check = RepaintCheck::install(2.0);
  }
  void TearDown() override {
    RepaintCheck::uninstall();
    RootPanelTest::TearDown();
  }
  std::shared_ptr<RepaintCheck> check;
};

TEST_F(RootPanelRepaintTest, EveryStepOfASessionLeavesThePixelsOfAFullPainting) {
  standin().addRoute("GET", "/v1/suggest", [](const StandinRequest& request, StandinResponse& response, const Catalogue&) {
    auto prefix = request.queryValue("tag").value_or("");
    response.setJson(R"({"results": [")" + prefix + R"(s", ")" + prefix + R"(ts"]})");
  });
  show();
  ASSERT_EQ(check->mismatch(window), "");
  auto results = panel->searchViewController()->contentCollectionView;
  struct Step {
    const char* what;
    std::function<void()> act;
  };
  const Step steps[] = {
      {"typing opens the autosuggest list", [&] {
         ui.click(panel->searchTextField.lock());
         ui.typeText("ca");
         ASSERT_TRUE(runUntil([&] { return !panel->autosuggestCollectionViewController->currentTerms.empty(); }));
       }},
      {"Return searches and closes the list", [&] {
         ui.typeText("ts");
         ui.pressReturn();
         ASSERT_TRUE(runUntil([&] { return !results->mainSection().empty() && !results->fetchLock(); }));
       }},
      {"the results scroll", [&] { ui.scrollWheel(results->view(), 0, -130); }},
      {"the toolbar slides back", [&] { ui.scrollWheel(results->view(), 0, 60); }},
      {"back goes home", [&] { ui.click(panel->backButton.lock()); }},
      {"upload asks for a log-in", [&] {
         clickUpload(*panel);
         advance(0.5);
       }},
      {"the form turns to sign-up", [&] {
         ui.click(panel->loginSignupViewController()->stateToggleButton.lock());
         advance(0.5);
       }},
      {"the form closes", [&] {
         panel->authenticationDidCancel();
         advance(0.5);
       }},
      {"the terms lie over the panel", [&] {
         panel->presentTermsOfService(TermsOfServiceViewController::PresentationLayout::blocker);
         advance(0.5);
       }},
      {"the terms go", [&] {
         panel->didDismissTOSWithTosController(panel->termsOfServiceViewController);
         advance(0.5);
       }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(check->mismatch(window), "");
  }
}

TEST_F(RootPanelRepaintTest, TheUploadScreenOpensAndClosesCleanlyForASignedInUser) {
  signInForPanel();
  show();
  ASSERT_EQ(check->mismatch(window), "");
  clickUpload(*panel);
  advance(0.5);
  EXPECT_EQ(check->mismatch(window), "");
  ui.click(panel->uploadViewController()->backButton.lock());
  advance(0.5);
  EXPECT_FALSE(panel->isPresentingUploadInterface());
  EXPECT_EQ(check->mismatch(window), "");
}

TEST_F(RootPanelRepaintTest, BackFromASearchTheTagTilesShowTheirCoversAgain) {
  standin().clearFaults();  // the tiles' media comes this time
  show();
  auto covered = [&] {
    std::size_t tiles = 0, shown = 0;
    for (const auto& item : panel->contentCollectionView->mainCollectionView.lock()->visibleItems()) {
      auto cell = std::dynamic_pointer_cast<GifCell>(item);
      if (!cell) continue;
      ++tiles;
      if (cell->gif.lock()->image()) ++shown;
    }
    return tiles > 0 && shown == tiles;
  };
  ASSERT_TRUE(runUntil(covered));
  ASSERT_EQ(check->mismatch(window), "");
  ui.click(panel->searchTextField.lock());
  ui.typeText("cats");
  ui.pressReturn();
  auto results = panel->searchViewController()->contentCollectionView;
  ASSERT_TRUE(runUntil([&] { return !results->mainSection().empty() && !results->fetchLock(); }));
  ui.scrollWheel(results->view(), 0, -200);
  ui.click(panel->backButton.lock());
  EXPECT_TRUE(runUntil(covered));
  EXPECT_EQ(check->mismatch(window), "");
}
