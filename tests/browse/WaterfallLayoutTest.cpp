// The waterfall layout: the worked cases, the mended faults, and the incremental and
// indexed answers against the step-by-step oracle on random grids.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "tests/browse/WaterfallGrid.h"
#include "tests/browse/WaterfallOracle.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/ViewDump.h"

namespace {

class WaterfallLayoutTest : public GlimdeckTest {};

std::vector<NSIndexPath> pathsOf(const NSCollectionViewLayoutAttributesList& list, bool headers) {
  std::vector<NSIndexPath> paths;
  for (const auto& a : list)
    if ((a->representedElementCategory() == NSCollectionElementCategory::supplementaryView) == headers)
      paths.push_back(a->indexPath());
  std::sort(paths.begin(), paths.end());
  return paths;
}

// The layout's frames with its stream lengths, checked against the layout's own rules.
std::string dump(WaterfallGrid& grid) {
  std::string out = dumpCollectionLayout(*grid.view) + "streams";
  for (double length : grid.layout->streamLength()) out += " " + dumpNumber(length);
  for (const auto& violation : grid.layout->invariantViolations()) out += "\nviolation: " + violation;
  return out + "\n";
}

// Worked grids: columns into the shortest stream, wide items spanning every stream from the
// expansion ratio on, rows along x, and headers that level the streams (or, without header
// sizes, take no room).
TEST_F(WaterfallLayoutTest, WorkedGridsMatchTheirDumps) {
  struct Case {
    const char* name;
    NSRect frame;
    std::function<void(WaterfallGrid&)> setUp;
  };
  std::vector<Case> cases{
      {"columns", NSMakeRect(0, 0, 300, 500),
       [](auto& g) {
         g.layout->setExpansive(false);
         g.sizes->items = {{{200, 100}, {100, 100}, {150, 300}}};
       }},
      {"wide-above-ratio", NSMakeRect(0, 0, 300, 500), [](auto& g) { g.sizes->items = {{{200, 100}, {100, 100}}}; }},
      {"wide-at-ratio", NSMakeRect(0, 0, 300, 500), [](auto& g) { g.sizes->items = {{{130, 100}, {100, 100}}}; }},
      {"wide-below-ratio", NSMakeRect(0, 0, 300, 500), [](auto& g) { g.sizes->items = {{{129, 100}, {100, 100}}}; }},
      {"rows", NSMakeRect(0, 0, 900, 200),
       [](auto& g) {
         g.layout->setDirection(WaterfallLayoutDirection::rows);
         g.sizes->items = {{{100, 50}, {100, 100}}};
       }},
      {"rows-unknown-direction", NSMakeRect(0, 0, 900, 200),
       [](auto& g) {
         g.layout->setDirection(static_cast<WaterfallLayoutDirection>(7));
         g.sizes->items = {{{100, 50}, {100, 100}}};
       }},
      {"headers", NSMakeRect(0, 0, 300, 500),
       [](auto& g) {
         g.layout->setExpansive(false);
         g.sizes->items = {{{150, 100}, {150, 60}}, {{150, 150}}};
         g.sizes->headers = {NSSize{300, 0}, NSSize{300, 20}};
         g.sizes->answersHeaderSizes = true;
       }},
      {"headers-without-sizes", NSMakeRect(0, 0, 300, 500),
       [](auto& g) {
         g.layout->setExpansive(false);
         g.sizes->items = {{{150, 100}, {150, 60}}, {{150, 150}}};
       }},
  };
  for (const auto& c : cases) {
    WaterfallGrid grid(c.frame);
    c.setUp(grid);
    grid.view->reloadData();
    EXPECT_DUMP(dump(grid), std::string("browse/expected/waterfall-") + c.name + ".txt");
  }
}

TEST_F(WaterfallLayoutTest, HeadersAreReturnedOnlyWhenShownAndSized) {
  WaterfallGrid grid(NSMakeRect(0, 0, 300, 500));
  grid.sizes->items = {{{150, 100}, {150, 60}}, {{150, 150}}};
  grid.sizes->headers = {NSSize{300, 0}, NSSize{300, 20}};
  grid.sizes->answersHeaderSizes = true;
  grid.view->reloadData();
  NSRect everything = NSMakeRect(0, 0, 300, 1000);
  EXPECT_TRUE(pathsOf(grid.layout->layoutAttributesForElementsInRect(everything), true).empty());
  grid.sizes->showHeaders = true;
  auto shown = grid.layout->layoutAttributesForElementsInRect(everything);
  EXPECT_EQ(pathsOf(shown, true), (std::vector<NSIndexPath>{{0, 1}}));  // the empty header never meets a rect
  EXPECT_EQ(shown.front()->representedElementKind(), NSCollectionElementKindSectionHeader);
  grid.sizes->answersHeaderSizes = false;
  grid.view->reloadData();
  EXPECT_TRUE(pathsOf(grid.layout->layoutAttributesForElementsInRect(everything), true).empty());
  EXPECT_EQ(grid.layout->layoutAttributesForSupplementaryViewOfKind("any", {0, 1})->frame, NSZeroRect);
}

TEST_F(WaterfallLayoutTest, SettersInvalidateAndTheDelegateDoesNot) {
  WaterfallGrid grid(NSMakeRect(0, 0, 300, 500));
  grid.sizes->items = {{{100, 100}}};
  grid.view->reloadData();
  std::vector<std::function<void(WaterfallLayout&)>> setters = {
      [](auto& l) { l.setStreamCount(3); },         [](auto& l) { l.setCellSpacing(4); },
      [](auto& l) { l.setStreamSpacing(4); },       [](auto& l) { l.setExpansionRatio(2); },
      [](auto& l) { l.setDirection(WaterfallLayoutDirection::rows); }, [](auto& l) { l.setExpansive(false); }};
  for (std::size_t i = 0; i < setters.size(); ++i) {
    grid.view->prepareLayoutIfNeeded();
    ASSERT_FALSE(grid.layout->needsPrepare());
    setters[i](*grid.layout);
    EXPECT_TRUE(grid.layout->needsPrepare()) << "setter " << i;
  }
  grid.view->prepareLayoutIfNeeded();
  grid.layout->delegate = std::make_shared<WaterfallSizes>();
  EXPECT_FALSE(grid.layout->needsPrepare());
}

TEST_F(WaterfallLayoutTest, OnlyAChangeAcrossTheStreamsInvalidatesOnBoundsChange) {
  auto lone = WaterfallLayout::init();
  EXPECT_TRUE(lone->shouldInvalidateLayoutForBoundsChange(NSMakeRect(0, 0, 300, 500)));
  EXPECT_EQ(lone->collectionViewContentSize(), NSZeroSize);
  EXPECT_EQ(lone->layoutAttributesForItemAtIndexPath({0, 0}), nullptr);
  WaterfallGrid grid(NSMakeRect(0, 0, 300, 500));
  EXPECT_FALSE(grid.layout->shouldInvalidateLayoutForBoundsChange(NSMakeRect(0, 40, 300, 900)));
  EXPECT_TRUE(grid.layout->shouldInvalidateLayoutForBoundsChange(NSMakeRect(0, 0, 301, 500)));
  grid.layout->setDirection(WaterfallLayoutDirection::rows);
  EXPECT_FALSE(grid.layout->shouldInvalidateLayoutForBoundsChange(NSMakeRect(0, 0, 301, 500)));
  EXPECT_TRUE(grid.layout->shouldInvalidateLayoutForBoundsChange(NSMakeRect(0, 0, 300, 499)));
}

TEST_F(WaterfallLayoutTest, UnusableItemSizesTakeTheDefaultRatio) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  for (NSSize bad : {NSSize{0, 100}, NSSize{100, 0}, NSSize{0, 0}, NSSize{-50, 100}, NSSize{100, -50}, NSSize{nan, 10},
                     NSSize{10, inf}, NSSize{inf, inf}}) {
    WaterfallGrid grid(NSMakeRect(0, 0, 300, 500));
    grid.sizes->items = {{bad, {100, 100}}};
    grid.view->reloadData();
    EXPECT_EQ(grid.frameOf(0), NSMakeRect(5, 5, 140, 140)) << bad.width << "x" << bad.height;
    EXPECT_EQ(grid.frameOf(1), NSMakeRect(155, 5, 140, 140));
    EXPECT_TRUE(std::isfinite(grid.layout->maxLength()));
  }
}

TEST_F(WaterfallLayoutTest, AbsurdRatiosAndCrampedGridsStayFiniteAndNeverNegative) {
  struct Case {
    NSSize size;
    bool columns;
    NSRect first;
  };
  const Case cases[] = {
      {{1, 1e308}, true, NSMakeRect(5, 5, 140, 149'990)},   // held at a thousand times as tall
      {{1e308, 1}, false, NSMakeRect(5, 5, 249'990, 240)},  // and as wide
      {{1e-300, 1}, true, NSMakeRect(5, 5, 140, 149'990)},
      {{1, 1e-300}, true, NSMakeRect(5, 0.15, 290, 0)},     // spans the streams, 0.3 tall: less than the spacing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size.width << " x " << c.size.height);
    WaterfallGrid grid(NSMakeRect(0, 0, 300, 500));
    grid.layout->setDirection(c.columns ? WaterfallLayoutDirection::columns : WaterfallLayoutDirection::rows);
    grid.sizes->items = {{c.size, c.size, {100, 100}}};
    grid.view->reloadData();
    EXPECT_EQ(grid.frameOf(0), c.first);
    for (std::size_t i = 0; i < 3; ++i) {
      NSRect frame = grid.frameOf(i);
      EXPECT_TRUE(std::isfinite(frame.maxX()) && std::isfinite(frame.maxY())) << i;
    }
    NSSize content = grid.layout->collectionViewContentSize();
    EXPECT_TRUE(std::isfinite(content.width) && std::isfinite(content.height));
  }

  // Streams narrower than the spacing between cells: frames of no size at their centres.
  for (bool columns : {true, false}) {
    WaterfallGrid grid(NSMakeRect(0, 0, 12, 12));
    grid.layout->setDirection(columns ? WaterfallLayoutDirection::columns : WaterfallLayoutDirection::rows);
    grid.layout->setExpansive(false);
    grid.sizes->items = {{{100, 100}, {100, 100}}};
    grid.view->reloadData();
    EXPECT_EQ(grid.frameOf(0), NSMakeRect(3, 3, 0, 0)) << columns;
    EXPECT_EQ(grid.frameOf(1), columns ? NSMakeRect(9, 3, 0, 0) : NSMakeRect(3, 9, 0, 0)) << columns;
  }
}

TEST_F(WaterfallLayoutTest, AStreamCountBelowOneIsOneStream) {
  for (long count : {0L, -3L}) {
    WaterfallGrid grid(NSMakeRect(0, 0, 300, 500));
    grid.layout->setStreamCount(count);
    grid.sizes->items = {{{100, 100}, {300, 100}}};
    grid.view->reloadData();
    EXPECT_EQ(grid.layout->streamLength(), (std::vector<double>{400}));
    EXPECT_EQ(grid.frameOf(1), NSMakeRect(5, 305, 290, 90));
  }
}

TEST_F(WaterfallLayoutTest, AskingForAnUnplacedElementLeavesTheLayoutAlone) {
  WaterfallGrid grid(NSMakeRect(0, 0, 300, 500));
  grid.sizes->items = {{{100, 100}}};
  grid.view->reloadData();
  auto lengths = grid.layout->streamLength();
  EXPECT_EQ(grid.layout->layoutAttributesForItemAtIndexPath({1, 0}), nullptr);
  EXPECT_EQ(grid.layout->layoutAttributesForItemAtIndexPath({0, 4}), nullptr);
  EXPECT_EQ(grid.layout->layoutAttributesForSupplementaryViewOfKind(NSCollectionElementKindSectionHeader, {0, 4}),
            nullptr);
  EXPECT_EQ(grid.layout->streamLength(), lengths);
  EXPECT_EQ(grid.layout->layoutAttributesForElementsInRect(NSMakeRect(0, 0, 300, 1000)).size(), 1u);
}

TEST_F(WaterfallLayoutTest, WithoutADelegateNoItemIsPlaced) {
  WaterfallGrid grid(NSMakeRect(0, 0, 300, 500));
  grid.sizes->items = {{{100, 100}}, {}};
  grid.layout->delegate.reset();
  grid.view->reloadData();
  EXPECT_EQ(grid.layout->layoutAttributesForItemAtIndexPath({0, 0}), nullptr);
  EXPECT_EQ(grid.layout->layoutAttributesForSupplementaryViewOfKind("", {0, 1})->frame, NSZeroRect);
  EXPECT_EQ(grid.layout->maxLength(), 0);
}

// Random grids grown page by page: after every page the frames are bit-identical to the
// oracle's full pass, only the new page was placed, and rectangle queries agree.
TEST_F(WaterfallLayoutTest, IncrementalAndIndexedAnswersEqualTheOracle) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> side(20, 400);
  std::uniform_int_distribution<int> pageSize(1, 60);
  for (long streams : {2L, 4L})
    for (bool expansive : {false, true})
      for (bool columns : {true, false})
        for (int headers : {0, 1, 2}) {
          SCOPED_TRACE(::testing::Message() << streams << " streams, expansive " << expansive << ", columns "
                                            << columns << ", headers " << headers);
          WaterfallGrid grid(NSMakeRect(0, 0, 317, 283));
          grid.layout->setStreamCount(streams);
          grid.layout->setExpansive(expansive);
          grid.layout->setDirection(columns ? WaterfallLayoutDirection::columns : WaterfallLayoutDirection::rows);
          grid.sizes->answersHeaderSizes = headers > 0;
          grid.sizes->showHeaders = headers == 2;
          WaterfallOracle oracle{.streamCount = streams, .columns = columns, .expansive = expansive,
                                 .cross = columns ? 317.0 : 283.0};
          for (int section = 0; section < 3; ++section) {
            NSSize header{side(random), side(random) / 4};
            grid.sizes->items.emplace_back();
            grid.sizes->headers.push_back(header);
            oracle.items.emplace_back();
            oracle.headers.push_back(headers > 0 ? std::optional(header) : std::nullopt);
            grid.view->reloadData();
            for (int page = 0; page < 4; ++page) {
              std::vector<NSSize> sizes(pageSize(random));
              for (auto& size : sizes) size = {side(random), side(random)};
              ASSERT_TRUE(grid.append(sizes));
              ASSERT_EQ(grid.invariantViolations(), std::vector<std::string>{});
              EXPECT_EQ(grid.layout->itemsPlacedByLastPreparation(), sizes.size());
              oracle.items.back().insert(oracle.items.back().end(), sizes.begin(), sizes.end());
            }
          }
          oracle.prepare();
          for (const auto& [path, frame] : oracle.cache) ASSERT_EQ(grid.frameOf(path.item, path.section), frame);
          for (const auto& [path, frame] : oracle.supplementaryCache)
            ASSERT_EQ(grid.layout->layoutAttributesForSupplementaryViewOfKind("", path)->frame, frame);
          EXPECT_EQ(grid.layout->streamLength(), oracle.streamLength);

          std::uniform_real_distribution<double> along(-50, oracle.maxLength() + 50), across(-20, 330),
              extent(0, 400);
          for (int q = 0; q < 200; ++q) {
            NSRect r = columns ? NSMakeRect(across(random), along(random), extent(random) / 2, extent(random))
                               : NSMakeRect(along(random), across(random), extent(random), extent(random) / 2);
            auto answer = grid.layout->layoutAttributesForElementsInRect(r);
            ASSERT_EQ(pathsOf(answer, false), pathsOf(grid.layout->layoutAttributesForElementsInRectByScanning(r), false));
            std::vector<NSIndexPath> items;
            for (const auto& [path, frame] : oracle.elementsInRect(r, false)) items.push_back(path);
            std::sort(items.begin(), items.end());
            ASSERT_EQ(pathsOf(answer, false), items);
            std::vector<NSIndexPath> shownHeaders;
            if (headers == 2)
              for (const auto& [path, frame] : oracle.supplementaryCache)
                if (NSIntersectsRect(frame, r)) shownHeaders.push_back(path);
            ASSERT_EQ(pathsOf(answer, true), shownHeaders);
          }
        }
}

TEST_F(WaterfallLayoutTest, ChangesOtherThanAppendsPlaceEverythingAgain) {
  WaterfallGrid grid(NSMakeRect(0, 0, 300, 500));
  grid.sizes->items = {{{100, 100}, {100, 200}}};
  grid.view->reloadData();
  EXPECT_EQ(grid.layout->itemsPlacedByLastPreparation(), 2u);
  // An insert at the front shifts every item.
  grid.sizes->items[0].insert(grid.sizes->items[0].begin(), NSSize{100, 300});
  ASSERT_TRUE(grid.view->insertItemsAtIndexPaths({{0, 0}}));
  EXPECT_EQ(grid.layout->itemsPlacedByLastPreparation(), 3u);
  EXPECT_EQ(grid.frameOf(0), NSMakeRect(5, 5, 140, 440));
  // A new width places everything again, at once.
  grid.view->setFrame(NSMakeRect(0, 0, 600, 500));
  EXPECT_EQ(grid.layout->itemsPlacedByLastPreparation(), 3u);
  EXPECT_EQ(grid.frameOf(0), NSMakeRect(5, 5, 290, 890));
}

}  // namespace
