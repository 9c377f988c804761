// The panel's screens over one another, through the simulator against the stand-in: a
// search shows the whole toolbar however far home had slid it away, and its results slide
// it as home does; every way home shows the toolbar and the strip whole; the suggestion list
// hangs below the search field wherever the toolbar has slid it; a click that copies a GIF
// says so, whatever its tile said before; whoever signs in after another account meets the
// profile as on its first opening.

#include <gtest/gtest.h>

#include "browse/GifCell.h"
#include "model/VNTag.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSTextField.h"
#include "tests/app/RootPanelFixture.h"
#include "ui/CheckBoxControl.h"

namespace {

class RootPanelScreensTest : public RootPanelTest {
 protected:
  // The toolbar and the strip as laid out: "toolbar 0 strip 5".
  std::string collapse() {
    window->layoutIfNeeded();
    return "toolbar " + dumpNumber(panel->topToolbarConstraint.lock()->constant()) + " strip " +
           dumpNumber(panel->trendingSearchesContainerTopConstraint.lock()->constant());
  }
  std::shared_ptr<GifCollectionViewController> results() { return panel->searchViewController()->contentCollectionView; }
  bool resultsShown() {
    return runUntil([&] { return !results()->mainSection().empty() && !results()->fetchLock(); });
  }
  std::shared_ptr<GifCell> tileOf(const std::shared_ptr<NSCollectionView>& collection, std::size_t index) {
    collection->layoutSubtreeIfNeeded();
    return asA<GifCell>(collection->itemAtIndexPath(NSIndexPath::indexPathForItem(index, 0)));
  }
  // Wheel notches (20 points each, down when negative) over a grid, each followed by the
  // layout a display pass makes before the next event.
  void wheel(const std::shared_ptr<GifCollectionViewController>& grid, int notches) {
    auto collection = grid->mainCollectionView.lock();
    for (int i = 0; i < std::abs(notches); ++i) {
      const NSPoint inside = NSMakePoint(100, collection->visibleRect().origin.y + 100);
      ui.scrollWheel(collection, 0, notches < 0 ? -20 : 20, inside);
      window->layoutIfNeeded();
    }
  }
  // How far the suggestion list's top edge lies below the search field's bottom edge (points;
  // negative when it reaches up over the field).
  double listBelowField() {
    window->layoutIfNeeded();
    auto root = panel->view();
    auto field = panel->searchTextField.lock();
    const NSRect fieldFrame = root->convertRect(field->bounds(), field);
    const NSRect list = panel->autosuggestCollectionViewController->view()->frame();
    return fieldFrame.minY() - list.maxY();
  }
  // The log-in form from the toolbar's account button, switched to signing up when asked,
  // filled in and sent; waits until the form has gone with the user signed in.
  void enterThroughTheForm(const std::string& username, bool signingUp) {
    ui.click(panel->userAuthenticationButton.lock());
    advance(0.3);
    auto form = panel->loginSignupViewController();
    if (signingUp) {
      ui.click(form->stateToggleButton.lock());
      drainMainQueue();
    }
    std::vector<std::pair<std::weak_ptr<NSTextField>, std::string>> fields{{form->usernameTextField, username},
                                                                          {form->passwordTextField, "pw-" + username}};
    if (signingUp) fields.emplace_back(form->emailTextField, username + "@example.com");
    for (const auto& [field, text] : fields) {
      ui.click(field.lock());
      ui.typeText(text);
    }
    if (signingUp) {
      ui.click(form->tosCheckBox.lock()->checkBox());
      advance(1.0);  // the box's fill
    }
    ui.click(form->authenticationButton.lock());
    ASSERT_TRUE(runUntil([&] {
      auto user = QuorbUserManager::init()->currentUser();
      return QuorbUser::authToken() && user && user->username == username;
    })) << username << " signs in";
    advance(0.3);  // the form fades out
    drainMainQueue();
    ASSERT_FALSE(panel->isPresentingLoginInterface());
  }
  // The profile from the toolbar's toggle, once its first list has come.
  std::shared_ptr<ProfilePacksViewController> openProfile() {
    ui.click(panel->profileButton.lock());
    auto profile = panel->profilePacksController();
    EXPECT_TRUE(runUntil([&] {
      return !profile->contentCollectionView->fetchLock() &&
             (!profile->contentCollectionView->mainSection().empty() || !profile->noContentLabel.lock()->isHidden());
    }));
    window->layoutIfNeeded();
    return profile;
  }
  // PACKS, then the tile of Favorites: its GIFs open over the profile.
  std::shared_ptr<TitledStreamController> openFavorites(const std::shared_ptr<ProfilePacksViewController>& profile) {
    ui.click(profile->packsSegmentButton.lock());
    const auto& packs = profile->contentCollectionView->mainSection();
    auto at = std::ranges::find(packs, std::static_pointer_cast<NSObject>(manager()->getFavoritesCollection()));
    EXPECT_NE(at, packs.end());
    if (at == packs.end()) return nullptr;
    ui.click(tileOf(profile->contentCollectionView->mainCollectionView.lock(), at - packs.begin())->view());
    auto titled = profile->titledController();
    runUntil([&] { return !titled->contentCollectionView->fetchLock(); });
    return titled;
  }
  static std::string confirmation(const std::shared_ptr<GifCell>& cell) {
    return cell->copyConfirmContainer.lock()->alphaValue() == 1.0 ? cell->copyConfirmLabel.lock()->stringValue()
                                                                   : "(none)";
  }
};

TEST_F(RootPanelScreensTest, ASearchShowsTheToolbarHomeSlidAwayAndItsResultsSlideItAsHomeDoes) {
  show();
  auto tag = asA<VNTag>(panel->contentCollectionView->mainSection().front());
  ASSERT_TRUE(tag);
  const std::pair<const char*, std::function<void()>> searches[] = {
      {"typed term", [&] { panel->performSearchWithTerm("cats", true); }},
      {"tag", [&] { panel->performSearchWithTag(tag, true); }},
  };
  for (const auto& [name, search] : searches) {
    ui.click(panel->logoButton.lock());
    panel->gifCollectionScrollViewDidScroll(nullptr, 0, 300);  // home scrolled down a long way
    ASSERT_EQ(collapse(), "toolbar -50 strip -85") << name;

    search();
    ASSERT_TRUE(resultsShown()) << name;
    EXPECT_EQ(collapse(), "toolbar 0 strip 5") << name;
    // The settings menu's button takes the click where it shows.
    EXPECT_TRUE(ui.openMenuWith(panel->moreButton.lock())) << name;
    ui.dismissMenu();

    auto collection = results()->mainCollectionView.lock();
    ui.scrollWheel(collection, 0, -60, NSMakePoint(100, collection->visibleRect().origin.y + 100));
    EXPECT_EQ(collapse(), "toolbar -50 strip -55") << name << ": scrolled down";
    ui.scrollWheel(collection, 0, 10, NSMakePoint(100, collection->visibleRect().origin.y + 100));
    EXPECT_EQ(collapse(), "toolbar -40 strip -55") << name << ": and back up a little";
  }
  // Left with Escape while the results had slid it away, home shows the whole toolbar too.
  ui.click(panel->searchTextField.lock());
  ui.pressEscape();
  ASSERT_EQ(panel->state, RootViewController::DisplayState::home);
  EXPECT_EQ(collapse().substr(0, 9), "toolbar 0");
  EXPECT_TRUE(ui.openMenuWith(panel->moreButton.lock()));
  ui.dismissMenu();
}

// Escape and the back button also end the search session.
TEST_F(RootPanelScreensTest, EveryWayHomeFromResultsThatSlidTheToolbarAndTheStripAwayShowsThemWhole) {
  show();
  struct Way {
    const char* name;
    std::function<void()> goHome;
    bool endsSession;
  };
  const Way ways[] = {
      {"Escape", [&] {
         ui.click(panel->searchTextField.lock());
         ui.pressEscape();
       }, true},
      {"back", [&] { ui.click(panel->backButton.lock()); }, true},
      {"logo", [&] { ui.click(panel->logoButton.lock()); }, false},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    panel->searchCategory = "search";
    panel->searchAction = "qwerty";
    panel->performSearchWithTerm("cats", true);
    ASSERT_TRUE(resultsShown());
    drainMainQueue();
    wheel(results(), -40);
    ASSERT_EQ(collapse(), "toolbar -50 strip -85") << "the results slid both away";
    // A little way back up brings the toolbar, and its logo, before the strip.
    wheel(results(), 2);
    ASSERT_EQ(collapse().substr(0, 9), "toolbar 0");
    ASSERT_NE(collapse(), "toolbar 0 strip 5");

    way.goHome();
    ASSERT_EQ(panel->state, RootViewController::DisplayState::home);
    EXPECT_EQ(collapse(), "toolbar 0 strip 5");
    EXPECT_EQ(panel->searchTextField.lock()->stringValue(), "");
    EXPECT_EQ(panel->touchBarState(), RootViewController::TouchBarState::home);
    EXPECT_EQ(panel->backButtonWidthConstraint.lock()->constant(), 0);
    if (way.endsSession) {
      EXPECT_EQ(panel->constructSearchAnalyticsParameters().size(), 0u) << "a GIF copied at home is shared as trending";
    }
  }
}

TEST_F(RootPanelScreensTest, TheSuggestionListHangsBelowTheFieldWhereverTheToolbarSlid) {
  show();
  auto list = panel->autosuggestCollectionViewController;
  auto home = panel->contentCollectionView;
  // Wheel notches down, then up, before the field is clicked.
  const std::pair<int, int> cases[] = {{0, 0}, {5, 10}, {2, 0}, {5, 0}, {5, 1}};
  for (const auto& [down, up] : cases) {
    SCOPED_TRACE(std::to_string(down) + " down, " + std::to_string(up) + " up");
    wheel(home, -down);
    wheel(home, up);
    ui.click(panel->searchTextField.lock());
    ui.typeText("ca");
    ASSERT_TRUE(runUntil([&] { return list->view()->frame().size.height > 0; })) << "the list shows";
    EXPECT_NEAR(listBelowField(), 0, 1);
    reopen();
    drainMainQueue();
    EXPECT_NEAR(listBelowField(), 0, 1) << "shown again";
    // Scrolled while it shows, the list goes with the field.
    wheel(home, up > 0 || down == 0 ? -1 : 1);
    EXPECT_NEAR(listBelowField(), 0, 1) << "scrolled with the list up";

    // Home at its top again, the toolbar and the strip whole.
    ui.pressEscape();
    panel->searchTextField.lock()->setStringValue("");
    wheel(home, 20);
    panel->topToolbarConstraint.lock()->setConstant(0);
    panel->trendingSearchesContainerTopConstraint.lock()->setConstant(5);
  }
}

TEST_F(RootPanelScreensTest, AClickThatCopiesAGifSaysSoWhateverItsTileSaidBefore) {
  show();
  panel->performSearchWithTerm("cats", true);
  ASSERT_TRUE(resultsShown());
  auto cell = tileOf(results()->mainCollectionView.lock(), 0);
  ASSERT_TRUE(cell);
  ui.moveMouseTo(cell->view());
  ASSERT_TRUE(ui.openMenuWith(cell->moreOptionButton.lock()));
  ASSERT_TRUE(ui.chooseMenuItem({"Copy Link"}));
  ASSERT_EQ(confirmation(cell), "Copied link to clipboard!");
  const auto linked = NSPasteboard::generalPasteboard()->changeCount();
  ui.click(cell->view());
  EXPECT_EQ(confirmation(cell), "Copied to clipboard!");
  EXPECT_GT(NSPasteboard::generalPasteboard()->changeCount(), linked) << "the click copied the GIF";

  // The strip's tiles say it their own way.
  auto strip = panel->focusedSearchController();
  ui.click(panel->logoButton.lock());
  ASSERT_TRUE(runUntil([&] { return !strip->contentList[0].empty() && !strip->trendingRequesterFetchLock; }));
  auto stripTile = tileOf(strip->mainCollectionView.lock(), 0);
  ASSERT_TRUE(stripTile);
  ui.click(stripTile->view());
  EXPECT_EQ(confirmation(stripTile), "Copied!");
}

// One panel, accounts one after another, each way the user changes in turn. Each account
// hearts a GIF and leaves Favorites open in its profile; the next one's first PROFILE shows
// its own first screen as a first opening draws it, and its Favorites hold nothing of the
// former account's.
TEST_F(RootPanelScreensTest, WhoeverSignsInNextMeetsTheProfileAsOnItsFirstOpening) {
  signIn("ann", "tok-ann");
  show();
  const struct {
    const char* way;
    std::function<void()> leave;
    bool signsUp;
  } changes[] = {
      {"log out, then sign up", [&] { chooseFromSettings("Log Out"); }, true},
      {"log out, then log in as another", [&] { chooseFromSettings("Log Out"); }, false},
      {"a refresh the service refuses, then log in as another",
       [&] {
         auto& accounts = standin().state().accounts();
         auto user = accounts.userNamed(QuorbUserManager::init()->currentUser()->username);
         for (const auto& token : accounts.tokensOf(user->userid)) accounts.seedToken(token, user->userid, clock().now() - 1);
         QuorbUserManager::init()->authenticateUser();  // as at launch
         ASSERT_TRUE(runUntil([] { return !QuorbUser::authToken(); }));
       },
       false},
  };
  std::size_t gif = 0;
  for (const auto& change : changes) {
    SCOPED_TRACE(change.way);
    // The signed-in account, at home, hearts a GIF and leaves it open in its Favorites.
    ui.click(panel->logoButton.lock());
    const auto liker = standin().state().accounts().userNamed(QuorbUserManager::init()->currentUser()->username);
    ASSERT_TRUE(liker);
    manager()->getFavoritesCollection()->append(item(gif++));
    ASSERT_TRUE(runUntil([&] { return standin().state().liked(liker->userid).size() == 1; })) << "the heart reaches the service";
    auto profile = openProfile();
    auto titled = openFavorites(profile);
    ASSERT_TRUE(titled);
    ASSERT_EQ(titled->contentCollectionView->mainSection().size(), 1u) << "the former account's Favorites show";

    change.leave();
    drainMainQueue();
    const std::string next = "next" + std::to_string(gif);
    if (!change.signsUp) standin().state().accounts().seedUser(next, "pw-" + next);
    ASSERT_NO_FATAL_FAILURE(enterThroughTheForm(next, change.signsUp));

    profile = openProfile();
    ASSERT_EQ(panel->state, RootViewController::DisplayState::profile);
    EXPECT_DUMP(dumpViewTree(panel->view(), {.skipHidden = true, .maxDepth = 3}), "app/expected/root-profile.txt");
    EXPECT_EQ(profile->state, ProfilePacksViewController::StreamState::uploads);
    EXPECT_TRUE(profile->contentCollectionView->mainSection().empty()) << "the new account has no uploads";
    EXPECT_EQ(profile->packsSegmentButton.lock()->state(), NSControlStateValueOff);
    titled = openFavorites(profile);
    ASSERT_TRUE(titled);
    EXPECT_TRUE(titled->contentCollectionView->mainSection().empty()) << "nothing of the former account's Favorites";
    titled->didTapBack(nullptr);  // its Back: the packs again
  }
}

}  // namespace
