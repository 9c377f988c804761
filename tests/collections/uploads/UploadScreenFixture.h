#pragma once
// The upload screen in a window of its own, against the stand-in, with a signed-in user,
// the simulator's desktop and an application delegate that records what the screen asks
// of the popover.

#include <fstream>

#include "collections/PopoverPresenter.h"
#include "collections/UploadViewController.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSDraggingSession.h"
#include "platform/appkit/NSWindow.h"
#include "platform/quartz/CALayer.h"
#include "ui/QLXButton.h"
#include "standin/GifMaker.h"
#include "tests/collections/CollectionsFixture.h"
#include "tests/support/UISimulator.h"
#include "tests/support/ViewDump.h"

class UploadScreenTest : public CollectionsTest {
 protected:
  struct Popover : NSApplicationDelegate, PopoverPresenter, UploadViewControllerDelegate {
    std::vector<std::string> calls;
    void showPopoverWithSender(const std::shared_ptr<NSObject>&) override { calls.push_back("show"); }
    void closePopoverWithSender(const std::shared_ptr<NSObject>&, bool animated) override {
      calls.push_back(animated ? "close animated" : "close");
    }
    void didTapCancel() override { calls.push_back("cancel"); }
    void didComplete() override { calls.push_back("complete"); }
  };

  void SetUp() override {
    CollectionsTest::SetUp();
    ui.attach();
    NSApplication::sharedApplication()->setDelegate(popover);
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 480), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    window->contentView()->addSubview(screen->view());
    screen->delegate = popover;
    screen->reset();
  }
  void TearDown() override {
    window->close();
    ui.detach();
    CollectionsTest::TearDown();
  }

  // A file under the test's home with the given bytes.
  std::string file(const std::string& name, const std::string& bytes) {
    auto path = home() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  static std::string gifBytes(std::uint32_t rgb = 0x3366cc) {
    GifMaker::Look look;
    look.rgb = rgb;
    return GifMaker::animated(look);
  }

  std::shared_ptr<UploadTaggerCell> row(std::size_t index) {
    auto list = screen->stagedUploadsCollectionView.lock();
    list->layoutSubtreeIfNeeded();
    return std::dynamic_pointer_cast<UploadTaggerCell>(list->itemAtIndexPath(NSIndexPath::indexPathForItem(index, 0)));
  }
  // Clicks into a row's tag field and types.
  void typeTags(std::size_t index, std::string_view text) {
    auto cell = row(index);
    ASSERT_TRUE(cell) << "no row " << index;
    ui.click(cell->tagInputField.lock());
    ui.typeText(text);
  }
  std::vector<UploadUnit::SourceType> sources() {
    std::vector<UploadUnit::SourceType> out;
    for (const auto& unit : screen->stagedUploads()) out.push_back(unit->source);
    return out;
  }
  double uploadAlpha() { return screen->uploadButton.lock()->layer()->backgroundColor()->alpha; }
  // The message in the instructions' place while it shows, "" otherwise.
  std::string message() {
    auto label = screen->messageLabel.lock();
    return label && !label->isHidden() ? label->stringValue() : std::string();
  }
  // Whether the message's text, laid out in its line's width, stays within the line's height.
  bool messageFits() {
    auto label = screen->messageLabel.lock();
    const NSRect frame = label->frame();
    return label->cell()->cellSizeForBounds(NSMakeRect(0, 0, frame.width(), 1e6)).height <= frame.height();
  }

  UISimulator ui;
  std::shared_ptr<Popover> popover = std::make_shared<Popover>();
  std::shared_ptr<UploadViewController> screen = UploadViewController::init();
  std::shared_ptr<NSWindow> window;
};
