// Dragging a GIF out of a grid, through the simulator: the data a drop target asks for, the
// notifications, and a drag that never got a session.

#include <gtest/gtest.h>

#include "browse/DraggableAdTrackingCollectionViewController.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "service/GlobalKeys.h"
#include "tests/browse/GifCellFixture.h"
#include "tests/support/UISimulator.h"

namespace {

class RecordingGrid : public DraggableAdTrackingCollectionViewController {
 public:
  static std::shared_ptr<RecordingGrid> make() { return std::shared_ptr<RecordingGrid>(new RecordingGrid()); }
  std::vector<std::string> dropped;
  void reportSuccessfulDragWithDraggedVorn(const std::shared_ptr<VornObject>& vorn) override {
    dropped.push_back(vorn->vid);
  }
};

class DragOutTest : public GifCellFixture {
 protected:
  void SetUp() override {
    GifCellFixture::SetUp();
    NSApplication::resetSharedApplication();
    NSDraggingSession::resetSessions();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 300, 300), NSWindowStyleMaskTitled);
    grid->view()->setFrame(NSMakeRect(0, 0, 300, 300));
    window->contentView()->addSubview(grid->view());
    auto center = NSNotificationCenter::defaultCenter();
    ends = center->addObserverForName(GlobalKeys::dragEndNotificationName, nullptr, nullptr,
                                      [this](const auto&) { ++endCount; });
    beginSessions();
  }
  void TearDown() override {
    NSDraggingSession::resetSessions();
    NSApplication::resetSharedApplication();
    GifCellFixture::TearDown();
  }
  // As the application delegate does: every "dragBegin" begins the session it carries.
  void beginSessions() {
    begins = NSNotificationCenter::defaultCenter()->addObserverForName(
        GlobalKeys::dragBeginNotificationName, nullptr, nullptr, [](const std::shared_ptr<NSNotification>& note) {
          auto values = asA<DraggableAdTrackingCollectionViewController::DragBegin>(note->object());
          values->view->beginDraggingSessionWithItems({values->draggingItem}, values->event, values->source);
        });
  }
  std::shared_ptr<GifCell> draggableTile(const std::shared_ptr<VornObject>& vorn) {
    return shownTile(vorn, grid, grid->view());
  }

  std::shared_ptr<RecordingGrid> grid = RecordingGrid::make();
  std::shared_ptr<NSWindow> window;
  UISimulator ui;
  id begins, ends;
  int endCount = 0;
};

TEST_F(DragOutTest, ADropGetsWhatItAsksForAndACancelPostsTheEnd) {
  auto vorn = item(1);
  AssetCache::shared()->cacheAssetWithData(NSData::fromString("GIF89a tiny"), vorn->tinyGifUrl, ".gif");
  const auto file = AssetCache::shared()->storagePathForKey(vorn->tinyGifUrl)->absoluteString();
  auto cell = draggableTile(vorn);

  auto drop = ui.dragOut(cell->view(), DropTarget{"Editor", {kUTTypeGIF, kUTTypeFileURL, kUTTypePlainText}});
  ASSERT_TRUE(drop.began);
  EXPECT_EQ(drop.operation, NSDragOperationCopy);
  EXPECT_EQ(drop.read[kUTTypeGIF], "GIF89a tiny");
  EXPECT_EQ(drop.read[kUTTypeFileURL].value_or("").substr(0, file.size()), file);
  EXPECT_EQ(drop.read[kUTTypePlainText], vorn->webUrl());
  EXPECT_EQ(grid->dropped, std::vector<std::string>{vorn->vid});
  EXPECT_EQ(endCount, 0);

  auto cancelled = ui.dragOut(cell->view(), std::nullopt);
  ASSERT_TRUE(cancelled.began);
  EXPECT_EQ(endCount, 1);
  EXPECT_EQ(grid->dropped.size(), 1u);
  EXPECT_FALSE(grid->currentDraggingVorn);
}

TEST_F(DragOutTest, ADragThatGotNoSessionLeavesTheNextOneFree) {
  auto cell = draggableTile(item(2));
  begins = nullptr;  // nobody begins sessions
  EXPECT_FALSE(ui.dragOut(cell->view(), std::nullopt).began);
  EXPECT_FALSE(grid->currentDraggingVorn);
  EXPECT_TRUE(grid->canBeginDrag());
  beginSessions();
  EXPECT_TRUE(ui.dragOut(cell->view(), std::nullopt).began);

  auto blank = tile(item(3));  // no media yet: nothing to drag
  blank->delegate = grid;
  grid->view()->addSubview(blank->view());
  EXPECT_FALSE(ui.dragOut(blank->view(), std::nullopt).began);
  EXPECT_FALSE(grid->currentDraggingVorn);
}

}  // namespace
