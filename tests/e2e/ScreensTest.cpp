// Screens over screens and what they say, as a person at the desktop meets them: an opened
// pack covers the packs list, a click that copies a GIF says so after the menu's Copy Link,
// a search shows the toolbar that home had slid away, and the plain wheel moves the
// trending strip, which asks for a page only as its end comes into view. The sign-up form
// reads its "I agree" box as it shows it, even at once, and a press on a tile taken back off
// the panel is no click.

#include <cstdlib>

#include "platform/foundation/NSString.h"
#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

bool isShown(std::uint32_t rgb) { return !isNearWhite(rgb); }

// Where the sign-up form says that the terms must be accepted, under the "I agree" box.
constexpr NSRect kTermsMessage{{50, 380}, {300, 30}};
// A point of home's trending strip, left of its first GIF's middle: a search shows white there,
// under the words that head its strip of terms.
constexpr NSPoint kHomesStrip{50, 170};

// The channels of a pixel, lowest and highest.
int lowestChannel(std::uint32_t rgb) {
  return std::min({static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF)});
}
int highestChannel(std::uint32_t rgb) {
  return std::max({static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF)});
}

// A tile's copy confirmation as a picture shows it: whether the tile is dimmed under it,
// whether it has faded in whole (its words at full white), and how wide its white words run
// across the tile's middle.
struct Confirmation {
  bool shown = false;
  bool whole = false;
  int textWidth = 0;
};

class ScreensTest : public DesktopUserTest {
 protected:
  // The "pos" of each trending page the stand-in was asked for, in order ("" for the first).
  std::vector<std::string> trendingPages() {
    std::vector<std::string> pages;
    for (const auto& request : standinRequests()) {
      auto path = asA<NSString>(request->objectForKey("path"));
      if (!path || path->string() != "/v1/trending") continue;
      std::string pos;
      auto items = asA<NSArray>(request->objectForKey("queryItems"));
      for (const auto& item : items ? items->objects() : std::vector<id>{}) {
        auto pair = asA<NSArray>(item);
        if (pair && pair->count() == 2 && asA<NSString>(pair->objectAtIndex(0))->string() == "pos")
          pos = asA<NSString>(pair->objectAtIndex(1))->string();
      }
      pages.push_back(pos);
    }
    return pages;
  }

  // The tile around a point, as far as its colour reaches before the white between tiles.
  static NSRect tileAround(const Picture& shot, NSPoint inside) {
    const int x = static_cast<int>(inside.x), y = static_cast<int>(inside.y);
    int left = x, right = x, top = y, bottom = y;
    while (left > 0 && !isNearWhite(shot.at(left - 1, y))) --left;
    while (right < shot.width - 1 && !isNearWhite(shot.at(right + 1, y))) ++right;
    while (top > 0 && !isNearWhite(shot.at(x, top - 1))) --top;
    while (bottom < shot.height - 1 && !isNearWhite(shot.at(x, bottom + 1))) ++bottom;
    return NSMakeRect(left, top, right - left + 1, bottom - top + 1);
  }

  // Under the confirmation the tile is dimmed to under 60 % of its light, and its words are
  // white across the middle. Measured between the hover heart at the top and the hover
  // name at the bottom.
  static Confirmation confirmationOn(const Picture& shot, NSRect tile) {
    const int mid = static_cast<int>(tile.midY());
    std::size_t dim = 0, sampled = 0;
    for (int y = mid - 40; y < mid + 40; ++y) {
      if (std::abs(y - mid) <= 14) continue;
      for (int x = static_cast<int>(tile.minX()) + 2; x < static_cast<int>(tile.maxX()) - 2; ++x, ++sampled) {
        dim += highestChannel(shot.at(x, y)) <= 140;
      }
    }
    Confirmation seen{.shown = sampled > 0 && dim * 10 >= sampled * 9};
    int first = -1, last = -1, brightest = 0;
    for (int y = mid - 11; y <= mid + 11; ++y) {
      // Inside the tile's edges, which blend into the white around it.
      for (int x = static_cast<int>(tile.minX()) + 4; x < static_cast<int>(tile.maxX()) - 4; ++x) {
        brightest = std::max(brightest, lowestChannel(shot.at(x, y)));
        if (lowestChannel(shot.at(x, y)) < 200) continue;
        first = first < 0 ? x : std::min(first, x);
        last = std::max(last, x);
      }
    }
    seen.textWidth = first < 0 ? 0 : last - first + 1;
    // Words drawn at full strength reach white: while the confirmation fades, the tile's
    // dark still shows through them.
    seen.whole = brightest >= 254;
    return seen;
  }

  // Waits until the tile shows its confirmation whole and answers how wide its words are; 0
  // when it did not come. Each picture is of a moment the application is held still at, and
  // its time goes on only between pictures: however slowly they are taken, the few seconds
  // the confirmation shows are not spent on them.
  int confirmationWidth(NSRect tile, const std::string& name) {
    int width = 0;
    const bool came = eventually([&] {
      Confirmation seen;
      holdStill([&](const std::string&) {
        if (auto shown = panel()) seen = confirmationOn(picture(*shown, name), tile);
      });
      width = seen.shown && seen.whole ? seen.textWidth : 0;
      return width > 0;
    });
    return came ? width : 0;
  }
  bool confirmationGone(NSRect tile) {
    return eventually([&] {
      auto shown = panel();
      return shown && !confirmationOn(picture(*shown, "confirmation-gone"), tile).shown;
    });
  }

  // The places along a row where white gaps between tiles begin (three white pixels or more).
  static std::vector<int> gapsAlong(const Picture& shot, int y) {
    std::vector<int> gaps;
    int run = 0;
    for (int x = 0; x < shot.width; ++x) {
      run = lowestChannel(shot.at(x, y)) >= 0xE8 ? run + 1 : 0;
      if (run == 3 && x >= 3) gaps.push_back(x - 2);
    }
    return gaps;
  }
  // Whether a gap of `before` shows again `by` pixels to the left in `after`.
  static bool movedLeft(const std::vector<int>& before, const std::vector<int>& after, int by) {
    for (int gap : before) {
      if (gap - by < 0) continue;
      for (int seen : after)
        if (std::abs(seen - (gap - by)) <= 2) return true;
    }
    return false;
  }
};

TEST_F(ScreensTest, AnOpenedPackCoversThePacksListWholeUntilBack) {
  ASSERT_NO_FATAL_FAILURE(launchSignedUp("penny", "packs-over-packs"));
  clickPanel(P::profileButton);
  ASSERT_TRUE(panelShows(P::createPackFill, isBlueish)) << "the profile shows";
  clickPanel(P::packsTab);
  // Recents, Favorites and Saved, two to a row.
  for (auto tile : {P::firstPackTile, P::secondPackTile, P::thirdPackTile}) ASSERT_TRUE(panelShows(tile, isShown));
  expectScreenMatchesRepaint("the packs");

  clickPanel(P::secondPackTile);  // Favorites, which holds nothing yet
  for (auto tile : {P::firstPackTile, P::secondPackTile, P::thirdPackTile})
    EXPECT_TRUE(panelShows(tile, isNearWhite)) << "nothing of the list shows beside the open pack";
  expectScreenMatchesRepaint("Favorites open");
  // Where a tile of the list lay, a click finds only the open pack.
  clickPanel(P::thirdPackTile);
  EXPECT_TRUE(panelShows(P::thirdPackTile, isNearWhite));
  EXPECT_TRUE(panelShows(P::firstPackTile, isNearWhite));

  clickPanel(P::packBack);
  for (auto tile : {P::firstPackTile, P::secondPackTile, P::thirdPackTile})
    EXPECT_TRUE(panelShows(tile, isShown)) << "back at the packs";
  expectScreenMatchesRepaint("back at the packs");
}

TEST_F(ScreensTest, AClickThatCopiesAGifAfterCopyLinkSaysTheGifWasCopied) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
  auto shown = panel();
  ASSERT_TRUE(shown);
  const NSRect tile = tileAround(picture(*shown, "results"), P::firstResult);
  ASSERT_GT(tile.width(), 100) << "the first result's tile has edges";

  // A click copies the GIF: what its confirmation looks like.
  clickPanel(P::firstResult);
  const int copiedGif = confirmationWidth(tile, "gif-copied");
  ASSERT_GT(copiedGif, 0) << "the click's confirmation shows";
  std::string file;
  EXPECT_TRUE(eventually([&] { return (file = clipboard("text/uri-list")).starts_with("file://"); }))
      << "the GIF's file is on the clipboard: " << file;
  ASSERT_TRUE(confirmationGone(tile));

  // The menu's Copy Link says so in words of its own.
  const NSPoint more{tile.maxX() - 21, tile.maxY() - 15};
  ASSERT_NO_FATAL_FAILURE(chooseFromPanelMenu(more, "iii-i", 1));
  std::string link;
  EXPECT_TRUE(eventually([&] { return (link = clipboard()).starts_with("http"); })) << "the link: " << link;
  const int copiedLink = confirmationWidth(tile, "link-copied");
  EXPECT_GT(copiedLink, copiedGif + 10) << "\"Copied link to clipboard!\" reads longer";
  ASSERT_TRUE(confirmationGone(tile));

  // A click then copies the GIF again, and says that.
  clickPanel(P::firstResult);
  EXPECT_TRUE(eventually([&] { return clipboard("text/uri-list").starts_with("file://"); }))
      << "the GIF, not the link, is on the clipboard";
  const int again = confirmationWidth(tile, "gif-copied-again");
  EXPECT_LE(std::abs(again - copiedGif), 2) << "the words of a GIF copy (" << copiedGif << " wide), not the link's ("
                                             << copiedLink << "); now " << again;
  expectScreenMatchesRepaint("copied again");
}

TEST_F(ScreensTest, ASearchShowsTheToolbarHomeHadSlidAwayAndItsResultsSlideItAsHomeDoes) {
  ASSERT_NO_FATAL_FAILURE(launch());
  ASSERT_NO_FATAL_FAILURE(acceptTerms());
  ASSERT_TRUE(panelShows(P::firstTagTile, isShown));
  ASSERT_TRUE(panelShows(P::toolbarBackground, isNearWhite));
  ASSERT_NO_FATAL_FAILURE(wheel(P::homeGrid, 5, 5));
  ASSERT_TRUE(panelShows(P::toolbarBackground, isBlueish)) << "home slid the toolbar away";
  expectScreenMatchesRepaint("home scrolled");

  clickPanel(P::homeGrid);  // a tag tile: its search
  ASSERT_TRUE(eventually([&] { return receivedPaths().find("/v1/tagstream/") != std::string::npos; }))
      << receivedPaths();
  EXPECT_TRUE(panelShows(P::toolbarBackground, isNearWhite)) << "the search shows the toolbar";
  EXPECT_TRUE(panelShows(P::firstResult, isShown)) << "the results show";
  expectScreenMatchesRepaint("the tag's search");
  // "…" opens the settings menu where it shows.
  clickPanel(P::moreButton);
  EXPECT_TRUE(eventually([&] { return menuWindow().has_value(); })) << "the settings menu opens";
  pressKeys("Escape");
  ASSERT_TRUE(eventually([&] { return !menuWindow().has_value(); }));

  ASSERT_NO_FATAL_FAILURE(wheel(P::homeGrid, 5, 5));
  EXPECT_TRUE(panelShows(P::toolbarBackground, isBlueish)) << "scrolling the results slides the toolbar away";
  ASSERT_NO_FATAL_FAILURE(wheel(P::homeGrid, 4, 5));
  EXPECT_TRUE(panelShows(P::toolbarBackground, isNearWhite)) << "and back";
  expectScreenMatchesRepaint("results scrolled back");
}

TEST_F(ScreensTest, ThePlainWheelMovesTheTrendingStripWhichAsksForAPageOnlyAsItsEndComesIntoView) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  auto shown = panel();
  ASSERT_TRUE(shown);
  const int row = static_cast<int>(P::firstTrendingGif.y);
  const auto before = gapsAlong(picture(*shown, "strip"), row);
  ASSERT_FALSE(before.empty()) << "the strip's tiles have gaps between them";

  // Ten clicks down move it 200 pixels on, to the right.
  ASSERT_NO_FATAL_FAILURE(wheel(P::trendingStrip, 5, 10));
  EXPECT_TRUE(eventually([&] { return movedLeft(before, gapsAlong(picture(*shown, "strip-moved"), row), 200); }))
      << "the tiles moved 200 pixels to the left";
  expectScreenMatchesRepaint("strip moved");
  EXPECT_EQ(trendingPages(), std::vector<std::string>{""}) << "the first page's end is not in view yet";

  // On, a few clicks at a time, until the end comes into view: only then the second page.
  int clicks = 10;
  while (trendingPages().size() < 2 && clicks < 200) {
    ASSERT_NO_FATAL_FAILURE(wheel(P::trendingStrip, 5, 5));
    clicks += 5;
    eventually([&] { return trendingPages().size() >= 2; }, 0.5);
  }
  EXPECT_EQ(trendingPages(), (std::vector<std::string>{"", "20"})) << "after " << clicks << " clicks";
  // Twenty more clicks go 400 pixels into the second page, far from its end.
  ASSERT_NO_FATAL_FAILURE(wheel(P::trendingStrip, 5, 20));
  const auto moved = gapsAlong(picture(*shown, "strip-second-page"), row);
  EXPECT_FALSE(eventually([&] { return trendingPages().size() > 2; }, 2.0))
      << "no page but the one whose end came into view: " << trendingPages().size();
  expectScreenMatchesRepaint("second page");
  // Back to the left, with the wheel up.
  ASSERT_NO_FATAL_FAILURE(wheel(P::trendingStrip, 4, 10));
  EXPECT_TRUE(eventually([&] { return movedLeft(gapsAlong(picture(*shown, "strip-back"), row), moved, 200); }))
      << "the wheel up moves it back";
}

// Space and Return pressed at once on the sign-up form's "I agree" box (one xdotool call, as
// quick hands press them) send the form: it reads the box as it shows it, ticked, while the
// fill may still be growing, and says nothing about the terms.
TEST_F(ScreensTest, SpaceAndReturnAtOnceOnTheAgreeBoxSendTheSignUp) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  clickPanel(P::accountButton);
  ASSERT_TRUE(panelShows(P::loginSubmitFill, isBlueish)) << "the log-in form opens";
  clickPanel(P::loginToSignup);
  ASSERT_TRUE(panelShows(P::signupSubmitFill, isBlueish)) << "the sign-up form opens";
  clickPanel(P::signupUsername);
  for (const char* text : {"quill", "quill@example.com", "quick-hands"}) {
    typeText(text);
    pressKeys("Tab");
  }
  run({"xdotool", "key", "--clearmodifiers", "--", "space", "Return"});
  bool sent = false, refused = false;
  ASSERT_TRUE(eventually([&] {
    sent = standinReceived("/quorb.signup", "username", "quill");
    refused = panelPixelsIn(kTermsMessage, isErrorRed, "after space and return") > 0;
    return sent || refused;
  })) << "neither sent nor refused; the service received " << receivedPaths();
  EXPECT_FALSE(refused) << "the terms message shows";
  EXPECT_TRUE(sent) << "the form is sent";
  EXPECT_TRUE(eventually([&] { return standinRecord("users", "username", "quill") != nullptr; }));
  EXPECT_TRUE(panelShows(P::loginCard, isShown)) << "the form goes";
  EXPECT_EQ(panelPixelsIn(kTermsMessage, isErrorRed, "signed up"), 0);
}

// A press on a tag tile taken back, the pointer moved off the panel with the button held and
// released there (with Escape pressed before the release or not), opens no search: home stays,
// and the service is asked for no tag's GIFs. Released on the tile, a press opens its search.
TEST_F(ScreensTest, APressOnATagTileReleasedOffThePanelOpensNoSearch) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  ASSERT_TRUE(panelShows(P::firstTagTile, isShown));
  auto shown = panel();
  ASSERT_TRUE(shown);
  // On the desktop beside the panel, on the side with room.
  const NSPoint off = shown->frame.minX() > 100 ? NSPoint{-60, 300} : NSPoint{panelWidth + 60, 300};
  for (bool escape : {false, true}) {
    const std::string how = escape ? "released after Escape" : "released";
    SCOPED_TRACE(how);
    ASSERT_TRUE(movePointer(*shown, P::firstTagTile));
    run({"xdotool", "mousedown", "1"});
    ASSERT_TRUE(movePointer(*shown, off));
    if (escape) pressKeys("Escape");
    run({"xdotool", "mouseup", "1"});
    // The settings menu opens at the next click: by then the release has been handled.
    clickPanel(P::moreButton);
    ASSERT_TRUE(eventually([&] { return menuWindow().has_value(); })) << "the settings menu opens";
    pressKeys("Escape");
    ASSERT_TRUE(eventually([&] { return !menuWindow().has_value(); }));
    EXPECT_TRUE(panelShows(kHomesStrip, isShown)) << "home stays";
    EXPECT_EQ(receivedPaths().find("/v1/tagstream/"), std::string::npos) << "a tag was searched";
    expectScreenMatchesRepaint(how);
  }
  clickPanel(P::firstTagTile);
  EXPECT_TRUE(eventually([&] { return receivedPaths().find("/v1/tagstream/") != std::string::npos; }))
      << "a click on the tile searches its tag; the service received " << receivedPaths();
}

}  // namespace
