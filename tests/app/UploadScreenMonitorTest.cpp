// The upload screen keeps the popover open against clicks in other programs (where GIFs are
// dragged from) for as long as it is up: through its file chooser, which puts the popover
// away meanwhile and brings it back, and through a drop that comes while it fades out.

#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "app/RootViewController.h"
#include "platform/appkit/NSOpenPanel.h"
#include "standin/GifMaker.h"
#include "tests/app/ShellReset.h"
#include "tests/collections/CollectionsFixture.h"
#include "tests/support/UISimulator.h"

namespace {

class UploadScreenMonitorTest : public CollectionsTest {
 protected:
  void SetUp() override {
    CollectionsTest::SetUp();
    resetShellState();
  }
  void TearDown() override {
    NSOpenPanel::setPresenter(nullptr);
    if (delegate) delegate->applicationWillTerminate(nullptr);
    delegate.reset();
    resetShellState();
    CollectionsTest::TearDown();
  }
  std::shared_ptr<VornObject> droppedGif() {
    return *VornObject::initWithLocalGifImageData(NSData::fromString(GifMaker::animated({})));
  }
  bool shown() const { return delegate->popover()->isShown(); }
  bool guarded() const { return !delegate->isOutsideClickMonitorInstalled(); }

  UISimulator ui;
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(UploadScreenMonitorTest, ItHoldsThePanelThroughTheFileChooserAndADropWhileItFadesOut) {
  signIn("amy", "tok-amy");
  delegate = AppDelegate::init();
  NSApp()->setDelegate(delegate);
  NSApp()->finishLaunching();
  advance(AppDelegate::Constants::openDelayAtLaunch);
  ASSERT_TRUE(shown());
  delegate->didDragVornsWithVorns({droppedGif()});
  auto root = delegate->rootController();
  auto screen = root->uploadViewController();
  ASSERT_TRUE(root->isPresentingUploadInterface());
  EXPECT_TRUE(guarded());

  struct Answer {
    const char* name;
    std::optional<std::vector<std::string>> files;
  };
  for (const Answer& answer : {Answer{"cancelled", std::nullopt}, Answer{"a file chosen", std::vector<std::string>{}}}) {
    std::optional<bool> shownWhileChoosing;
    NSOpenPanel::setPresenter([&](const NSOpenPanel&) -> std::optional<std::vector<std::shared_ptr<NSURL>>> {
      shownWhileChoosing = shown();
      if (!answer.files) return std::nullopt;
      return std::vector<std::shared_ptr<NSURL>>{NSURL::URLWithString(droppedGif()->gifUrl)};
    });
    screen->didTapBrowse(nullptr);
    EXPECT_EQ(shownWhileChoosing, false) << answer.name;
    EXPECT_TRUE(shown()) << answer.name;
    EXPECT_TRUE(guarded()) << answer.name;
    ui.clickInOtherApplication(NSMakePoint(20, 20));
    EXPECT_TRUE(shown()) << answer.name;
  }
  // The chosen file is checked and copied away from the main thread.
  EXPECT_TRUE(runUntil([&] { return screen->stagedUploads().size() == 2u; }));

  // Back, and a GIF dropped on the icon before the screen has faded out: the screen stays,
  // anew, with the GIF, and the panel stays held.
  root->didTapCancel();
  EXPECT_FALSE(guarded());
  delegate->didDragVornsWithVorns({droppedGif()});
  advance(1.0);
  EXPECT_TRUE(root->isPresentingUploadInterface());
  EXPECT_EQ(screen->view()->alphaValue(), 1.0);
  EXPECT_EQ(screen->stagedUploads().size(), 1u);
  EXPECT_TRUE(guarded());
  ui.clickInOtherApplication(NSMakePoint(20, 20));
  EXPECT_TRUE(shown());
}

}  // namespace
