// Drag and drop through the simulator: a view that drags a lazily provided item out to
// other programs (or cancels), drops of other programs' data on a registered view, a drag
// that wanders between destinations, blank places and windows, and a drag from one window of
// the application to another.

#include <gtest/gtest.h>

#include <map>

#include "platform/appkit/DragDestinationTracker.h"
#include "platform/appkit/NSDraggingInfo.h"
#include "platform/appkit/NSDraggingItem.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSString.h"
#include "tests/support/UISimulator.h"

namespace {

// Drags one item offering a GIF, a file URL and a link, each provided on request.
class DragSourceView : public NSView, public NSDraggingSource, public NSPasteboardItemDataProvider {
 public:
  static std::shared_ptr<DragSourceView> make(NSRect frame) {
    return finishInit(std::shared_ptr<DragSourceView>(new DragSourceView(frame)));
  }
  NSDragOperation outsideMask = NSDragOperationCopy;
  std::map<std::string, int> asked;
  std::vector<NSDragOperation> ended;
  int drags = 0;

  void mouseDragged(const std::shared_ptr<NSEvent>& event) override {
    ++drags;
    auto item = NSPasteboardItem::make();
    auto self = sharedAs<DragSourceView>();
    item->setDataProvider(self, {kUTTypeGIF, kUTTypeFileURL, kUTTypePlainText});
    auto dragging = NSDraggingItem::initWithPasteboardWriter(item);
    dragging->setDraggingFrame(NSMakeRect(0, 0, 1, 1), nullptr);
    beginDraggingSessionWithItems({dragging}, event, self);
  }
  NSDragOperation draggingSession(const std::shared_ptr<NSDraggingSession>&, NSDraggingContext context) override {
    return context == NSDraggingContext::outsideApplication ? outsideMask : NSDragOperationCopy;
  }
  void draggingSession(const std::shared_ptr<NSDraggingSession>&, NSPoint, NSDragOperation operation) override {
    ended.push_back(operation);
  }
  void pasteboard(const std::shared_ptr<NSPasteboard>& pasteboard, const std::shared_ptr<NSPasteboardItem>&,
                  const NSPasteboardType& type) override {
    ++asked[type];
    if (type == kUTTypeGIF) pasteboard->setData(NSData::fromString("GIF89a-bytes"), type);
    if (type == kUTTypeFileURL) pasteboard->setString("file:///cache/tiny.gif", type);
    if (type == kUTTypePlainText) pasteboard->setString("https://z.example/view/1", type);
  }

 private:
  using NSView::NSView;
};

// Takes GIF data or a list of file names, as an upload target does, and logs what it hears.
class DropTargetView : public NSView {
 public:
  static std::shared_ptr<DropTargetView> make(NSRect frame) {
    auto view = finishInit(std::shared_ptr<DropTargetView>(new DropTargetView(frame)));
    view->registerForDraggedTypes({NSFilenamesPboardType, NSURLPboardType, kUTTypeGIF});
    return view;
  }
  std::vector<std::string> log;
  std::vector<long> numbers;

  NSDragOperation draggingEntered(const std::shared_ptr<NSDraggingInfo>& info) override {
    log.push_back("entered");
    numbers.push_back(info->draggingSequenceNumber());
    return info->draggingPasteboard()->types().empty() ? NSDragOperationNone : NSDragOperationCopy;
  }
  void draggingExited(const std::shared_ptr<NSDraggingInfo>&) override { log.push_back("exited"); }
  void draggingEnded(const std::shared_ptr<NSDraggingInfo>&) override { log.push_back("ended"); }
  bool performDragOperation(const std::shared_ptr<NSDraggingInfo>& info) override {
    numbers.push_back(info->draggingSequenceNumber());
    auto pasteboard = info->draggingPasteboard();
    if (auto gif = pasteboard->dataForType(kUTTypeGIF)) {
      log.push_back("gif " + gif->string());
      return true;
    }
    auto list = asA<NSArray>(pasteboard->propertyListForType(NSFilenamesPboardType));
    if (!list) {
      log.push_back("refused");
      return false;
    }
    std::string files = "files";
    for (auto& path : *list) files += " " + asA<NSString>(path)->string();
    log.push_back(files);
    return true;
  }

 private:
  using NSView::NSView;
};

std::shared_ptr<NSWindow> windowWith(const std::shared_ptr<NSView>& view, NSPoint origin) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(origin.x, origin.y, 200, 200), NSWindowStyleMaskBorderless);
  window->contentView()->addSubview(view);
  window->makeKeyAndOrderFront(nullptr);
  return window;
}

std::shared_ptr<NSPasteboardItem> itemWith(const NSPasteboardType& type, std::string bytes) {
  auto item = NSPasteboardItem::make();
  item->setData(NSData::fromString(bytes), type);
  return item;
}

class DragAndDropTest : public UITest {};

TEST_F(DragAndDropTest, ADragOutGivesEachProgramTheTypesItReadsAskingOnceForEach) {
  struct Case {
    std::optional<DropTarget> target;
    NSDragOperation outsideMask;
    NSDragOperation operation;
    std::map<std::string, std::optional<std::string>> read;
    std::map<std::string, int> asked;
  };
  const Case table[] = {
      {DropTarget{"Mail", {kUTTypePlainText}}, NSDragOperationCopy, NSDragOperationCopy,
       {{kUTTypePlainText, "https://z.example/view/1"}}, {{kUTTypePlainText, 1}}},
      {DropTarget{"Files", {kUTTypeGIF, kUTTypeFileURL, kUTTypeGIF}}, NSDragOperationCopy, NSDragOperationCopy,
       {{kUTTypeGIF, "GIF89a-bytes"}, {kUTTypeFileURL, "file:///cache/tiny.gif"}}, {{kUTTypeGIF, 1}, {kUTTypeFileURL, 1}}},
      {DropTarget{"Viewer", {"application/pdf"}}, NSDragOperationCopy, NSDragOperationNone,
       {{"application/pdf", std::nullopt}}, {}},
      {DropTarget{"Mover", {kUTTypeGIF}, NSDragOperationMove}, NSDragOperationCopy, NSDragOperationNone,
       {{kUTTypeGIF, "GIF89a-bytes"}}, {{kUTTypeGIF, 1}}},
      {std::nullopt, NSDragOperationCopy, NSDragOperationNone, {}, {}},
  };
  for (const auto& row : table) {
    auto source = DragSourceView::make(NSMakeRect(20, 20, 100, 100));
    auto window = windowWith(source, {0, 0});
    source->outsideMask = row.outsideMask;
    auto outcome = ui.dragOut(source, row.target);
    std::string name = row.target ? row.target->application : "cancel";
    EXPECT_TRUE(outcome.began) << name;
    EXPECT_EQ(outcome.operation, row.operation) << name;
    EXPECT_EQ(outcome.read, row.read) << name;
    EXPECT_EQ(source->asked, row.asked) << name;
    EXPECT_EQ(source->ended, std::vector<NSDragOperation>{row.operation}) << name << ": the source hears the end once";
    EXPECT_EQ(source->drags, 1) << name << ": the drag owns the pointer once it began";
    EXPECT_EQ(NSDraggingSession::current(), nullptr);
  }
}

TEST_F(DragAndDropTest, OtherProgramsDropsReachTheRegisteredViewUnderThePointer) {
  struct Case {
    const char* name;
    std::vector<std::shared_ptr<NSPasteboardItem>> items;
    NSDragOperation allowed;
    NSDragOperation performed;
    std::vector<std::string> log;
  };
  const Case table[] = {
      {"gif data wins over files",
       {itemWith(NSFilenamesPboardType, "file:///a.gif\r\n"), itemWith(kUTTypeGIF, "GIF87a")},
       NSDragOperationCopy | NSDragOperationMove, NSDragOperationCopy, {"entered", "gif GIF87a", "ended"}},
      {"a file list", {itemWith(NSFilenamesPboardType, "file:///home/u/a.gif\r\nfile:///home/u/b%20c.gif\r\n")},
       NSDragOperationEvery, NSDragOperationCopy, {"entered", "files /home/u/a.gif /home/u/b c.gif", "ended"}},
      {"a file list that is no text", {itemWith(NSFilenamesPboardType, std::string("\xff\0\x01", 3))},
       NSDragOperationCopy, NSDragOperationNone, {"entered", "refused", "ended"}},
      {"only text: no destination", {itemWith(kUTTypePlainText, "hello")}, NSDragOperationCopy, NSDragOperationNone, {}},
      {"the source allows no copy", {itemWith(kUTTypeGIF, "GIF87a")}, NSDragOperationMove, NSDragOperationNone,
       {"entered", "exited", "ended"}},
  };
  for (const auto& row : table) {
    auto target = DropTargetView::make(NSMakeRect(50, 50, 100, 100));
    auto window = windowWith(target, {0, 0});
    EXPECT_EQ(ui.dropFromOtherApplication(target, row.items, row.allowed), row.performed) << row.name;
    EXPECT_EQ(target->log, row.log) << row.name;
    EXPECT_EQ(ui.dropFromOtherApplication(target, {}, row.allowed), NSDragOperationNone) << "nothing offered";
  }
}

TEST_F(DragAndDropTest, ADestinationThePointerLeavesForAnotherOrForNoneHearsItExit) {
  auto left = DropTargetView::make(NSMakeRect(10, 50, 80, 100));
  auto right = DropTargetView::make(NSMakeRect(110, 50, 80, 100));
  auto window = windowWith(left, {0, 0});
  window->contentView()->addSubview(right);
  auto elsewhere = DropTargetView::make(NSMakeRect(0, 0, 200, 200));
  auto otherWindow = windowWith(elsewhere, {600, 600});
  auto pasteboard = NSPasteboard::pasteboardWithName(NSPasteboardNameDrag);
  pasteboard->installForeignContents({itemWith(kUTTypeGIF, "GIF87a")});
  auto drag = DragDestinationTracker::forOtherApplication(pasteboard, NSDragOperationCopy);
  const NSPoint inLeft{50, 100}, inRight{150, 100}, blank{100, 20};
  struct Step {
    std::shared_ptr<NSWindow> window;  // none: the pointer left the application's windows
    NSPoint at;
    NSDragOperation offered;
  };
  const std::vector<Step> steps = {
      {window, inLeft, NSDragOperationCopy},  {window, {52, 101}, NSDragOperationCopy},
      {window, inRight, NSDragOperationCopy}, {window, blank, NSDragOperationNone},
      {window, inLeft, NSDragOperationCopy},  {nullptr, {}, NSDragOperationNone},
      {window, inLeft, NSDragOperationCopy},  {otherWindow, {100, 100}, NSDragOperationCopy},
      {window, inLeft, NSDragOperationCopy},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (!steps[i].window) {
      drag->leave();
      continue;
    }
    EXPECT_EQ(drag->moveTo(steps[i].window, steps[i].at), steps[i].offered) << "step " << i;
  }
  EXPECT_EQ(drag->drop(), NSDragOperationCopy);
  EXPECT_EQ(left->log, (std::vector<std::string>{"entered", "exited", "entered", "exited", "entered", "exited",
                                                 "entered", "gif GIF87a", "ended"}));
  EXPECT_EQ(right->log, (std::vector<std::string>{"entered", "exited"}));
  EXPECT_EQ(elsewhere->log, (std::vector<std::string>{"entered", "exited"}));
}

TEST_F(DragAndDropTest, ADragBetweenTwoWindowsOfTheApplicationDropsOnce) {
  auto source = DragSourceView::make(NSMakeRect(20, 20, 100, 100));
  auto sourceWindow = windowWith(source, {0, 0});
  auto target = DropTargetView::make(NSMakeRect(50, 50, 100, 100));
  auto targetWindow = windowWith(target, {600, 600});

  auto outcome = ui.dragOut(source, DropTarget{.view = target});
  EXPECT_EQ(outcome.operation, NSDragOperationCopy);
  EXPECT_EQ(target->log, (std::vector<std::string>{"entered", "gif GIF89a-bytes", "ended"}));
  EXPECT_EQ(source->ended, std::vector<NSDragOperation>{NSDragOperationCopy});
  EXPECT_EQ(source->asked, (std::map<std::string, int>{{kUTTypeGIF, 1}}));
  ASSERT_EQ(target->numbers.size(), 2u);
  EXPECT_EQ(target->numbers[0], target->numbers[1]) << "one drag, one number";

  ui.dragOut(source, DropTarget{.view = target});
  EXPECT_GT(target->numbers.back(), target->numbers[0]) << "each drag has a number of its own";
}

}  // namespace
