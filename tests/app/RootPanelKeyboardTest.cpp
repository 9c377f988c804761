// The keyboard under the root panel's overlays, through the simulator: a screen laid over
// the panel takes the keys from the search field it covers (its first field, when it has
// one, takes them), typing, Return, Tab and clicks on an empty part of it never reach the
// field, the panel shown again leaves them with the screen, and once it has gone the search
// field takes the keys again.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "collections/Collection.h"
#include "tests/app/RootPanelFixture.h"

namespace {

// A screen that asked for a pack; the keyboard cases make none.
struct KeyboardPackRequester : CollectionCreationCompletionHandler {
  void collectionCreated() override {}
};

struct KeyboardOverlay {
  const char* name;
  std::function<void()> show;
  std::function<void()> dismiss;
  std::function<std::shared_ptr<NSViewController>()> controller;
  // The field that takes the keys as the screen shows; none: no control has them.
  std::function<std::shared_ptr<NSTextField>()> firstField;
};

}  // namespace

class RootPanelKeyboardTest : public RootPanelTest {
 protected:
  std::shared_ptr<NSView> keyboardHolder() { return window->focusedView(); }
  std::shared_ptr<NSView> searchField() { return panel->searchTextField.lock(); }
  // Where the keys are, for failure messages.
  std::string holderName() {
    auto holder = keyboardHolder();
    if (!holder) return "no control";
    if (holder == searchField()) return "the search field";
    return holder->className();
  }
  // Nothing was searched: the panel is still at home with an empty search field, and the
  // service was asked for no search.
  void expectNoSearch(const std::string& when) {
    EXPECT_EQ(panel->state, RootViewController::DisplayState::home) << when;
    EXPECT_EQ(panel->searchTextField.lock()->stringValue(), "") << when;
    EXPECT_TRUE(std::ranges::none_of(standin().requests(), [](const auto& r) { return r.path == "/v1/search"; }))
        << when;
  }
};

TEST_F(RootPanelKeyboardTest, AnOverlayTakesTheKeysFromTheSearchFieldItCoversAndGivesThemBackWhenItGoes) {
  show();
  auto& p = *panel;
  auto requester = std::make_shared<KeyboardPackRequester>();
  const KeyboardOverlay overlays[] = {
      {"log-in", [&] { p.showLogin(); }, [&] { p.authenticationDidCancel(); },
       [&] { return p.loginSignupViewController(); },
       [&] { return p.loginSignupViewController()->usernameTextField.lock(); }},
      {"upload",
       [&] {
         signInForPanel();
         clickUpload(p);
       },
       [&] { p.didTapCancel(); }, [&] { return p.uploadViewController(); },
       [&] { return p.uploadViewController()->filenameTextInput.lock(); }},
      {"create pack", [&] { p.requestCollectionCreation(requester); }, [&] { p.collectionCreationCancelled(); },
       [&] { return p.createCollectionController(); },
       [&] { return p.createCollectionController()->nameTextField.lock(); }},
      {"licences", [&] { p.showLicenses(); }, [&] { p.licensesInterfaceDidRequestClose(); },
       [&] { return p.licensesViewController(); }, [] { return std::shared_ptr<NSTextField>(); }},
      {"terms of service", [&] { p.presentTermsOfService(TermsOfServiceViewController::PresentationLayout::blocker); },
       [&] { p.didDismissTOSWithTosController(p.termsOfServiceViewController); },
       [&]() -> std::shared_ptr<NSViewController> { return p.termsOfServiceViewController; },
       [] { return std::shared_ptr<NSTextField>(); }},
  };
  for (const auto& overlay : overlays) {
    SCOPED_TRACE(overlay.name);
    ui.click(searchField());
    ASSERT_EQ(keyboardHolder(), searchField());
    overlay.show();
    advance(0.3);
    auto controller = overlay.controller();
    ASSERT_TRUE(controller && controller->view()->superview() == panel->view());
    const auto first = overlay.firstField();
    auto expectKeysOnTheScreen = [&](const std::string& when) {
      if (first) {
        EXPECT_EQ(keyboardHolder(), first) << when << ": the keys are with " << holderName();
      } else {
        EXPECT_FALSE(keyboardHolder()) << when << ": the keys are with " << holderName();
      }
    };
    expectKeysOnTheScreen("shown");

    for (int tab = 0; tab < 4; ++tab) {
      ui.pressTab();
      EXPECT_NE(keyboardHolder(), searchField()) << "after Tab " << tab + 1;
      if (auto holder = keyboardHolder()) {
        EXPECT_TRUE(holder->isDescendantOf(controller->view())) << holderName();
      }
    }
    ui.pressBacktab();
    EXPECT_NE(keyboardHolder(), searchField()) << "after Backtab";
    // The panel's corner, which every screen leaves empty.
    ui.click(controller->view(), NSPoint{2, 2});
    EXPECT_NE(keyboardHolder(), searchField()) << "after a click on an empty part";
    // The panel shown again (its tray icon, the shortcut) leaves the keys with the screen.
    window->makeFirstResponder(nullptr);
    panel->focusPanelKeyboard();
    expectKeysOnTheScreen("shown again");

    ui.typeText("hidden");
    ui.pressReturn();
    expectNoSearch("after typing and Return");
    if (first) {
      EXPECT_EQ(first->stringValue(), "hidden") << "the screen's own field has what was typed";
    }
    // Return may have closed the screen (the create-pack form makes its pack).
    overlay.dismiss();
    // While it fades out the keys reach nothing of it, nor the search field yet.
    advance(RootViewController::Constants::overlayFade / 2);
    ASSERT_TRUE(controller->view()->superview()) << "still fading out";
    EXPECT_FALSE(keyboardHolder()) << "while it fades out: the keys are with " << holderName();
    ui.typeText("late");
    ui.pressReturn();
    expectNoSearch("after typing while it fades out");
    if (first) {
      EXPECT_EQ(first->stringValue(), "hidden") << "typed into the screen on its way out";
    }
    advance(0.3);
    EXPECT_FALSE(controller->view()->superview());
    EXPECT_EQ(keyboardHolder(), searchField()) << "once it has gone: the keys are with " << holderName();
    window->makeFirstResponder(nullptr);
    signOut();
  }
}

TEST_F(RootPanelKeyboardTest, AFieldOfTheOverlayTheUserFocusedKeepsTheKeysAndAClickOnTheFormLeavesThemThere) {
  show();
  ui.click(searchField());
  ui.click(panel->uploadButton.lock());  // signed out: the log-in form
  advance(0.3);
  auto form = panel->loginSignupViewController();
  auto password = form->passwordTextField.lock();
  ui.click(password);
  ASSERT_EQ(keyboardHolder(), password);
  ui.click(form->view(), NSPoint{2, 2});
  panel->focusPanelKeyboard();
  EXPECT_EQ(keyboardHolder(), password) << "the keys are with " << holderName();
  ui.typeText("secret");
  EXPECT_EQ(password->stringValue(), "secret");
  expectNoSearch("after typing into the password");

  // Switched to signing up, the emptied form puts the caret back in its first field.
  ui.click(form->stateToggleButton.lock());
  advance(0.1);
  EXPECT_EQ(keyboardHolder(), form->usernameTextField.lock()) << "the keys are with " << holderName();
  ui.typeText("newcomer");
  EXPECT_EQ(form->usernameTextField.lock()->stringValue(), "newcomer");
  expectNoSearch("after typing into the sign-up form");
}

// Closed with its fields filled in and the caret in the password, the log-in form fades out:
// a Return meanwhile would log in from a form the user has just dismissed.
TEST_F(RootPanelKeyboardTest, AReturnWhileTheLogInFormFadesOutLogsNobodyIn) {
  show();
  ui.click(panel->uploadButton.lock());  // signed out: the log-in form
  advance(0.3);
  auto form = panel->loginSignupViewController();
  ui.click(form->usernameTextField.lock());
  ui.typeText("ada");
  ui.pressTab();
  ui.typeText("secret");
  ASSERT_EQ(keyboardHolder(), form->passwordTextField.lock());
  panel->authenticationDidCancel();
  advance(RootViewController::Constants::overlayFade / 2);
  ASSERT_TRUE(form->view()->superview()) << "still fading out";
  ui.pressReturn();
  EXPECT_TRUE(form->loadingOverlay.lock()->isHidden()) << "the form is logging in";
  advance(0.3);
  EXPECT_FALSE(form->view()->superview());
  EXPECT_EQ(keyboardHolder(), searchField()) << "once it has gone: the keys are with " << holderName();
}
