// The search bar through X input: the suggestion list hangs below the search field however
// the wheel slid the toolbar before, also once the panel has closed and opened again; Escape
// leaves a search for a whole home, its trending strip in view however far the results had
// slid it away; and an Escape that gives up a drag out of the panel does nothing else.

#include "tests/e2e/DesktopUser.h"
#include "tests/e2e/PanelPoints.h"

namespace {

namespace P = PanelPoints;

bool showsSomething(std::uint32_t rgb) { return !isNearWhite(rgb); }

constexpr std::string_view kShare = "/quorb.registerevent/share";

class SearchBarTest : public DesktopUserTest {};

TEST_F(SearchBarTest, TheSuggestionListHangsBelowTheFieldWhateverTheWheelDidToTheToolbar) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  ASSERT_TRUE(panelShows(P::firstTagTile, showsSomething));
  ASSERT_NO_FATAL_FAILURE(wheel(P::homeGrid, 5, 5));
  ASSERT_TRUE(panelShows(P::toolbarBackground, isBlueish)) << "home slid the toolbar away";
  ASSERT_NO_FATAL_FAILURE(wheel(P::homeGrid, 4, 10));
  ASSERT_TRUE(panelShows(P::toolbarBackground, isNearWhite)) << "and back";

  clickPanel(P::searchField);
  typeText("ca");
  auto expectTheListUnderTheField = [&](const std::string& step) {
    EXPECT_TRUE(panelShows(P::suggestionList, isNearWhite)) << step << ": the list shows under the field";
    // The field's light blue, where the list would be white, shows what was typed.
    EXPECT_TRUE(panelShows(P::searchField, isBlueish)) << step << ": the field shows, uncovered";
    expectScreenMatchesRepaint(step);
  };
  expectTheListUnderTheField("typed");
  ASSERT_NO_FATAL_FAILURE(closeAndOpenPanel());
  expectTheListUnderTheField("shown again");
}

TEST_F(SearchBarTest, EscapeGoesHomeWithItsStripAndAnEscapeThatGivesUpADragDoesNothingElse) {
  ASSERT_NO_FATAL_FAILURE(launchHome());
  ASSERT_NO_FATAL_FAILURE(searchFor("cats"));
  ASSERT_NO_FATAL_FAILURE(wheel(P::homeGrid, 5, 40));
  ASSERT_TRUE(panelShows(P::toolbarBackground, isBlueish)) << "the results slid the toolbar and the strip away";

  // A click in the field, where it has slid to, leaves the keys there.
  clickPanel(P::searchFieldToolbarAway);
  pressKeys("Escape");
  ASSERT_TRUE(panelShows(P::firstTrendingGif, showsSomething));
  expectScreenMatchesRepaint("home again");
  // Where the strip's first GIF shows, a click copies it, shared as a trending GIF outside
  // any search; a tag tile there would search, a result would be shared with its search.
  clickPanel(P::firstTrendingGif);
  EXPECT_TRUE(eventually([&] {
    return standinReceivedQuery(std::string(kShare), [](const std::string& name, const std::string& value) {
      return name == "data" && value.find("trending") != std::string::npos;
    });
  })) << "the strip's GIF is shared as trending; the service received " << receivedPaths();
  EXPECT_EQ(receivedPaths().find("/v1/tagstream/"), std::string::npos) << "no tag was searched";

  // A search, the panel closed and opened, and a result dragged out of it, given up with
  // Escape held as a hand holds it: released only once the panel is back with the keys.
  ASSERT_NO_FATAL_FAILURE(searchFor("cat"));
  ASSERT_NO_FATAL_FAILURE(closeAndOpenPanel());
  ASSERT_TRUE(panelShows(P::firstResult, showsSomething));
  const int sharedBefore = standinRequestCount(kShare);
  ASSERT_NO_FATAL_FAILURE(beginDragFromPanel(P::firstResult));
  run({"xdotool", "keydown", "Escape"});
  EXPECT_TRUE(eventually([&] { return panelShown() && panelHasKeys(); })) << "the panel comes back with the keys";
  run({"xdotool", "keyup", "Escape"});
  run({"xdotool", "mouseup", "1"});
  EXPECT_TRUE(focusedFieldHolds("cat")) << "the search stays; the field holds \"" << clipboard() << "\"";
  // Nor was the release of the button a click that copied the result under it.
  EXPECT_FALSE(eventually([&] { return standinRequestCount(kShare) > sharedBefore; }, 3.0)) << receivedPaths();
  expectScreenMatchesRepaint("the drag given up");
}

}  // namespace
