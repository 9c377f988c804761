// Collection views: the counts they keep in step with their data source.

#include <gtest/gtest.h>

#include "platform/appkit/NSCollectionView.h"
#include "tests/support/TestEnvironment.h"

namespace {

class Counts : public NSCollectionViewDataSource {
 public:
  std::vector<std::size_t> items;
  std::size_t numberOfSectionsInCollectionView(NSCollectionView&) override { return items.size(); }
  std::size_t numberOfItemsInSection(NSCollectionView&, std::size_t section) override { return items[section]; }
};

class CollectionViewTest : public GlimdeckTest {};

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

}  // namespace
