// The GIF grid as a user scrolls it: which tiles exist, what they are told as they come
// and go, and how the grid's scroll view and collection view answer the wheel and code.

#include <gtest/gtest.h>

#include "platform/appkit/NSWindow.h"
#include "tests/browse/WaterfallGrid.h"
#include "tests/support/UISimulator.h"
#include "ui/NSCollectionViewExtensions.h"

namespace {

using Log = std::vector<std::string>;

std::string name(NSIndexPath p) { return std::to_string(p.section) + "-" + std::to_string(p.item); }

// A tile that writes its life into the log under its own serial number.
class LoggedTile : public NSCollectionViewItem {
 public:
  static std::shared_ptr<LoggedTile> make(std::shared_ptr<Log> log) {
    static int serial = 0;
    auto tile = std::shared_ptr<LoggedTile>(new LoggedTile());
    tile->log = std::move(log);
    tile->number = ++serial;
    return tile;
  }
  void awakeFromNib() override { log->push_back("awake #" + std::to_string(number)); }
  void prepareForReuse() override { log->push_back("reuse #" + std::to_string(number)); }
  std::shared_ptr<Log> log;
  int number = 0;
};

class DisplayLog : public NSCollectionViewDelegate {
 public:
  explicit DisplayLog(std::shared_ptr<Log> log) : log(std::move(log)) {}
  void willDisplayItem(NSCollectionView&, const std::shared_ptr<NSCollectionViewItem>& item, NSIndexPath p) override {
    log->push_back("show " + name(p) + " #" + std::to_string(std::static_pointer_cast<LoggedTile>(item)->number));
  }
  std::shared_ptr<Log> log;
  std::function<void(NSCollectionView&)> onEnd;  // once, from the first end of displaying
  void didEndDisplayingItem(NSCollectionView& view, const std::shared_ptr<NSCollectionViewItem>& item,
                            NSIndexPath p) override {
    log->push_back("end " + name(p) + " #" + std::to_string(std::static_pointer_cast<LoggedTile>(item)->number));
    if (auto action = std::exchange(onEnd, nullptr)) action(view);
  }
};

class GridScrollingTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 400), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    window->contentView()->addSubview(grid.scrollView);
    grid.view->registerClass([log = log] { return LoggedTile::make(log); }, "Tile");
    grid.sizes->makeItem = [](NSCollectionView& view, NSIndexPath p) { return view.makeItemWithIdentifier("Tile", p); };
    grid.view->delegate = display;
    grid.layout->setExpansive(false);
    grid.sizes->items = {randomSizes(200, 7, 80, 400)};
    grid.view->reloadData();
  }
  void wheel(double deltaY) {
    ui.scrollWheel(grid.view, 0, deltaY, NSMakePoint(150, grid.scrollView->contentOffset().y + 10));
    expectSound();
  }
  // The grid's own rules hold after every step of a test.
  void expectSound() { EXPECT_EQ(grid.invariantViolations(), std::vector<std::string>{}); }
  void TearDown() override {
    expectSound();
    UITest::TearDown();
  }
  std::size_t count(const std::string& prefix) const {
    return static_cast<std::size_t>(std::ranges::count_if(*log, [&](const auto& line) { return line.starts_with(prefix); }));
  }

  ScrolledWaterfallGrid grid{NSMakeSize(300, 400)};
  std::shared_ptr<Log> log = std::make_shared<Log>();
  std::shared_ptr<DisplayLog> display = std::make_shared<DisplayLog>(log);
  std::shared_ptr<NSWindow> window;
};

TEST_F(GridScrollingTest, ScrollingMaterialisesExactlyTheItemsMeetingTheVisibleRect) {
  EXPECT_EQ(grid.view->frame().size.height, grid.layout->maxLength());  // the document is the content
  for (double step : {-37.0, -120.0, -400.0, -5.0, 250.0, -900.0, -100000.0, 333.0}) {
    wheel(step);
    auto expected = grid.itemsMeetingVisibleRect();
    ASSERT_FALSE(expected.empty());
    // Frames, parents and paths of the displayed tiles are the grid's invariants, checked by wheel.
    EXPECT_EQ(grid.view->indexPathsForVisibleItems(), expected) << "at offset " << grid.scrollView->contentOffset().y;
  }
  // Only the displayed tiles and a few pooled ones were ever built.
  EXPECT_LT(count("awake"), 40u);
}

TEST_F(GridScrollingTest, APlainCollectionViewPreparesAheadOfTheVisibleRect) {
  auto plain = NSCollectionView::initWithFrame(NSMakeRect(0, 0, 300, 400));
  auto scrollView = NSScrollView::initWithFrame(NSMakeRect(0, 0, 300, 400));
  auto layout = WaterfallLayout::init();
  layout->setExpansive(false);
  layout->delegate = grid.sizes;
  plain->dataSource = grid.sizes;
  plain->setCollectionViewLayout(layout);
  scrollView->setDocumentView(plain);
  scrollView->scrollToPoint(NSMakePoint(0, 1000));
  grid.scrollView->scrollToPoint(NSMakePoint(0, 1000));
  auto visible = grid.itemsMeetingVisibleRect();
  auto prepared = plain->indexPathsForVisibleItems();
  EXPECT_TRUE(std::ranges::includes(prepared, visible));
  EXPECT_GT(prepared.size(), visible.size());
  EXPECT_EQ(grid.view->indexPathsForVisibleItems(), visible);
}

TEST_F(GridScrollingTest, LeavingItemsEndDisplayingBeforeTheyAreReused) {
  for (int i = 0; i < 30; ++i) wheel(-60);
  ASSERT_GT(count("reuse"), 0u);
  // Each reuse of a tile follows its end of displaying, and each showing follows a build
  // or a reuse of that tile; a tile is never shown twice at once.
  std::map<std::string, std::string> state;  // tile -> last event
  for (const auto& line : *log) {
    auto tile = line.substr(line.find('#'));
    auto event = line.substr(0, line.find(' '));
    if (event == "reuse") { EXPECT_EQ(state[tile], "end") << line; }
    if (event == "show") { EXPECT_TRUE(state[tile] == "awake" || state[tile] == "reuse") << line; }
    if (event == "end") { EXPECT_EQ(state[tile], "show") << line; }
    state[tile] = event;
  }
}

TEST_F(GridScrollingTest, AReloadFromADisplayCallbackEndsEachItemOnce) {
  int reloads = 0;
  display->onEnd = [&reloads](NSCollectionView& view) {
    ++reloads;
    view.reloadData();
  };
  wheel(-800);
  ASSERT_GT(reloads, 0) << "the scroll ended no item's display";
  std::map<std::string, int> ends;
  for (const auto& line : *log)
    if (line.starts_with("end")) { EXPECT_EQ(++ends[line.substr(line.find('#'))], 1) << line; }
  EXPECT_FALSE(ends.empty());
  auto items = grid.view->visibleItems();
  EXPECT_EQ(std::set(items.begin(), items.end()).size(), items.size());
  EXPECT_EQ(grid.view->indexPathsForVisibleItems(), grid.itemsMeetingVisibleRect());
}

TEST_F(GridScrollingTest, ReloadDataEndsDisplayingEverythingVisible) {
  wheel(-500);
  auto before = grid.view->indexPathsForVisibleItems();
  log->clear();
  grid.view->reloadData();
  std::size_t firstShow = std::ranges::find_if(*log, [](const auto& l) { return l.starts_with("show"); }) - log->begin();
  for (const auto& path : before) {
    auto end = std::ranges::find_if(*log, [&](const auto& l) { return l.starts_with("end " + name(path) + " "); });
    ASSERT_NE(end, log->end()) << name(path);
    EXPECT_LT(static_cast<std::size_t>(end - log->begin()), firstShow);
  }
  EXPECT_EQ(grid.view->indexPathsForVisibleItems(), grid.itemsMeetingVisibleRect());
}

TEST_F(GridScrollingTest, AGridThatShrinksUnderTheScrollPositionShowsItsNewEnd) {
  wheel(-100000);
  grid.sizes->items[0].resize(20);
  grid.view->reloadData();
  EXPECT_EQ(grid.view->frame().size.height, grid.layout->maxLength());
  EXPECT_EQ(grid.scrollView->contentOffset().y, grid.layout->maxLength() - 400);
  EXPECT_TRUE(grid.view->indexPathsForVisibleItems().contains({19, 0}));
  EXPECT_EQ(grid.view->indexPathsForVisibleItems(), grid.itemsMeetingVisibleRect());
}

TEST_F(GridScrollingTest, ADisabledScrollViewIgnoresTheWheelButScrollsByCode) {
  auto before = grid.view->indexPathsForVisibleItems();
  grid.scrollView->isEnabled = false;
  wheel(-300);
  EXPECT_EQ(grid.scrollView->contentOffset(), NSMakePoint(0, 0));
  EXPECT_EQ(grid.view->indexPathsForVisibleItems(), before);

  grid.view->scrollToItemsAtIndexPaths({{150, 0}}, NSCollectionViewScrollPositionTop);
  EXPECT_EQ(grid.scrollView->contentOffset().y, grid.layout->layoutAttributesForItemAtIndexPath({150, 0})->frame.minY());
  EXPECT_TRUE(grid.view->indexPathsForVisibleItems().contains({150, 0}));
  EXPECT_EQ(grid.view->indexPathsForVisibleItems(), grid.itemsMeetingVisibleRect());

  grid.scrollView->isEnabled = true;
  double offset = grid.scrollView->contentOffset().y;
  wheel(-100);
  EXPECT_EQ(grid.scrollView->contentOffset().y, offset + 100);
}

TEST_F(GridScrollingTest, ScrollingToItemsPlacesThemWhereAsked) {
  auto frame = grid.layout->layoutAttributesForItemAtIndexPath({60, 0})->frame;
  struct Case {
    NSCollectionViewScrollPosition position;
    double offset;
  };
  for (const auto& [position, offset] :
       std::vector<Case>{{NSCollectionViewScrollPositionBottom, frame.maxY() - 400},
                         {NSCollectionViewScrollPositionCenteredVertically, frame.midY() - 200},
                         {NSCollectionViewScrollPositionTop, frame.minY()},
                         // from above: as little as shows it, at the bottom edge
                         {NSCollectionViewScrollPositionNearestHorizontalEdge, frame.maxY() - 400}}) {
    grid.scrollView->scrollToPoint(NSMakePoint(0, position == NSCollectionViewScrollPositionNearestHorizontalEdge ? 0 : 1));
    grid.view->scrollToItemsAtIndexPaths({{60, 0}}, position);
    EXPECT_DOUBLE_EQ(grid.scrollView->contentOffset().y, offset) << position;
  }
  // An item already in view does not move with the nearest edge.
  grid.view->scrollToItemsAtIndexPaths({{60, 0}}, NSCollectionViewScrollPositionNearestHorizontalEdge);
  EXPECT_DOUBLE_EQ(grid.scrollView->contentOffset().y, frame.maxY() - 400);
}

TEST_F(GridScrollingTest, AnInsertThatDoesNotMatchTheDataSourceIsRefusedAndChangesNothing) {
  auto visible = grid.view->indexPathsForVisibleItems();
  auto height = grid.view->frame().size.height;
  log->clear();
  grid.sizes->items[0].push_back({100, 100});  // one new item, two announced
  EXPECT_FALSE(grid.view->insertItemsAtIndexPaths({{200, 0}, {201, 0}}));
  EXPECT_TRUE(printedLines().back().starts_with("NSCollectionView: invalid insert refused: "));
  EXPECT_EQ(grid.view->numberOfItemsInSection(0), 200u);
  EXPECT_EQ(grid.view->indexPathsForVisibleItems(), visible);
  EXPECT_EQ(grid.view->frame().size.height, height);
  EXPECT_TRUE(log->empty());
  // The matching insert grows the grid, and the new item shows once scrolled to.
  EXPECT_TRUE(grid.view->insertItemsAtIndexPaths({{200, 0}}));
  expectSound();
  EXPECT_GT(grid.view->frame().size.height, height);
  grid.view->scrollToItemsAtIndexPaths({{200, 0}}, NSCollectionViewScrollPositionBottom);
  EXPECT_TRUE(grid.view->itemAtIndexPath({200, 0}));
}

TEST_F(GridScrollingTest, AnInsertInTheMiddleMovesTheDisplayedItemsOn) {
  auto first = grid.view->itemAtIndexPath({0, 0});
  ASSERT_TRUE(first);
  grid.sizes->items[0].insert(grid.sizes->items[0].begin(), NSSize{300, 10});
  ASSERT_TRUE(grid.view->insertItemsAtIndexPaths({{0, 0}}));
  expectSound();
  EXPECT_EQ(grid.view->indexPathForItem(first), (NSIndexPath{1, 0}));
  EXPECT_EQ(grid.view->indexPathsForVisibleItems(), grid.itemsMeetingVisibleRect());
}

TEST_F(GridScrollingTest, ItemAtIndexPathNeverMakesAnItem) {
  log->clear();
  EXPECT_FALSE(grid.view->itemAtIndexPath({190, 0}));
  EXPECT_FALSE(grid.view->itemAtIndexPath({5, 3}));
  EXPECT_TRUE(log->empty());
  EXPECT_EQ(grid.view->itemAtIndexPath({0, 0}), grid.view->visibleItems().front());
}

TEST_F(GridScrollingTest, ReloadingItemsMakesTheVisibleOnesAnew) {
  auto old = grid.view->itemAtIndexPath({1, 0});
  log->clear();
  grid.view->reloadItemsAtIndexPaths({{1, 0}, {190, 0}});
  expectSound();
  ASSERT_EQ(log->size(), 3u);  // end, reuse of the same tile from the pool, show
  EXPECT_TRUE(log->at(0).starts_with("end 0-1 "));
  EXPECT_TRUE(log->at(1).starts_with("reuse"));
  EXPECT_TRUE(log->at(2).starts_with("show 0-1 "));
  EXPECT_EQ(grid.view->itemAtIndexPath({1, 0}), old);
}

TEST_F(GridScrollingTest, ACellIsFullyVisibleOnlyWhenNothingOfItIsCut) {
  grid.scrollView->scrollToPoint(NSMakePoint(0, 700));
  NSRect visible = grid.scrollView->documentVisibleRect();
  std::optional<NSIndexPath> whole, cut;
  for (const auto& path : grid.view->indexPathsForVisibleItems()) {
    NSRect frame = grid.layout->layoutAttributesForItemAtIndexPath(path)->frame;
    bool inside = frame.minY() >= visible.minY() && frame.maxY() <= visible.maxY();
    (inside ? whole : cut) = path;
  }
  ASSERT_TRUE(whole && cut);
  EXPECT_TRUE(isCellFullyVisibleAt(grid.view, *whole));
  EXPECT_FALSE(isCellFullyVisibleAt(grid.view, *cut));
  EXPECT_FALSE(isCellFullyVisibleAt(grid.view, {0, 0}));  // scrolled away, not displayed
  grid.scrollView->setDocumentView(nullptr);
  EXPECT_TRUE(grid.view->visibleItems().empty());  // out of the view tree, nothing shows
  auto holder = NSView::initWithFrame(NSMakeRect(0, 0, 300, 400));
  holder->addSubview(grid.view);
  auto shown = grid.view->indexPathsForVisibleItems();
  ASSERT_FALSE(shown.empty());
  EXPECT_FALSE(isCellFullyVisibleAt(grid.view, *shown.begin()));  // shown, but in no scroll view
  grid.view->removeFromSuperview();  // before the holder goes
}

}  // namespace
