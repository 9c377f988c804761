// The search screen against the stand-in, through the simulator: a search before and after
// the view loads, the no-results label between two searches, and the shares it reports.

#include <gtest/gtest.h>

#include "browse/SearchViewController.h"
#include "platform/appkit/NSTextField.h"
#include "service/VNStreamRequester.h"
#include "tests/browse/ScreenFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class SearchOwner : public AnalyticsDelegate,
                    public SearchViewControllerDelegate,
                    public TouchBarUpdater,
                    public UsernameClickDelegate {
 public:
  StringDictionary requestSearchAnalytics() override { return {{"category", "search"}, {"tag", "cats"}}; }
  void didRequestLogin() override { heard.push_back("login"); }
  void fetchedContent(const VNRequester::Content& content) override {
    heard.push_back("page of " + std::to_string(content.size()));
  }
  void clearScrubber() override {}
  void didTapUsernameLabel(const std::string& username) override { heard.push_back("user " + username); }
  std::vector<std::string> heard;
};

class SearchViewControllerTest : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    screen->delegate = owner;
    screen->tapDelegate = owner;
    screen->touchBarDelegate = owner;
    screen->usernameClickDelegate = owner;
  }
  void TearDown() override {
    screen->contentCollectionView->reset();
    ScreenFixture::TearDown();
  }
  void show() { window->contentView()->addSubview(screen->view()); }
  void search(const std::string& term) { screen->setRequester(VNStreamRequester::getForTermWithTerm(term)); }
  bool settled() { return runUntil([&] { return !screen->contentCollectionView->fetchLock(); }); }
  bool labelShown() { return !screen->noResultsLabel.lock()->isHidden(); }
  const auto& results() { return screen->contentCollectionView->mainSection(); }
  // Clicks a tile away from its centre, where its (invisible) confirmation label lies.
  void clickTile(std::size_t index) { ui.click(tileAt(index)->view(), NSMakePoint(30, 30)); }
  std::shared_ptr<GifCell> tileAt(std::size_t index) {
    auto collection = screen->contentCollectionView->mainCollectionView.lock();
    return std::dynamic_pointer_cast<GifCell>(collection->itemAtIndexPath({index, 0}));
  }

  std::shared_ptr<SearchViewController> screen = SearchViewController::make();
  std::shared_ptr<SearchOwner> owner = std::make_shared<SearchOwner>();
  UISimulator ui;
};

TEST_F(SearchViewControllerTest, ARequesterSetBeforeTheViewLoadsFetchesWhenItLoads) {
  search("cats");
  EXPECT_FALSE(screen->isViewLoaded());
  EXPECT_EQ(requests("/v1/search"), 0u);
  show();
  ASSERT_TRUE(settled());
  ASSERT_FALSE(results().empty());
  EXPECT_EQ(owner->heard, std::vector<std::string>{"page of " + std::to_string(results().size())});
  EXPECT_FALSE(labelShown());
  EXPECT_DUMP(dumpViewTree(screen->view(), {.skipHidden = true, .maxDepth = 6}), "browse/expected/search-results.txt");
}

TEST_F(SearchViewControllerTest, ASearchWithoutResultsShowsTheLabelUntilTheNextSearchStarts) {
  show();
  search("qqqzzz");
  ASSERT_TRUE(runUntil([&] { return labelShown(); }));
  EXPECT_TRUE(results().empty());

  standin().injectFault("/v1/search", Fault::stall(), 1);
  search("cats");
  EXPECT_FALSE(labelShown());  // before its first page arrives
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return !results().empty(); }));
  EXPECT_FALSE(labelShown());
}

TEST_F(SearchViewControllerTest, CopiesAndDropsAreSharesAndOnlySponsoredOnesReachTheAdvertiser) {
  const auto& items = standin().catalogue().items();
  auto sponsor = std::ranges::find_if(items, [](const auto& item) { return item.sponsored() && item.featureText; });
  ASSERT_NE(sponsor, items.end());
  show();
  ASSERT_FALSE(sponsor->tags.empty());
  search(sponsor->tags.front());
  ASSERT_TRUE(settled());
  auto at = std::ranges::find_if(results(), [&](const auto& object) { return asA<VornObject>(object)->vid == sponsor->id; });
  ASSERT_NE(at, results().end());
  const std::size_t sponsored = at - results().begin();
  ASSERT_GT(results().size(), 1u);
  const std::size_t plain = sponsored == 0 ? 1 : 0;
  auto plainVorn = asA<VornObject>(results()[plain]);

  // A drop adds to Recents; a menu copy of a kind the menu never offers counts as a GIF copy.
  screen->successfulDragEndedWithVorn(plainVorn);
  EXPECT_EQ(shares(1).back(), "category=search tag=cats vornIDKey=" + plainVorn->vid);
  EXPECT_EQ(vids(manager()->getRecentsCollection()), std::vector<std::string>{plainVorn->vid});
  screen->didShareFromEllipsesMenuWithShareType(static_cast<EllipsesMenuShareType>(7), plainVorn);
  EXPECT_EQ(shares(2).back(), "category=search tag=cats targetapp=copygif vornIDKey=" + plainVorn->vid);

  clickTile(plain);
  EXPECT_EQ(shares(3).back(), "category=search tag=cats vornIDKey=" + plainVorn->vid);
  EXPECT_EQ(advertisedShares(), 0u);
  EXPECT_EQ(tileAt(plain)->copyConfirmContainer.lock()->alphaValue(), 1.0);
  ui.advance(3.0);
  EXPECT_EQ(tileAt(plain)->copyConfirmContainer.lock()->alphaValue(), 0.0);

  clickTile(sponsored);
  EXPECT_EQ(shares(4).back(), "category=search tag=cats vornIDKey=" + sponsor->id);
  EXPECT_EQ(advertisedShares(), 1u);

  EXPECT_EQ(screen->getDragLinkWithItem(tileAt(plain)), plainVorn->webUrl());
  EXPECT_EQ(screen->getDragLinkWithItem(NSCollectionViewItem::make()), std::nullopt);
}

}  // namespace
