// The keyboard of the root panel, through the simulator: the search field keeps the keys
// through every search and every way home, however they were started. A screen laid over
// the panel takes the keys from the search field it covers (its first field, when it has
// one, takes them), typing, Return, Tab and clicks on an empty part of it never reach the
// field, the panel shown again leaves them with the screen, and once it has gone the search
// field takes the keys again.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "browse/GifCell.h"
#include "collections/Collection.h"
#include "model/TelescopeUnit.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSEvent.h"
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
  // The view of a collection's first item in the first section that has one.
  static std::shared_ptr<NSView> firstItemOf(const std::shared_ptr<NSCollectionView>& collection) {
    collection->layoutSubtreeIfNeeded();
    for (std::size_t section = 0; section < collection->numberOfSections(); ++section) {
      if (collection->numberOfItemsInSection(section) == 0) continue;
      auto item = collection->itemAtIndexPath(NSIndexPath::indexPathForItem(0, section));
      return item ? item->view() : nullptr;
    }
    return nullptr;
  }
  // Types a letter whose suggestions come in one reply and waits until the list shows them.
  void typeForSuggestions(std::string_view letter) {
    ui.typeText(letter);
    auto list = panel->autosuggestCollectionViewController;
    ASSERT_TRUE(runUntil([&] { return !list->currentTerms.empty() && list->view()->frame().size.height > 0; }))
        << "the suggestions show";
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

// Every way a search starts and every way home leaves the keys in the search field, which
// has them since the panel opened: what is typed next lands there (replacing the term after
// Return, which selects it; after the term where a click began the search), and Escape then
// goes home without a click in the field.
TEST_F(RootPanelKeyboardTest, TheSearchFieldKeepsTheKeysThroughEverySearchAndEveryWayHome) {
  show();
  signInForPanel();
  panel->refreshToolbarForLoginState();
  panel->focusPanelKeyboard();  // as the panel opens
  ASSERT_EQ(keyboardHolder(), searchField());
  using State = RootViewController::DisplayState;
  struct Way {
    const char* name;
    std::function<void()> take;
    State state;
    // What the search field shows then (the stand-in's first suggestion, tag and related
    // term), and whether it is selected, so that typing replaces it.
    const char* shown;
    bool termSelected;
  };
  auto home = [&] { return panel->contentCollectionView->mainCollectionView.lock(); };
  auto strip = [&] { return panel->focusedSearchController()->mainCollectionView.lock(); };
  auto suggestions = [&] { return panel->autosuggestCollectionViewController->collectionView.lock(); };
  // The strip shows the searched term's suggestions (not the trending GIFs it had before).
  auto stripShowsTerms = [&] {
    return runUntil([&] {
      const auto& lists = panel->focusedSearchController()->contentList;
      auto ofTerms = [](const auto& list) { return !list.empty() && asA<TelescopeUnit>(list.front()); };
      return std::ranges::any_of(lists, ofTerms) && firstItemOf(strip()) != nullptr;
    });
  };
  const Way ways[] = {
      {"Return", [&] { ui.typeText("dogs"); ui.pressReturn(); }, State::search, "dogs", true},
      {"Return again", [&] { ui.typeText("cats"); ui.pressReturn(); }, State::search, "cats", true},
      {"Escape", [&] { ui.pressEscape(); }, State::home, "", false},
      {"a suggestion picked with Down and Return",
       [&] {
         typeForSuggestions("d");
         ui.pressKey(NSKeyCode::downArrow, "\xef\x9c\x81");  // U+F701
         ui.pressReturn();
       },
       State::search, "dancing", true},
      {"the back button", [&] { ui.click(panel->backButton.lock()); }, State::home, "", false},
      {"a suggestion clicked",
       [&] {
         typeForSuggestions("w");
         ui.click(firstItemOf(suggestions()));
       },
       State::search, "wink", false},
      {"the logo", [&] { ui.click(panel->logoButton.lock()); }, State::home, "", false},
      {"a tag tile", [&] { ui.click(firstItemOf(home())); }, State::search, "pizza", false},
      {"a term of the strip",
       [&] {
         ASSERT_TRUE(stripShowsTerms());
         ui.click(firstItemOf(strip()));
       },
       State::search, "pizza wink", false},
      {"the profile", [&] { ui.click(panel->profileButton.lock()); }, State::profile, "pizza wink", false},
      {"the profile again", [&] { ui.click(panel->profileButton.lock()); }, State::home, "", false},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    way.take();
    advance(0.5);
    ASSERT_EQ(panel->state, way.state);
    EXPECT_EQ(keyboardHolder(), searchField()) << "the keys are with " << holderName();
    auto field = panel->searchTextField.lock();
    const std::string term = field->stringValue();
    ASSERT_EQ(term, way.shown);
    ui.typeText("9");
    EXPECT_EQ(field->stringValue(), way.termSelected ? "9" : term + "9") << "typed after \"" << term << "\"";
    // The field as the way left it, with no suggestions of what was typed to come over the
    // next click.
    ui.pressDelete();
    if (way.termSelected) {
      ui.typeText(term);
      ui.pressKey(NSKeyCode::a, "a", NSEventModifierFlagCommand);
    }
    ASSERT_EQ(field->stringValue(), term);
    panel->autosuggestCollectionViewController->setCurrentPrefix(std::nullopt);
    panel->autosuggestCollectionViewController->hide();
  }
  // From a search Escape goes home without a click.
  ui.typeText("frogs");
  ui.pressReturn();
  ASSERT_EQ(panel->state, State::search);
  advance(0.5);
  ui.pressEscape();
  EXPECT_EQ(panel->state, State::home);
  EXPECT_EQ(keyboardHolder(), searchField()) << "the keys are with " << holderName();
}

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
