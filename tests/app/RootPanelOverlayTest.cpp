// The root panel's overlays through the simulator: each lies over the whole panel and stops
// the grid's scrolling until it has faded out, a presentation during a fade-out stays, and
// the terms of service decide their close button, report their showing and store an
// acceptance the service took, and the create-pack form answers the profile that asked.

#include <gtest/gtest.h>

#include <functional>

#include "collections/Collection.h"
#include "tests/app/RootPanelFixture.h"
#include "ui/QLXButton.h"

namespace {

// A screen that asked for a pack and counts the packs made for it.
struct PackRequester : CollectionCreationCompletionHandler {
  int created = 0;
  void collectionCreated() override { ++created; }
};

struct Overlay {
  const char* name;
  std::function<void()> show;
  std::function<void()> dismiss;
  std::function<std::shared_ptr<NSViewController>()> controller;
};

}  // namespace

class RootPanelOverlayTest : public RootPanelTest {
 protected:
  // The overlay's view is the panel's topmost and fully shown.
  bool presented(const std::shared_ptr<NSViewController>& overlay) {
    const auto& subviews = panel->view()->subviews();
    return overlay->isViewLoaded() && !subviews.empty() && subviews.back() == overlay->view() &&
           overlay->view()->alphaValue() == 1.0 && overlay->view()->frame() == panel->view()->bounds();
  }
  bool homeScrolls() { return panel->contentCollectionView->scrollingEnabled(); }
};

TEST_F(RootPanelOverlayTest, EachOverlayCoversThePanelAndStillsTheGridUntilItHasFadedOut) {
  show();
  auto& p = *panel;
  const Overlay overlays[] = {
      {"log-in from the upload button", [&] { clickUpload(p); }, [&] { p.authenticationDidCancel(); },
       [&] { return p.loginSignupViewController(); }},
      {"upload for a signed-in user",
       [&] {
         signInForPanel();
         clickUpload(p);
       },
       [&] { p.didTapCancel(); }, [&] { return p.uploadViewController(); }},
      {"licences from the menu", [&] { chooseFromSettings("Licenses"); }, [&] { p.licensesInterfaceDidRequestClose(); },
       [&] { return p.licensesViewController(); }},
      {"terms of service", [&] { p.presentTermsOfService(TermsOfServiceViewController::PresentationLayout::blocker); },
       [&] { p.didDismissTOSWithTosController(p.termsOfServiceViewController); },
       [&]() -> std::shared_ptr<NSViewController> { return p.termsOfServiceViewController; }},
  };
  for (const auto& overlay : overlays) {
    SCOPED_TRACE(overlay.name);
    overlay.show();
    auto controller = overlay.controller();
    ASSERT_TRUE(controller);
    EXPECT_TRUE(presented(controller));
    EXPECT_FALSE(homeScrolls());
    overlay.dismiss();
    advance(0.2);
    EXPECT_EQ(controller->view()->superview(), panel->view()) << "still fading";
    advance(0.1);
    EXPECT_FALSE(controller->view()->superview());
    EXPECT_TRUE(homeScrolls());
    signOut();
  }
}

TEST_F(RootPanelOverlayTest, AnOverlayShownAgainWhileItFadesOutStays) {
  show();
  panel->showLogin();
  panel->dismissLoginInterface();
  panel->showLogin();
  advance(1.0);
  EXPECT_TRUE(presented(panel->loginSignupViewController()));
  EXPECT_TRUE(panel->isPresentingLoginInterface());
  EXPECT_FALSE(homeScrolls());

  panel->presentTermsOfService(TermsOfServiceViewController::PresentationLayout::blocker);
  auto first = panel->termsOfServiceViewController;
  panel->dismissTermsOfService();
  panel->presentTermsOfService(TermsOfServiceViewController::PresentationLayout::blocker);
  auto second = panel->termsOfServiceViewController;
  advance(1.0);
  EXPECT_NE(first, second);
  EXPECT_EQ(panel->termsOfServiceViewController, second);
  EXPECT_TRUE(presented(second));
  EXPECT_FALSE(first->view()->superview());
}

TEST_F(RootPanelOverlayTest, TheTermsDecideTheirCloseButtonAndAnAcceptanceIsStoredOnlyWhenTheServiceTookIt) {
  using Layout = TermsOfServiceViewController::PresentationLayout;
  show();
  struct Case {
    Layout layout;
    long dismissals;
    bool closable;
  };
  for (const auto& c : {Case{Layout::normal, 1, true}, Case{Layout::normal, 2, false}, Case{Layout::blocker, 9, true},
                        Case{Layout::welcome, 0, false}}) {
    NSUserDefaults::standardUserDefaults()->setInteger(c.dismissals, "termsOfServiceDismissal");
    panel->presentTermsOfService(c.layout);
    EXPECT_EQ(panel->termsOfServiceViewController->canBeDismissed, c.closable)
        << TermsOfServiceViewController::rawValue(c.layout) << " after " << c.dismissals;
  }
  EXPECT_TRUE(runUntil([&] { return eventCount("tos_splash_screen") == 4; }));
  EXPECT_THAT(events("tos_splash_screen"), testing::ElementsAre("info=blocker", "info=normal", "info=normal", "info=welcome"));

  signInForPanel();
  auto terms = panel->termsOfServiceViewController;
  standin().injectFault("/quorb.accepttos", Fault::status500(), 1);
  panel->didAcceptTOSWithTosController(terms);
  ASSERT_TRUE(runUntil([&] { return !terms->errorLabel.lock()->isHidden(); }));
  EXPECT_TRUE(presented(terms));
  EXPECT_EQ(NSUserDefaults::standardUserDefaults()->integerForKey("termsOfServiceShown"), 0);

  panel->didAcceptTOSWithTosController(terms);
  ASSERT_TRUE(runUntil([&] { return NSUserDefaults::standardUserDefaults()->integerForKey("termsOfServiceShown") == 2; }));
  advance(0.3);
  EXPECT_FALSE(panel->termsOfServiceViewController);
  EXPECT_FALSE(terms->view()->superview());

  panel->presentTermsOfService(Layout::blocker);
  panel->didDeclineTOSWithTosController(panel->termsOfServiceViewController);
  advance(0.3);
  EXPECT_FALSE(panel->isPresentingTermsOfServiceInterface());
  EXPECT_FALSE(QuorbUser::authToken());
}

TEST_F(RootPanelOverlayTest, DroppedGifsAreStagedAndASecondDropAddsToTheList) {
  show();
  signInForPanel();
  panel->showUploadWithContent(std::vector{item(1)});
  auto upload = panel->uploadViewController();
  EXPECT_TRUE(presented(upload));
  panel->showUploadWithContent(std::vector{item(2), item(3)});
  ASSERT_EQ(upload->stagedUploads().size(), 3u);
  EXPECT_EQ(upload->stagedUploads()[2]->vorn->vid, item(3)->vid);
  EXPECT_EQ(upload->stagedUploads()[0]->destinationPackName, "Saved");
  EXPECT_EQ(std::ranges::count(panel->view()->subviews(), upload->view()), 1);
}

TEST_F(RootPanelOverlayTest, CreatePackFromTheProfileMakesThePackAndReloadsThePacksAndCancelOnlyCloses) {
  signInForPanel();
  show();
  ui.click(panel->profileButton.lock());
  auto profile = panel->profilePacksController();
  ui.click(profile->packsSegmentButton.lock());
  ASSERT_TRUE(runUntil([&] { return !profile->contentCollectionView->fetchLock(); }));
  const auto packsBefore = profile->contentCollectionView->mainSection().size();
  auto profileScrolls = [&] { return profile->contentCollectionView->scrollingEnabled(); };
  auto form = panel->createCollectionController();

  ui.click(profile->createCollectionButton.lock());
  EXPECT_TRUE(presented(form));
  EXPECT_TRUE(panel->isPresentingCreatePackInterface());
  EXPECT_FALSE(profileScrolls());
  ui.click(form->nameTextField.lock());
  ui.typeText("Cats");
  ui.click(form->createButton.lock());
  const auto& packs = profile->contentCollectionView->mainSection();
  ASSERT_EQ(packs.size(), packsBefore + 1) << "the profile reloaded its packs";
  auto pack = manager()->getCollection("Cats");
  ASSERT_TRUE(pack);
  EXPECT_NE(std::ranges::find(packs, std::static_pointer_cast<NSObject>(pack)), packs.end());
  ASSERT_TRUE(eventually([&] { return pack->identifier() != 0; }));
  auto served = standin().state().collection(pack->identifier());
  ASSERT_TRUE(served.has_value());
  EXPECT_EQ(served->name, "Cats");
  advance(0.3);
  EXPECT_FALSE(panel->isPresentingCreatePackInterface());
  EXPECT_TRUE(profileScrolls());

  ui.click(profile->createCollectionButton.lock());
  EXPECT_TRUE(presented(form));
  EXPECT_EQ(form->nameTextField.lock()->stringValue(), "") << "each showing starts empty";
  ui.click(form->cancelButton.lock());
  advance(0.3);
  EXPECT_FALSE(panel->isPresentingCreatePackInterface());
  EXPECT_TRUE(profileScrolls());
  EXPECT_EQ(profile->contentCollectionView->mainSection().size(), packsBefore + 1);
}

TEST_F(RootPanelOverlayTest, APackMadeAfterItsRequesterHasGoneOnlyClosesTheForm) {
  show();
  EXPECT_TRUE(panel->shouldTrackPromotedTrendingContent());
  auto requester = std::make_shared<PackRequester>();
  panel->requestCollectionCreation(requester);
  EXPECT_FALSE(panel->shouldTrackPromotedTrendingContent()) << "sponsored GIFs under the form are not seen";
  panel->collectionCreationSuccess();
  EXPECT_EQ(requester->created, 1);
  advance(0.3);

  panel->requestCollectionCreation(requester);
  requester.reset();
  EXPECT_TRUE(panel->isPresentingCreatePackInterface());
  panel->collectionCreationSuccess();
  advance(0.3);
  EXPECT_FALSE(panel->isPresentingCreatePackInterface());
  EXPECT_TRUE(homeScrolls());
  EXPECT_TRUE(panel->shouldTrackPromotedTrendingContent());
}

TEST_F(RootPanelOverlayTest, SignedInEveryPointOfUploadOpensTheUploadScreenWhoseControlsTakeTheClicks) {
  signInForPanel();
  show();
  auto upload = panel->uploadButton.lock();
  EXPECT_TRUE(panel->userAuthenticationButton.lock()->isHiddenOrHasHiddenAncestor());
  const NSRect bounds = upload->bounds();
  for (double x = bounds.minX() + 0.5; x < bounds.maxX(); x += 1.0) {
    SCOPED_TRACE("x = " + std::to_string(x));
    ui.click(upload, NSPoint{x, bounds.midY()});
    ASSERT_TRUE(panel->isPresentingUploadInterface());
    auto screen = panel->uploadViewController();
    // The first showing is the one whose reset came before its view was made.
    if (x == bounds.minX() + 0.5) {
      ui.click(screen->filenameTextInput.lock());
      EXPECT_TRUE(screen->filenameTextInput.lock()->isEditing()) << "the Paste URL field takes the click";
    }
    ui.click(screen->backButton.lock());
    advance(0.3);
    ASSERT_FALSE(panel->isPresentingUploadInterface()) << "Back closes the screen";
  }
}
