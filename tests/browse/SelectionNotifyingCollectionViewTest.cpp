// Every setting of the selection is reported, also a repeated or an empty one.

#include <gtest/gtest.h>

#include "browse/SelectionNotifyingCollectionView.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct Listener : SelectionNotifyingCollectionViewDelegate {
  std::vector<NSIndexSet> heard;
  void selectedIndexesChangedWithSelectionIndexes(const NSIndexSet& indexes) override { heard.push_back(indexes); }
};

class SelectionNotifyingCollectionViewTest : public GlimdeckTest {};

TEST_F(SelectionNotifyingCollectionViewTest, EverySettingIsReportedWithTheSelectionAfterIt) {
  auto view = SelectionNotifyingCollectionView::initWithFrame(NSMakeRect(0, 0, 300, 40));
  view->setSelectionIndexes({1});  // nobody listens yet
  auto listener = std::make_shared<Listener>();
  view->selectionDelegate = listener;
  view->setSelectionIndexes({2});
  view->setSelectionIndexes({2});
  view->setSelectionIndexes({});
  EXPECT_EQ(listener->heard, (std::vector<NSIndexSet>{{2}, {2}, {}}));
  EXPECT_TRUE(view->selectionIndexes().empty());
  listener.reset();
  view->setSelectionIndexes({3});  // a released delegate is simply gone
  EXPECT_EQ(view->selectionIndexes(), NSIndexSet{3});
}

}  // namespace
