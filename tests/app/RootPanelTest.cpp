// The root panel through the simulator against the stand-in: its home, the toolbar per login
// state, searches from the field with their analytics, the collapsing toolbar and the
// settings menu.

#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "model/AppConstants.h"
#include "platform/appkit/NSButton.h"
#include "app/RootViewControllerBackgroundView.h"
#include "browse/GifCell.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSMenu.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "tests/app/RootPanelFixture.h"
#include "ui/QLXButton.h"

namespace {

// The toolbar and the strip as laid out: "toolbar 0 strip 5".
std::string collapse(const RootViewController& panel) {
  return "toolbar " + dumpNumber(panel.topToolbarConstraint.lock()->constant()) + " strip " +
         dumpNumber(panel.trendingSearchesContainerTopConstraint.lock()->constant());
}

// Whether every tile the home grid shows has its picture.
bool homeTilesShowTheirPictures(const RootViewController& panel) {
  auto collection = panel.contentCollectionView->mainCollectionView.lock();
  auto items = collection ? collection->visibleItems() : decltype(collection->visibleItems()){};
  return !items.empty() && std::ranges::all_of(items, [](const auto& item) {
    auto cell = asA<GifCell>(item);
    return cell && cell->gif.lock()->image();
  });
}

}  // namespace

TEST_F(RootPanelTest, HomeShowsTheToolbarTheSearchBarAndTheFeaturedTags) {
  show();
  EXPECT_EQ(panel->state, RootViewController::DisplayState::home);
  EXPECT_DUMP(dumpViewTree(panel->view(), {.maxDepth = 3}), "app/expected/root-home.txt");
  auto first = standin().requests();
  EXPECT_TRUE(std::ranges::any_of(first, [](const auto& r) {
    return r.path == "/v1/tags" && r.queryValue("type") == "featured";
  }));
}

TEST_F(RootPanelTest, TheToolbarFollowsTheLoginState) {
  show();
  auto toolbar = [&] {
    auto upload = panel->uploadButtonShadowView.lock()->frame();
    return std::string(panel->userAuthenticationButton.lock()->isHidden() ? "" : "account ") +
           (panel->profileButton.lock()->isHidden() ? "" : "profile ") + "upload at " + dumpNumber(upload.origin.x);
  };
  EXPECT_EQ(toolbar(), "account upload at 130");

  signIn("ada", "token-ada");
  NSNotificationCenter::defaultCenter()->postNotificationName("loginStateChanged", nullptr);
  drainMainQueue();
  window->layoutIfNeeded();
  EXPECT_EQ(toolbar(), "profile upload at 180");

  signOut();
  NSNotificationCenter::defaultCenter()->postNotificationName("loginStateChanged", nullptr);
  drainMainQueue();
  window->layoutIfNeeded();
  EXPECT_EQ(toolbar(), "account upload at 130");
}

TEST_F(RootPanelTest, ReturnInTheFieldSearchesAndOtherEndsOfEditingDoNot) {
  show();
  auto field = panel->searchTextField.lock();
  ui.click(field);
  ui.typeText("cats");
  ui.pressTab();
  EXPECT_EQ(panel->state, RootViewController::DisplayState::home);
  EXPECT_EQ(panel->constructSearchAnalyticsParameters().size(), 0u);

  ui.click(field);
  ui.pressReturn();
  EXPECT_EQ(panel->state, RootViewController::DisplayState::search);
  EXPECT_EQ(panel->touchBarState(), RootViewController::TouchBarState::stream);
  EXPECT_EQ(event("textsearch"), "actions=qwerty category=search tag=cats");
  EXPECT_EQ(panel->backButtonWidthConstraint.lock()->constant(), 21);

  // The back button ends the session: home, the field and the analytics emptied.
  ui.click(panel->backButton.lock());
  EXPECT_EQ(panel->state, RootViewController::DisplayState::home);
  EXPECT_EQ(field->stringValue(), "");
  EXPECT_EQ(panel->constructSearchAnalyticsParameters().size(), 0u);
  EXPECT_EQ(panel->backButtonWidthConstraint.lock()->constant(), 0);
}

TEST_F(RootPanelTest, SearchResultsTakeTheHomeGridsPlaceBelowTheStrip) {
  show();
  ui.click(panel->searchTextField.lock());
  ui.typeText("cats");
  ui.pressReturn();
  auto results = panel->searchViewController()->contentCollectionView;
  ASSERT_TRUE(runUntil([&] { return !results->mainSection().empty() && !results->fetchLock(); }));
  window->layoutIfNeeded();
  EXPECT_DUMP(dumpViewTree(panel->view(), {.maxDepth = 3}), "app/expected/root-search.txt");
  EXPECT_TRUE(std::ranges::any_of(standin().requests(), [](const auto& r) {
    return r.path == "/v1/search" && r.queryValue("tag") == "cats";
  }));
}

TEST_F(RootPanelTest, TheAutosuggestListOffersTermsTheArrowsPickAndReturnSearchesThePick) {
  standin().addRoute("GET", "/v1/suggest", [](const StandinRequest& request, StandinResponse& response, const Catalogue&) {
    auto prefix = request.queryValue("tag").value_or("");
    response.setJson(R"({"results": [")" + prefix + R"(s", ")" + prefix + R"(ts"]})");
  });
  show();
  auto list = panel->autosuggestCollectionViewController;
  auto top = [&] { return list->view()->frame().origin.y + list->view()->frame().size.height; };
  const double edge = top();
  ui.click(panel->searchTextField.lock());
  ui.typeText("ca");
  ASSERT_TRUE(runUntil([&] { return list->currentTerms == std::vector<std::string>{"cas", "cats"}; }));
  EXPECT_EQ(list->view()->frame().size.height, 130);
  EXPECT_EQ(top(), edge);

  ui.pressKey(NSKeyCode::downArrow, "\xef\x9c\x81");
  ui.pressKey(NSKeyCode::downArrow, "\xef\x9c\x81");
  EXPECT_EQ(panel->searchTextField.lock()->stringValue(), "cats");
  EXPECT_EQ(eventCount("textsearch"), 0u);
  ui.pressReturn();
  EXPECT_EQ(event("textsearch"), "actions=qwerty category=search tag=cats");
  EXPECT_EQ(list->view()->frame().size.height, 0);
  EXPECT_EQ(top(), edge);

  // New terms come without a pick: Return searches what was typed, not the row picked before.
  drainMainQueue();
  panel->searchTextField.lock()->setStringValue("");
  ui.click(panel->searchTextField.lock());
  ui.typeText("do");
  ASSERT_TRUE(runUntil([&] { return list->currentTerms == std::vector<std::string>{"dos", "dots"}; }));
  EXPECT_FALSE(list->selectedTerm());
  standin().clearLog();
  ui.pressReturn();
  EXPECT_EQ(event("textsearch"), "actions=qwerty category=search tag=do");

  // A term clicked in the list opens a new session from the list.
  standin().clearLog();
  panel->didSelectTermWithTerm("dogs");
  EXPECT_EQ(event("textsearch"), "actions=autosuggest category=search tag=dogs");
}

TEST_F(RootPanelTest, ATagSearchKeepsTheSessionsActionAndAUsernameSearchKeepsItsCategory) {
  show();
  panel->searchCategory = "search";
  panel->searchAction = "qwerty";
  auto tag = asA<VNTag>(panel->contentCollectionView->mainSection().front());
  ASSERT_TRUE(tag);
  panel->cellTapped(tag, nullptr);
  EXPECT_EQ(event("textsearch"), "actions=qwerty category=reactions tag=" + tag->additionalResultTag);
  EXPECT_EQ(panel->searchTextField.lock()->stringValue(), tag->additionalResultTag);
  EXPECT_TRUE(panel->profileContentContainer.lock()->isHidden());

  standin().clearLog();
  const auto reference = PlovexAnalytics::sharedPlovexAnalytics()->apiReferenceID();
  panel->performSearchWithTerm("correction", false);
  EXPECT_EQ(event("textsearch"), "actions=qwerty category=reactions tag=" + tag->additionalResultTag +
                                     " tag1=correction");
  EXPECT_EQ(PlovexAnalytics::sharedPlovexAnalytics()->apiReferenceID(), reference);

  standin().clearLog();
  panel->didTapUsernameLabel("poster");
  EXPECT_EQ(event("textsearch"), "actions=qwerty category=reactions tag=poster tag1=correction");
  EXPECT_NE(PlovexAnalytics::sharedPlovexAnalytics()->apiReferenceID(), reference);
}

TEST_F(RootPanelTest, AGifTappedAtHomeIsCopiedAndSharedAsTrending) {
  show();
  auto gif = item(3);
  panel->cellTapped(gif, nullptr);
  EXPECT_EQ(event("share"), "category=trending vornIDKey=" + gif->vid);
  EXPECT_TRUE(NSPasteboard::generalPasteboard()->stringForType(NSPasteboardTypeString));

  standin().clearLog();
  panel->sourceSearchTerm = "cats";
  panel->searchAction = "qwerty";
  panel->cellTapped(gif, nullptr);
  EXPECT_EQ(event("share"), "actions=qwerty tag=cats vornIDKey=" + gif->vid);
}

TEST_F(RootPanelTest, ScrollingSlidesTheToolbarThenTheStripWithinTheirRanges) {
  show();
  struct Case {
    double toolbar, strip, previous, current;
    const char* expected;
  };
  const Case cases[] = {
      {0, 5, 100, 110, "toolbar -20 strip 5"},     // down 10: the toolbar moves twice
      {-50, 5, 100, 130, "toolbar -50 strip -25"}, // toolbar gone: the strip follows
      {-50, -80, 0, 100, "toolbar -50 strip -85"}, // the strip stops hidden
      {0, -40, 110, 100, "toolbar 0 strip -30"},   // up with the toolbar shown: the strip comes back
      {0, 0, 110, 90, "toolbar 0 strip 5"},        // and stops fully shown
      {-20, -85, 110, 100, "toolbar 0 strip -75"}, // up: the toolbar shows, then the strip moves
  };
  for (const auto& c : cases) {
    panel->topToolbarConstraint.lock()->setConstant(c.toolbar);
    panel->trendingSearchesContainerTopConstraint.lock()->setConstant(c.strip);
    panel->gifCollectionScrollViewDidScroll(nullptr, c.previous, c.current);
    window->layoutIfNeeded();
    EXPECT_EQ(collapse(*panel), c.expected) << c.toolbar << " " << c.strip << " " << c.previous << " " << c.current;
  }
  // Layout keeps whatever was set within the ranges.
  panel->topToolbarConstraint.lock()->setConstant(-120);
  panel->trendingSearchesContainerTopConstraint.lock()->setConstant(30);
  window->layoutIfNeeded();
  EXPECT_EQ(collapse(*panel), "toolbar -50 strip 5");
}

TEST_F(RootPanelTest, EscapeLeavesASearchAndTheLogoGoesHome) {
  show();
  ui.pressEscape();
  EXPECT_EQ(panel->state, RootViewController::DisplayState::home);
  panel->performSearchWithTerm("dogs", true);
  drainMainQueue();
  ui.click(panel->searchTextField.lock());
  ui.pressEscape();
  EXPECT_EQ(panel->state, RootViewController::DisplayState::home);
  EXPECT_EQ(panel->touchBarState(), RootViewController::TouchBarState::home);

  panel->performSearchWithTerm("dogs", true);
  ui.click(panel->logoButton.lock());
  EXPECT_EQ(panel->state, RootViewController::DisplayState::home);
  EXPECT_EQ(panel->searchTextField.lock()->stringValue(), "");
  EXPECT_EQ(panel->contentCollectionView->view()->superview(), panel->contentContainer.lock());
}

TEST_F(RootPanelTest, TheSettingsMenuFollowsTheLoginState) {
  show();
  ui.click(panel->searchTextField.lock());
  ASSERT_TRUE(ui.openMenuWith(panel->moreButton.lock()));
  EXPECT_EQ(ui.openMenuText(),
            "Version: 1.0.0 [disabled]\nCheck for Updates\n---\nPreferences\n---\nDownload Zolto for iPhone\n"
            "About Zolto\nPrivacy and Terms\nLicenses\n---\nQuit Glimdeck\n---\n");
  ASSERT_TRUE(ui.chooseMenuItem({"About Zolto"}));
  EXPECT_EQ(ui.openedURLs, std::vector<std::string>{std::string(RootViewController::Constants::aboutAddress)});
  // The same legal terms as the sign-up and terms screens link.
  chooseFromSettings("Privacy and Terms");
  EXPECT_EQ(ui.openedURLs.back(), legalTermsUrl);

  signIn("ada", "token-ada");
  panel->state = RootViewController::DisplayState::profile;
  panel->setDisplayState(RootViewController::DisplayState::profile);
  ASSERT_TRUE(ui.openMenuWith(panel->moreButton.lock()));
  EXPECT_NE(ui.openMenuText().find("Licenses\n---\nLog Out\nQuit Glimdeck\n"), std::string::npos);
  ASSERT_TRUE(ui.chooseMenuItem({"Log Out"}));
  EXPECT_FALSE(QuorbUser::authToken());
  EXPECT_EQ(panel->state, RootViewController::DisplayState::home);
}

TEST_F(RootPanelTest, TheMenuChecksForUpdatesOnlyThroughTheApplicationsDelegateAndOpensPreferencesBesideThePanel) {
  show();
  chooseFromSettings("Check for Updates");  // no delegate of ours: nothing happens
  EXPECT_FALSE(NSApplication::sharedApplication()->modalWindow());
  auto delegate = AppDelegate::init();
  NSApplication::sharedApplication()->setDelegate(delegate);
  // The answer waits in an alert in front of the panel until the user presses its button.
  std::string alert;
  ASSERT_TRUE(ui.openMenuWith(panel->moreButton.lock()));
  // Runs inside the alert's modal loop, which the choice below enters.
  DispatchQueue::main()->async([&] {
    auto modal = NSApplication::sharedApplication()->modalWindow();
    if (!modal) return;
    alert = dumpWindow(modal);
    for (const auto& view : modal->contentView()->subviews()) {
      if (auto button = asA<NSButton>(view)) ui.click(button);
    }
  });
  ASSERT_TRUE(ui.chooseMenuItem({"Check for Updates"}));
  EXPECT_EQ(delegate->updater()->userChecks(), 1);
  EXPECT_NE(alert.find("\"" + SUUpdater::upToDateText() + "\""), std::string::npos) << alert;
  EXPECT_NE(alert.find("\"OK\""), std::string::npos) << alert;
  EXPECT_FALSE(NSApplication::sharedApplication()->modalWindow()) << "the button ended it";

  window->setFrameOrigin(NSMakePoint(700, 300));
  std::optional<NSRect> shown;
  ASSERT_TRUE(ui.openMenuWith(panel->moreButton.lock()));
  // Runs inside the preferences' modal loop, which the choice below enters.
  DispatchQueue::main()->async([&] {
    if (auto modal = NSApplication::sharedApplication()->modalWindow()) shown = modal->frame();
    NSApplication::sharedApplication()->stopModal();
  });
  ASSERT_TRUE(ui.chooseMenuItem({"Preferences"}));
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, NSMakeRect(362, 300, 338, 146));
  NSApplication::sharedApplication()->setDelegate(nullptr);
}

TEST_F(RootPanelTest, TheProfileFillsItsContainerAndLeavingItGivesTheHomeGridItsClicksBack) {
  signIn("ada", "token-ada");
  show();
  auto toggle = panel->profileButton.lock();
  ui.click(toggle);
  ASSERT_EQ(panel->state, RootViewController::DisplayState::profile);
  auto profile = panel->profilePacksController();
  EXPECT_EQ(profile->view()->superview(), panel->profileContentContainer.lock());
  EXPECT_FALSE(panel->profileContentContainer.lock()->isHidden());
  ASSERT_TRUE(runUntil([&] { return !profile->contentCollectionView->fetchLock(); }));  // no uploads yet
  window->layoutIfNeeded();
  EXPECT_DUMP(dumpViewTree(panel->view(), {.skipHidden = true, .maxDepth = 3}), "app/expected/root-profile.txt");

  // Grids of the profile stand still under an overlay.
  panel->showLogin();
  EXPECT_FALSE(profile->contentCollectionView->scrollingEnabled());
  panel->dismissLoginInterface();
  advance(0.3);
  EXPECT_TRUE(profile->contentCollectionView->scrollingEnabled());

  ui.click(toggle);
  EXPECT_EQ(panel->state, RootViewController::DisplayState::home);
  auto content = panel->contentContainer.lock();
  const NSRect frame = content->frame();
  auto hit = panel->view()->hitTest(NSMakePoint(frame.origin.x + 50, frame.origin.y + frame.size.height - 50));
  ASSERT_TRUE(hit);
  EXPECT_TRUE(hit->isDescendantOf(panel->contentCollectionView->view())) << hit->className();
}

TEST_F(RootPanelTest, OneWhiteFillLiesUnderTheWholeFrameHoweverOftenThePanelComesBack) {
  show();
  for (int again = 0; again < 2; ++again) {
    window->setContentView(NSView::initWithFrame(NSMakeRect(0, 0, 400, 600)));
    window->setContentView(panel->view());
  }
  auto frameView = window->frameView();
  std::vector<NSRect> fills;
  for (const auto& view : frameView->subviews()) {
    if (asA<RootViewControllerBackgroundView>(view)) fills.push_back(view->frame());
  }
  EXPECT_EQ(fills, std::vector<NSRect>{frameView->bounds()});
  EXPECT_TRUE(asA<RootViewControllerBackgroundView>(frameView->subviews().front())) << "it lies beneath";
}

TEST_F(RootPanelTest, HomeTilesShowTheirPicturesAgainWhenThePanelWasAwayInAnotherState) {
  standin().clearFaults();
  signIn("ada", "token-ada");
  show();
  ASSERT_TRUE(runUntil([&] { return homeTilesShowTheirPictures(*panel); }));
  struct Way {
    const char* away;
    std::function<void()> leave, comeHome;
  };
  auto search = [&] { panel->performSearchWithTerm("dogs", true); };
  auto profile = [&] { ui.click(panel->profileButton.lock()); };
  const Way ways[] = {
      {"search, back", search, [&] { ui.click(panel->backButton.lock()); }},
      {"search, logo", search, [&] { ui.click(panel->logoButton.lock()); }},
      {"profile, toggle", profile, profile},
      {"profile, log out", profile, [&] { chooseFromSettings("Log Out"); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.away);
    if (!QuorbUser::authToken()) signIn("ada", "token-ada");
    way.leave();
    ASSERT_NE(panel->state, RootViewController::DisplayState::home);
    window->layoutIfNeeded();
    reopen();  // while the home grid is off screen
    way.comeHome();
    ASSERT_EQ(panel->state, RootViewController::DisplayState::home);
    window->layoutIfNeeded();
    EXPECT_TRUE(runUntil([&] { return homeTilesShowTheirPictures(*panel); })) << "no tile stays on its placeholder";
  }
}
