// The term item and the focused-search header: what they show, as their interfaces build them.

#include <gtest/gtest.h>

#include "browse/FocusedSearchCollectionViewHeader.h"
#include "browse/TermViewController.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSTextField.h"
#include "platform/quartz/CALayer.h"
#include "tests/support/TestEnvironment.h"
#include "ui/NSViewExtensions.h"

namespace {

class TermAndHeaderTest : public GlimdeckTest {};

TEST_F(TermAndHeaderTest, TheTermShowsInTheLabelOnceItIsConnected) {
  auto item = TermViewController::make();
  EXPECT_EQ(item->term(), "");
  item->setTerm("cats");  // no label yet: only stored
  EXPECT_EQ(item->term(), "cats");
  item->loadViewIfNeeded();
  auto label = item->termLabel.lock();
  ASSERT_TRUE(label);
  item->setTerm("dogs");
  EXPECT_EQ(label->stringValue(), "dogs");
  // A view without a background colour keeps square corners.
  EXPECT_FALSE(item->view()->layer() && item->view()->layer()->masksToBounds());
}

// An item whose interface gives its view a background colour before it loads.
class TintedTerm : public TermViewController {
 public:
  static std::shared_ptr<TintedTerm> make() { return std::shared_ptr<TintedTerm>(new TintedTerm()); }
  void awakeFromNib() override { setConvenientBackgroundColor(*view(), NSColor::colorWithRed(0.2, 0.4, 0.6, 1.0)); }
  GLIMDECK_OBJECT(TintedTerm)

 protected:
  TintedTerm() : TermViewController(std::string(Constants::interfaceName)) {}
};

TEST_F(TermAndHeaderTest, ABackgroundColourGivesRoundedCorners) {
  auto item = TintedTerm::make();
  auto layer = item->view()->layer();
  ASSERT_TRUE(layer);
  EXPECT_TRUE(layer->masksToBounds());
  EXPECT_EQ(layer->cornerRadius(), 10.0);
  EXPECT_EQ(layer->backgroundColor(), NSColor::colorWithRed(0.2, 0.4, 0.6, 1.0)->CGColor());
}

TEST_F(TermAndHeaderTest, TheHeaderShowsItsTitleOrNothing) {
  auto nib = NSNib::initWithNibNamed("FocusedSearchCollectionViewHeader");
  ASSERT_TRUE(nib);
  std::vector<std::shared_ptr<NSObject>> objects;
  ASSERT_TRUE(nib->instantiateWithOwner(nullptr, &objects));
  auto header = asA<FocusedSearchCollectionViewHeader>(objects.at(0));
  ASSERT_TRUE(header);
  EXPECT_FALSE(header->titleText());
  auto label = header->titleLabel.lock();
  ASSERT_TRUE(label);
  header->setTitleText("Focus your\nsearch");
  EXPECT_EQ(label->stringValue(), "Focus your\nsearch");
  header->setTitleText(std::nullopt);
  EXPECT_EQ(label->stringValue(), "");
  EXPECT_FALSE(header->titleText());
}

}  // namespace
