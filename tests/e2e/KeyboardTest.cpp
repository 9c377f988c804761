// The keyboard and the pointer on the screens laid over the panel, through X input. Typed
// after a click in the search field, keys go to the log-in form or the upload screen opened
// over it, never to a search the user cannot see (a paste after a click on an empty part of
// the upload screen included); once the screen has gone, the search field takes the keys
// again. The search field keeps the keys through searches and the ways home, whether they
// were started with keys alone or with clicks on tiles and buttons. On the first-run
// welcome, the links on the second line of their wrapped sentence open their pages, and the
// blank right of the first line opens nothing.

#include "model/AppConstants.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

// The back button at the left of the search field, shown in a search, and a point beside it
// where the search bar's blue shows in a search and home has the field's lighter blue.
constexpr NSPoint kBackButton{20, P::searchField.y};
constexpr NSPoint kBesideBackButton{30, 65};
// Inside the sign-up form's consent box, near the corner its growing fill reaches last (the
// ring that shows the box has the keys lies outside it), and the password input's ring.
constexpr NSPoint kAgreeFillCorner{55, 358};
constexpr NSPoint kPasswordRing{52, P::signupPassword.y};

bool isSearchFieldBlue(std::uint32_t rgb) { return ((rgb >> 16) & 0xFF) > 90 && isBlueish(rgb) && !isNearWhite(rgb); }

// The white of the welcome's text and its links' underlines, anti-aliased edges aside.
bool isWhiteText(std::uint32_t rgb) {
  return ((rgb >> 16) & 0xFF) > 180 && ((rgb >> 8) & 0xFF) > 180 && (rgb & 0xFF) > 180;
}

// A straight run of white along one row of a picture: a link's underline.
struct Underline {
  int y = 0, x0 = 0, x1 = 0;
  NSPoint middle() const { return {(x0 + x1) / 2.0, y - 6.0}; }  // on the underlined words
};

class KeyboardTest : public DesktopUserTest {
 protected:
  // Whether the service was asked for a search for the term, or told of one.
  bool searchedFor(const std::string& term) {
    return standinReceived("/v1/search", "tag", term) ||
           standinReceivedQuery("/quorb.registerevent/textsearch", [&](const std::string&, const std::string& value) {
             return value.find(term) != std::string::npos;
           });
  }
  // Typed into the panel with no click first: the search field has the keys.
  void searchByTyping(const std::string& term) {
    typeText(term);
    pressKeys("Return");
    ASSERT_TRUE(eventually([&] { return standinReceived("/v1/search", "tag", term); }))
        << "the search field took the keys; the service received " << receivedPaths();
  }
  // The results of a search show where home has its tag tiles.
  bool resultsShow() { return panelShows(P::firstResult, [](std::uint32_t rgb) { return !isNearWhite(rgb); }); }
  // Home shows again: the back button has gone (the search field lies where it was) and the
  // trending strip asked the service for its GIFs again.
  bool homeShowsAfter(int trendingRequests) {
    return eventually([&] { return standinRequestCount("/v1/trending") > trendingRequests; }) &&
           panelShows(kBesideBackButton, isSearchFieldBlue);
  }
  // The links' underlines in the welcome's sentence, left to right on the first row that has
  // any, as a person sees them.
  std::vector<Underline> welcomeUnderlines(const Picture& shot) {
    const auto& area = P::welcomeSentence;
    for (int y = static_cast<int>(area.minY()); y < static_cast<int>(area.maxY()); ++y) {
      std::vector<Underline> found;
      for (int x = static_cast<int>(area.minX()); x < static_cast<int>(area.maxX());) {
        int end = x;
        while (end < static_cast<int>(area.maxX()) && isWhiteText(shot.at(end, y))) ++end;
        if (end - x >= 25) found.push_back({y, x, end - 1});
        x = std::max(end, x + 1);
      }
      if (!found.empty()) return found;
    }
    return {};
  }
};

TEST_F(KeyboardTest, KeysTypedAfterTheLogInFormOpensOverTheSearchFieldGoToTheForm) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  clickPanel(P::searchField);
  clickPanel(P::accountButton);
  ASSERT_TRUE(panelShows(P::loginCard, isNearWhite)) << "the log-in form opens";
  typeText("hidden");
  pressKeys("Return");
  // Its user name has what was typed: Control-A and Control-C copy it out.
  pressKeys("ctrl+a");
  pressKeys("ctrl+c");
  EXPECT_TRUE(eventually([&] { return clipboard() == "hidden"; }, 10.0)) << "the clipboard holds " << clipboard();
  expectScreenMatchesRepaint("typed into the form");

  clickPanel(P::loginClose);
  ASSERT_TRUE(panelShows(P::loginCard, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "the form goes";
  expectScreenMatchesRepaint("home again");
  ASSERT_NO_FATAL_FAILURE(searchByTyping("cats"));
  EXPECT_FALSE(searchedFor("hidden")) << "the service received " << receivedPaths();
}

TEST_F(KeyboardTest, APasteOnTheUploadScreenAfterAClickOnItsEmptyPartGoesToItsAddressField) {
  ASSERT_NO_FATAL_FAILURE(launchSignedUp("kira", "keys-on-top"));
  const std::string address = standinURL() + "/media/sized/2800.gif";
  ASSERT_NO_FATAL_FAILURE(copyInAnotherProgram(address));
  clickPanel(P::searchField);
  clickPanel({(P::uploadSignedInMinX + P::uploadSignedInMaxX) / 2, P::toolbarY});
  ASSERT_TRUE(panelShows(P::uploadCard, isNearWhite)) << "the upload screen opens";
  clickPanel(P::uploadDropTarget);
  pressKeys("ctrl+v");
  pressKeys("Return");
  EXPECT_TRUE(eventually([&] { return standinReceived("/media/sized/2800.gif"); }))
      << "the application fetches the pasted address; the service received " << receivedPaths();
  expectScreenMatchesRepaint("pasted");

  clickPanel(P::cardBack);
  ASSERT_TRUE(panelShows(P::uploadCard, isBlueish)) << "Back closes the upload screen";
  ASSERT_NO_FATAL_FAILURE(searchByTyping("dogs"));
  EXPECT_FALSE(searchedFor(address)) << "the service received " << receivedPaths();
}

// What the README promises for the keyboard, with no click from the panel's opening to the
// sign-up form, which only clicks open: the shortcut opens the panel with the keys in the
// search field; after Return the field keeps them with its term selected, so the next term
// typed replaces it; Down picks a suggestion, Return searches it and Escape goes home. On the
// sign-up form the keys go from stop to stop and send it; once it has gone, the search field
// has them back.
TEST_F(KeyboardTest, AJourneyByTheKeyboardSearchesPicksASuggestionGoesHomeAndSignsUp) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());  // the terms screen takes no keys: OK is clicked
  ASSERT_NO_FATAL_FAILURE(closeAndOpenPanel());

  ASSERT_NO_FATAL_FAILURE(searchByTyping("dog"));
  ASSERT_TRUE(resultsShow());
  expectScreenMatchesRepaint("searched with Return");
  ASSERT_NO_FATAL_FAILURE(searchByTyping("cat"));
  EXPECT_FALSE(searchedFor("dogcat")) << "the term typed replaces the selected one";
  ASSERT_TRUE(resultsShow());

  // One letter asks for its suggestions once: the list that shows is that letter's.
  typeText("d");
  ASSERT_TRUE(eventually([&] { return standinReceived("/v1/suggest", "tag", "d"); })) << receivedPaths();
  ASSERT_TRUE(panelShows(P::suggestionList, isNearWhite)) << "the suggestions show under the field";
  expectScreenMatchesRepaint("suggestions");
  pressKeys("Down");
  pressKeys("Return");
  EXPECT_TRUE(eventually([&] { return standinReceived("/v1/search", "tag", "dancing"); }))
      << "the first suggestion is searched; the service received " << receivedPaths();
  EXPECT_FALSE(standinReceived("/v1/search", "tag", "d")) << "the letter typed is not searched";
  ASSERT_TRUE(resultsShow());

  const int trending = standinRequestCount("/v1/trending");
  pressKeys("Escape");
  EXPECT_TRUE(homeShowsAfter(trending)) << "Escape goes home; the service received " << receivedPaths();
  expectScreenMatchesRepaint("home again");

  clickPanel(P::accountButton);
  ASSERT_TRUE(panelShows(P::loginSubmitFill, isBlueish)) << "the log-in form opens";
  clickPanel(P::loginToSignup);
  ASSERT_TRUE(panelShows(P::signupSubmitFill, isBlueish)) << "the sign-up form opens";
  for (const char* text : {"jo", "jo@example.com", "keys-all-the-way"}) {
    typeText(text);
    pressKeys("Tab");
  }
  pressKeys("space");
  ASSERT_TRUE(panelShows(kAgreeFillCorner, isBlueish)) << "Space ticks the box";
  pressKeys("shift+Tab");
  ASSERT_TRUE(panelShows(kPasswordRing, isBlueish)) << "Shift+Tab goes back to the password";
  expectScreenMatchesRepaint("sign-up form filled in");
  pressKeys("Return");
  ASSERT_TRUE(eventually([&] { return standinRecord("users", "username", "jo") != nullptr; })) << receivedPaths();
  // Its card lies over the search field until it has gone (its spinner while it waits too).
  ASSERT_TRUE(panelShows(kBesideBackButton, isSearchFieldBlue)) << "the form goes";
  // Its fade has ended, and with it what the end of the fade does: the search field takes the keys.
  expectScreenMatchesRepaint("signed up");
  ASSERT_NO_FATAL_FAILURE(searchByTyping("frog"));
  ASSERT_TRUE(resultsShow());
}

// Clicks on a tag tile and on the back button leave the keys in the search field, which had
// them since the panel opened: what is typed next searches without a click in the field.
TEST_F(KeyboardTest, AfterATagTileAndTheBackButtonTypingSearchesWithoutAClickInTheField) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  ASSERT_TRUE(panelShows(P::firstTagTile, [](std::uint32_t rgb) { return !isNearWhite(rgb); })) << "home's tags show";
  clickPanel(P::firstTagTile);
  ASSERT_TRUE(eventually([&] { return receivedPaths().find("/v1/tagstream/") != std::string::npos; }))
      << "the tag's search opens; the service received " << receivedPaths();
  ASSERT_TRUE(resultsShow());
  ASSERT_TRUE(panelShows(kBesideBackButton, [](std::uint32_t rgb) { return !isSearchFieldBlue(rgb); }))
      << "Back shows";
  expectScreenMatchesRepaint("tag searched");

  const int trending = standinRequestCount("/v1/trending");
  clickPanel(kBackButton);
  ASSERT_TRUE(homeShowsAfter(trending)) << "Back goes home; the service received " << receivedPaths();
  ASSERT_NO_FATAL_FAILURE(searchByTyping("frog"));
  ASSERT_TRUE(resultsShow());
  expectScreenMatchesRepaint("typed after Back");
}

TEST_F(KeyboardTest, TheWelcomesLinksOnTheWrappedLineOpenTheirPagesAndTheBlankBesideTheFirstLineNothing) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_TRUE(panelShows({200, 10}, isBlueish)) << "the welcome covers the panel";
  auto shown = panel();
  ASSERT_TRUE(shown);
  const auto shot = picture(*shown, "welcome");
  const auto underlines = welcomeUnderlines(shot);
  ASSERT_EQ(underlines.size(), 2u) << "Terms of Service and Privacy Policy, side by side";
  // The first line is the white text above the underlined one; its right end is where its
  // last letter ends.
  const auto& area = P::welcomeSentence;
  int firstTop = -1, firstBottom = -1, firstRight = -1;
  for (int y = static_cast<int>(area.minY()); y < underlines[0].y - 14; ++y) {
    for (int x = static_cast<int>(area.minX()); x < static_cast<int>(area.maxX()); ++x) {
      if (!isWhiteText(shot.at(x, y))) continue;
      if (firstTop < 0) firstTop = y;
      firstBottom = y;
      firstRight = std::max(firstRight, x);
    }
  }
  ASSERT_GE(firstTop, 0) << "the sentence's first line shows";
  const NSPoint besideFirstLine{area.maxX() - 3, (firstTop + firstBottom) / 2.0};
  ASSERT_GT(besideFirstLine.x, firstRight + 4) << "there is blank beside the first line";

  clickPanel(besideFirstLine);
  clickPanel(underlines[0].middle());
  clickPanel(underlines[1].middle());
  EXPECT_TRUE(eventually([&] { return openedAddresses().size() >= 2; }, 10.0))
      << openedAddresses().size() << " pages opened";
  EXPECT_EQ(openedAddresses(), (std::vector<std::string>{std::string(legalTermsUrl), std::string(legalPrivacyUrl)}));
  EXPECT_TRUE(panelShows({200, 10}, isBlueish)) << "the welcome stays";
  expectScreenMatchesRepaint("links opened");
}

}  // namespace
