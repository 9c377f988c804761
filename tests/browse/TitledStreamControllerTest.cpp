// The titled stream screen against the stand-in and a real store: a local collection at
// once, server packs one after the other with the stored pack kept in step, the back button,
// and the shares it reports.

#include <gtest/gtest.h>

#include <filesystem>

#include "browse/TitledStreamController.h"
#include "collections/Collection.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSTextField.h"
#include "tests/browse/ScreenFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

namespace {

class BackLog : public TitledStreamControllerDelegate {
 public:
  void didTapBack() override { ++backs; }
  int backs = 0;
};

class TitledStreamTest : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    screen->delegate = backLog;
    window->contentView()->addSubview(screen->view());
  }
  void TearDown() override {
    screen->contentCollectionView->reset();
    ScreenFixture::TearDown();
  }
  // A pack of the user's on the stand-in holding catalogue items `first` to `first + count - 1`,
  // and its stored record (empty until its stream fills it).
  std::shared_ptr<Collection> pack(const std::string& name, std::size_t first, std::size_t count) {
    auto id = standin().state().createCollection(name, std::nullopt, true);
    for (std::size_t n = first + count; n-- > first;) standin().state().addToCollection(id, itemId(n));
    auto stored = manager()->createNewCollection(name, false, true);
    stored->setIdentifier(id);
    return stored;
  }
  std::vector<std::string> shown() {
    std::vector<std::string> out;
    for (const auto& object : screen->contentCollectionView->mainSection()) out.push_back(asA<VornObject>(object)->vid);
    return out;
  }
  std::vector<std::string> ids(std::size_t first, std::size_t count) {
    std::vector<std::string> out;
    for (auto n = first; n < first + count; ++n) out.push_back(itemId(n));
    return out;
  }

  std::shared_ptr<TitledStreamController> screen = TitledStreamController::make();
  std::shared_ptr<BackLog> backLog = std::make_shared<BackLog>();
  UISimulator ui;
};

TEST_F(TitledStreamTest, RecentsShowAtOnceWithoutAnyRequest) {
  auto recents = manager()->getRecentsCollection();
  recents->append(item(2));
  recents->append(item(1));
  screen->configureWithCollection(recents);
  EXPECT_EQ(shown(), (std::vector<std::string>{itemId(1), itemId(2)}));
  EXPECT_EQ(requests("/v1/"), 0u);
  EXPECT_DUMP(dumpViewTree(screen->view(), {.skipHidden = true, .maxDepth = 6}), "browse/expected/titled-stream-recents.txt");
}

TEST_F(TitledStreamTest, AnotherPackAfterBackShowsOnlyItsOwnItemsAndTheStoredPackFollowsItsStream) {
  auto a = pack("Pack A", 0, 3);
  auto b = pack("Pack B", 3, 2);
  screen->configureWithCollection(a);
  ASSERT_TRUE(runUntil([&] { return shown().size() == 3; }));
  EXPECT_EQ(shown(), ids(0, 3));
  ASSERT_TRUE(runUntil([&] { return vids(a) == ids(0, 3); }));

  ui.click(screen->view()->subviews().at(1));  // the back button
  EXPECT_EQ(backLog->backs, 1);
  EXPECT_FALSE(screen->view()->superview());

  standin().injectFault("/v1/collection", Fault::stall(), 1);
  window->contentView()->addSubview(screen->view());
  screen->configureWithCollection(b);
  EXPECT_EQ(screen->titleLabel.lock()->stringValue(), "Pack B");
  EXPECT_TRUE(shown().empty());
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return shown().size() == 2; }));
  EXPECT_EQ(shown(), ids(3, 2));
}

TEST_F(TitledStreamTest, CopiesAreSharesOfPacks) {
  auto recents = manager()->getRecentsCollection();
  recents->append(item(0));
  screen->configureWithCollection(recents);
  auto tile = std::dynamic_pointer_cast<GifCell>(screen->contentCollectionView->mainCollectionView.lock()->itemAtIndexPath({0, 0}));
  ASSERT_TRUE(tile);
  ui.click(tile->view(), NSMakePoint(30, 30));
  EXPECT_EQ(shares(1).back(), "category=packs vornIDKey=" + itemId(0));
  EXPECT_EQ(tile->copyConfirmContainer.lock()->alphaValue(), 1.0);
  screen->didShareFromEllipsesMenuWithShareType(EllipsesMenuShareType::copyEmbed, item(0));
  shares(2);  // events arrive in any order: one at a time
  screen->didShareFromEllipsesMenuWithShareType(static_cast<EllipsesMenuShareType>(3), item(0));
  EXPECT_EQ(shares(3), (std::vector<std::string>{"category=packs vornIDKey=" + itemId(0),
                                                 "category=packs targetapp=copyembed vornIDKey=" + itemId(0),
                                                 "category=packs targetapp=copygif vornIDKey=" + itemId(0)}));
}

TEST_F(TitledStreamTest, AClickThatCopiesNothingConfirmsNothing) {
  auto gone = localGif();
  std::filesystem::remove(NSURL::URLWithString(gone->gifUrl)->path());
  auto recents = manager()->getRecentsCollection();
  recents->append(gone);
  screen->configureWithCollection(recents);
  auto tile = std::dynamic_pointer_cast<GifCell>(screen->contentCollectionView->mainCollectionView.lock()->itemAtIndexPath({0, 0}));
  ASSERT_TRUE(tile);
  ui.click(tile->view(), NSMakePoint(30, 30));
  EXPECT_EQ(tile->copyConfirmContainer.lock()->alphaValue(), 0.0);
  EXPECT_FALSE(NSPasteboard::generalPasteboard()->stringForType(kUTTypePlainText));
}

}  // namespace
