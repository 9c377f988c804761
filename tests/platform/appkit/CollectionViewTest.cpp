// Collection views: the counts they keep in step with their data source, the flow layout
// of lists and strips, registration of items and headers, and selection by click.

#include <gtest/gtest.h>

#include "browse/SelectionNotifyingCollectionView.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSCollectionViewFlowLayout.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class Counts : public NSCollectionViewDataSource {
 public:
  std::vector<std::size_t> items;
  std::size_t numberOfSectionsInCollectionView(NSCollectionView&) override { return items.size(); }
  std::size_t numberOfItemsInSection(NSCollectionView&, std::size_t section) override { return items[section]; }
};

class CollectionViewTest : public UITest {};

TEST_F(CollectionViewTest, AnInsertThatDoesNotMatchTheDataSourceIsRefusedLoudly) {
  auto view = NSCollectionView::initWithFrame(NSMakeRect(0, 0, 300, 400));
  auto counts = std::make_shared<Counts>();
  counts->items = {3, 2};
  view->dataSource = counts;
  view->reloadData();
  struct Case {
    std::vector<std::size_t> after;
    NSIndexPathSet inserted;
    bool accepted;
  };
  for (const auto& [after, inserted, accepted] : std::vector<Case>{
           {{3, 2}, {{3, 0}}, false},          // the data source did not grow
           {{5, 2}, {{3, 0}}, false},          // it grew by more than announced
           {{3, 2, 1}, {{0, 2}}, false},       // a section that does not exist
           {{4, 2}, {{7, 0}}, false},          // an item beyond the new end
           {{4, 3}, {{0, 0}, {2, 1}}, true}}) {
    counts->items = after;
    EXPECT_EQ(view->insertItemsAtIndexPaths(inserted), accepted);
    if (!accepted) {
      EXPECT_EQ(view->numberOfItemsInSection(0), 3u);
      EXPECT_TRUE(printedLines().back().starts_with("NSCollectionView: invalid insert refused: "));
    }
  }
  EXPECT_EQ(view->numberOfItemsInSection(0), 4u);
  EXPECT_EQ(view->numberOfItemsInSection(1), 3u);
}

// ---- flow layout ----------------------------------------------------------------------

// Sizes per section and item, header sizes per section; the data source and flow delegate
// of a list or a strip.
class FlowContent : public NSCollectionViewDataSource, public NSCollectionViewDelegateFlowLayout {
 public:
  std::vector<std::vector<NSSize>> items;
  std::vector<NSSize> headers;  // empty: the layout's own header size
  bool fullWidth = false;        // items as wide as the view, as in a list
  std::size_t numberOfSectionsInCollectionView(NSCollectionView&) override { return items.size(); }
  std::size_t numberOfItemsInSection(NSCollectionView&, std::size_t section) override { return items[section].size(); }
  std::optional<NSSize> sizeForItemAtIndexPath(NSCollectionView& view, NSCollectionViewLayout&, NSIndexPath p) override {
    if (fullWidth) return NSSize{view.frame().size.width, items[p.section][p.item].height};
    return items[p.section][p.item];
  }
  std::optional<NSSize> referenceSizeForHeaderInSection(NSCollectionView&, NSCollectionViewLayout&,
                                                        std::size_t section) override {
    if (section >= headers.size()) return std::nullopt;
    return headers[section];
  }
  std::shared_ptr<NSView> viewForSupplementaryElementOfKind(NSCollectionView& view, std::string_view kind,
                                                            NSIndexPath p) override {
    return view.makeSupplementaryViewOfKind(kind, "Header", p);
  }
  std::vector<std::string> selections;
  void didSelectItemsAtIndexPaths(NSCollectionView&, const NSIndexPathSet& paths) override {
    selections.push_back("select " + describe(paths));
  }
  void didDeselectItemsAtIndexPaths(NSCollectionView&, const NSIndexPathSet& paths) override {
    selections.push_back("deselect " + describe(paths));
  }
  static std::string describe(const NSIndexPathSet& paths) {
    std::string text;
    for (const auto& p : paths) text += (text.empty() ? "" : ",") + std::to_string(p.item);
    return text;
  }
};

struct FlowView {
  std::shared_ptr<FlowContent> content = std::make_shared<FlowContent>();
  std::shared_ptr<NSCollectionViewFlowLayout> layout = NSCollectionViewFlowLayout::init();
  std::shared_ptr<NSCollectionView> view;
  std::shared_ptr<NSScrollView> scrollView;

  FlowView(std::shared_ptr<NSCollectionView> collectionView, NSSize viewport) : view(std::move(collectionView)) {
    scrollView = NSScrollView::initWithFrame({NSZeroPoint, viewport});
    view->dataSource = content;
    view->delegate = content;
    view->setCollectionViewLayout(layout);
    scrollView->setDocumentView(view);
  }
};

TEST_F(CollectionViewTest, AVerticalFlowFillsRowsAndStacksThem) {
  FlowView flow(NSCollectionView::initWithFrame(NSMakeRect(0, 0, 330, 200)), NSMakeSize(330, 200));
  flow.layout->setSectionInset(NSEdgeInsetsMake(5, 5, 5, 5));
  flow.layout->setHeaderReferenceSize(NSMakeSize(0, 20));
  // Three items fit across the 320 points inside the insets; the fourth opens a new row,
  // whose shorter item is centred on the row's height.
  flow.content->items = {{{100, 50}, {100, 50}, {100, 50}, {100, 50}, {100, 30}}};
  flow.view->reloadData();
  EXPECT_DUMP(dumpCollectionLayout(*flow.view), "platform/appkit/expected/flow-vertical.txt");
  // Setters invalidate; a new height alone does not, a new width does.
  flow.layout->setMinimumLineSpacing(0);
  EXPECT_DUMP(dumpCollectionLayout(*flow.view), "platform/appkit/expected/flow-vertical-no-line-spacing.txt");
  EXPECT_FALSE(flow.layout->shouldInvalidateLayoutForBoundsChange(NSMakeRect(0, 0, 330, 999)));
  EXPECT_TRUE(flow.layout->shouldInvalidateLayoutForBoundsChange(NSMakeRect(0, 0, 200, 140)));
}

TEST_F(CollectionViewTest, AListTakesItsScrollViewsWidthAndDelegateSizes) {
  FlowView flow(NSCollectionView::initWithFrame(NSMakeRect(0, 0, 100, 100)), NSMakeSize(480, 195));
  flow.layout->setMinimumLineSpacing(0);
  flow.content->items = {std::vector<NSSize>(7, NSSize{480, 65})};
  flow.view->reloadData();
  // Three items in view and two of overdraw below are displayed.
  EXPECT_DUMP(dumpCollectionLayout(*flow.view) + dumpViewTree(flow.scrollView), "platform/appkit/expected/flow-list.txt");
  EXPECT_EQ(flow.view->invariantViolations(), std::vector<std::string>{});
}

TEST_F(CollectionViewTest, AListFollowsItsScrollViewsWidthAndAnInvalidatedLayout) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 480, 400), NSWindowStyleMaskTitled);
  FlowView flow(NSCollectionView::initWithFrame(NSMakeRect(0, 0, 480, 195)), NSMakeSize(480, 195));
  window->contentView()->addSubview(flow.scrollView);
  flow.layout->setMinimumLineSpacing(0);
  flow.content->fullWidth = true;
  flow.content->items = {std::vector<NSSize>(5, NSSize{0, 65})};
  flow.view->reloadData();
  flow.scrollView->setFrameSize(NSMakeSize(300, 195));
  EXPECT_EQ(flow.view->frame().size, NSMakeSize(300, 325));
  EXPECT_EQ(flow.view->itemAtIndexPath({4, 0})->view()->frame(), NSMakeRect(0, 260, 300, 65));
  // New sizes reach the view on the next turn after the layout is invalidated.
  flow.content->items[0].assign(5, NSSize{0, 30});
  flow.layout->invalidateLayout();
  EXPECT_EQ(flow.view->itemAtIndexPath({4, 0})->view()->frame(), NSMakeRect(0, 260, 300, 65));
  drainMainQueue();
  EXPECT_EQ(flow.view->itemAtIndexPath({4, 0})->view()->frame(), NSMakeRect(0, 120, 300, 30));
  EXPECT_EQ(flow.view->frame().size, NSMakeSize(300, 195));
}

TEST_F(CollectionViewTest, AHorizontalStripPlacesHeadersAcrossItsHeight) {
  FlowView flow(NSCollectionView::initWithFrame(NSMakeRect(0, 0, 400, 120)), NSMakeSize(400, 120));
  flow.layout->setScrollDirection(NSCollectionViewScrollDirection::horizontal);
  flow.content->items = {{{240, 120}}, {{140, 70}, {140, 70}}};
  flow.content->headers = {{0, 0}, {100, 80}};
  NSNib::registerBuilder("StripHeader", [](const std::shared_ptr<NSObject>&) {
    return std::vector<std::shared_ptr<NSObject>>{NSTextField::labelWithString("Focus")};
  });
  flow.view->registerNib(NSNib::initWithNibNamed("StripHeader"), NSCollectionElementKindSectionHeader, "Header");
  flow.view->reloadData();
  // The second section starts after its 100-point header, and its two items do not fit in
  // 120 points one above the other; the first section's empty header shows nothing.
  EXPECT_DUMP(dumpCollectionLayout(*flow.view) + dumpViewTree(flow.view), "platform/appkit/expected/flow-strip.txt");
  auto header = flow.view->supplementaryViewForElementKind(NSCollectionElementKindSectionHeader, {0, 1});
  ASSERT_TRUE(asA<NSTextField>(header));
  // A header scrolled away goes back to its pool and comes out again.
  flow.content->items[1].resize(12, NSSize{140, 70});
  flow.view->reloadData();
  flow.scrollView->scrollToPoint(NSMakePoint(1200, 0));
  EXPECT_FALSE(flow.view->supplementaryViewForElementKind(NSCollectionElementKindSectionHeader, {0, 1}));
  EXPECT_EQ(flow.view->invariantViolations(), std::vector<std::string>{});
  flow.scrollView->scrollToPoint(NSMakePoint(0, 0));
  EXPECT_EQ(flow.view->supplementaryViewForElementKind(NSCollectionElementKindSectionHeader, {0, 1}), header);
  NSNib::unregisterBuilder("StripHeader");
}

// A strip in a container that its window's layout folds to nothing and opens again, as a
// panel does with a strip that has nothing to show for a while: reloaded while folded, it
// shows its items once the container has opened, however it grew and whoever laid the strip
// out meanwhile.
TEST_F(CollectionViewTest, AStripShowsItsItemsOnceTheContainerThatHidThemOpens) {
  struct Way {
    const char* name;
    bool byItsSuperviewsLayout;  // else the container's own frame is set
    bool stripLaidOutAloneFirst;  // as a look at its items before the window's pass does
  };
  for (const auto& way : {Way{"the container's frame set", false, false},
                          Way{"placed by its superview's layout", true, false},
                          Way{"placed by its superview's layout after the strip's own", true, true}}) {
    SCOPED_TRACE(way.name);
    auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 300), NSWindowStyleMaskTitled);
    auto root = window->contentView();
    double containerHeight = 0;
    root->layoutHandler = [&](NSView& view) {
      view.subviews().front()->setFrame(NSMakeRect(0, 200, 400, containerHeight));
    };
    auto container = NSView::initWithFrame(NSMakeRect(0, 200, 400, 0));
    root->addSubview(container);
    FlowView flow(NSCollectionView::initWithFrame(NSMakeRect(0, 0, 400, 80)), NSMakeSize(400, 80));
    flow.layout->setScrollDirection(NSCollectionViewScrollDirection::horizontal);
    container->addSubview(flow.scrollView);
    flow.content->items = {{{140, 70}, {140, 70}}};
    flow.view->reloadData();
    window->layoutIfNeeded();
    ASSERT_EQ(flow.view->visibleItems().size(), 0u) << "nothing shows while folded";

    containerHeight = 80;
    if (way.byItsSuperviewsLayout) root->setNeedsLayout(true);
    else container->setFrame(NSMakeRect(0, 200, 400, 80));
    if (way.stripLaidOutAloneFirst) {
      flow.view->setNeedsLayout(true);
      flow.view->layoutSubtreeIfNeeded();
    }
    window->layoutIfNeeded();
    EXPECT_EQ(container->frame().size.height, 80);
    EXPECT_EQ(flow.view->indexPathsForVisibleItems(), (NSIndexPathSet{{0, 0}, {1, 0}}));
    EXPECT_EQ(flow.view->invariantViolations(), std::vector<std::string>{});
  }
}

// ---- registration -----------------------------------------------------------------------

TEST_F(CollectionViewTest, ItemsComeFromTheirInterfaceOrTheirClassAndAreReused) {
  auto view = NSCollectionView::initWithFrame(NSMakeRect(0, 0, 300, 400));
  NSNib::registerBuilder("LabelCell", [](const std::shared_ptr<NSObject>&) {
    auto item = NSCollectionViewItem::make();
    auto label = NSTextField::labelWithString("cell");
    item->setView(label);
    item->textField = label;
    return std::vector<std::shared_ptr<NSObject>>{item, label};
  });
  view->registerNib(NSNib::initWithNibNamed("LabelCell"), "Label");
  auto made = view->makeItemWithIdentifier("Label", {0, 0});
  EXPECT_EQ(made->reuseIdentifier(), "Label");
  EXPECT_EQ(made->textField.lock(), made->view());
  EXPECT_EQ(made->collectionView(), view);

  int built = 0;
  view->registerClass([&built] { ++built; return NSCollectionViewItem::make(); }, "Plain");
  auto plain = view->makeItemWithIdentifier("Plain", {0, 0});
  EXPECT_EQ(built, 1);
  EXPECT_TRUE(plain->isViewLoaded());
  // An identifier nobody registered still gives an item, and says so.
  auto stray = view->makeItemWithIdentifier("Nobody", {0, 0});
  ASSERT_TRUE(stray);
  EXPECT_TRUE(stray->reuseIdentifier().empty());
  EXPECT_EQ(printedLines().back(), "NSCollectionView: no item is registered under the identifier \"Nobody\"");
  // An interface without an item is refused the same way.
  NSNib::registerBuilder("NoItem", [](const std::shared_ptr<NSObject>&) {
    return std::vector<std::shared_ptr<NSObject>>{NSView::make()};
  });
  view->registerNib(NSNib::initWithNibNamed("NoItem"), "Broken");
  EXPECT_TRUE(view->makeItemWithIdentifier("Broken", {0, 0}));
  EXPECT_EQ(printedLines().back(), "NSCollectionView: the interface \"NoItem\" holds no collection-view item");
  NSNib::unregisterBuilder("LabelCell");
  NSNib::unregisterBuilder("NoItem");
}

// ---- selection ----------------------------------------------------------------------------

class Reports : public SelectionNotifyingCollectionViewDelegate {
 public:
  int count = 0;
  void selectedIndexesChangedWithSelectionIndexes(const NSIndexSet&) override { ++count; }
};

TEST_F(CollectionViewTest, ClicksSelectAndTellTheDelegateOnlyWhatChanged) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 300), NSWindowStyleMaskTitled);
  window->makeKeyAndOrderFront(nullptr);
  auto list = SelectionNotifyingCollectionView::initWithFrame(NSMakeRect(0, 0, 300, 300));
  auto reports = std::make_shared<Reports>();
  list->selectionDelegate = reports;
  FlowView flow(list, NSMakeSize(300, 300));
  flow.layout->setMinimumLineSpacing(0);
  flow.content->items = {std::vector<NSSize>(4, NSSize{300, 50})};
  flow.view->reloadData();
  window->contentView()->addSubview(flow.scrollView);
  auto click = [&](std::size_t item, NSEventModifierFlags modifiers = 0) {
    ui.click(flow.view->itemAtIndexPath({item, 0})->view(), std::nullopt, modifiers);
  };

  click(1);  // not selectable yet
  EXPECT_TRUE(flow.content->selections.empty());
  flow.view->selectable = true;
  struct Step {
    std::size_t item;
    NSEventModifierFlags modifiers;
    std::vector<std::string> heard;
    NSIndexSet selection;
  };
  for (const auto& [item, modifiers, heard, selection] : std::vector<Step>{
           {1, 0, {"select 1"}, {1}},
           {1, 0, {}, {1}},                                      // already the selection
           {2, 0, {"deselect 1", "select 2"}, {2}},
           {3, NSEventModifierFlagCommand, {"deselect 2", "select 3"}, {3}},  // no multiple selection
       }) {
    flow.content->selections.clear();
    click(item, modifiers);
    EXPECT_EQ(flow.content->selections, heard) << item;
    EXPECT_EQ(flow.view->selectionIndexes(), selection) << item;
  }
  flow.view->allowsMultipleSelection = true;
  flow.content->selections.clear();
  click(0, NSEventModifierFlagCommand);
  click(3, NSEventModifierFlagShift);
  EXPECT_EQ(flow.content->selections, (std::vector<std::string>{"select 0", "deselect 3"}));
  EXPECT_EQ(flow.view->selectionIndexes(), NSIndexSet{0});
  // Items follow the selection, also one set by code; only the setter reports to the
  // selection delegate.
  EXPECT_TRUE(flow.view->itemAtIndexPath({0, 0})->isSelected());
  EXPECT_FALSE(flow.view->itemAtIndexPath({3, 0})->isSelected());
  EXPECT_EQ(reports->count, 0);
  flow.view->setSelectionIndexes({2});
  EXPECT_TRUE(flow.view->itemAtIndexPath({2, 0})->isSelected());
  EXPECT_FALSE(flow.view->itemAtIndexPath({0, 0})->isSelected());
  EXPECT_EQ(reports->count, 1);
}

}  // namespace
