// The event monitor through the simulator: clicks elsewhere reach the global handler,
// a local handler may swallow the application's own clicks, and the monitor is installed
// at most once.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/EventMonitor.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "tests/support/UISimulator.h"

namespace {

class CountingView : public NSView {
 public:
  static std::shared_ptr<CountingView> make(NSRect frame) {
    return finishInit(std::shared_ptr<CountingView>(new CountingView(frame)));
  }
  int downs = 0;
  void mouseDown(const std::shared_ptr<NSEvent>&) override { ++downs; }

 private:
  using NSView::NSView;
};

class EventMonitorTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 200, 200), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
    view = CountingView::make(NSMakeRect(0, 0, 100, 100));
    window->contentView()->addSubview(view);
  }
  std::shared_ptr<NSWindow> window;
  std::shared_ptr<CountingView> view;
  const NSEventMask clicks = NSEventMaskLeftMouseDown | NSEventMaskRightMouseDown;
};

TEST_F(EventMonitorTest, AClickInAnotherApplicationReachesTheGlobalHandler) {
  std::vector<NSEventType> seen;
  EventMonitor monitor(clicks, [&](const std::shared_ptr<NSEvent>& event) { seen.push_back(event->type()); });
  ui.clickInOtherApplication(NSPoint{900, 900});
  EXPECT_TRUE(seen.empty()) << "nothing is installed before start";

  monitor.start();
  ui.clickInOtherApplication(NSPoint{900, 900});
  ui.clickInOtherApplication(NSPoint{900, 900}, /*rightButton=*/true);
  EXPECT_EQ(seen, (std::vector<NSEventType>{NSEventType::leftMouseDown, NSEventType::rightMouseDown}));

  ui.click(view);
  EXPECT_EQ(seen.size(), 2u) << "clicks of this application are not global";
  EXPECT_EQ(view->downs, 1);

  monitor.stop();
  ui.clickInOtherApplication(NSPoint{900, 900});
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(EventMonitorTest, ALocalHandlerSeesAndMaySwallowTheApplicationsClicks) {
  bool swallow = true;
  int seen = 0;
  EventMonitor monitor(clicks, nullptr, [&](const std::shared_ptr<NSEvent>& event) -> std::shared_ptr<NSEvent> {
    ++seen;
    return swallow ? nullptr : event;
  });
  monitor.start();
  ui.click(view);
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(view->downs, 0) << "the swallowed click never reaches the view";

  swallow = false;
  ui.click(view);
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(view->downs, 1);

  ui.clickInOtherApplication(NSPoint{900, 900});
  EXPECT_EQ(seen, 2) << "a local handler does not see other applications";
}

TEST_F(EventMonitorTest, InstallsAtMostOneMonitorAndOnlyTheGlobalOneWhenBothAreSet) {
  int global = 0, local = 0;
  EventMonitor monitor(
      clicks, [&](const std::shared_ptr<NSEvent>&) { ++global; },
      [&](const std::shared_ptr<NSEvent>& event) {
        ++local;
        return event;
      });
  monitor.stop();  // never started: nothing happens
  EXPECT_FALSE(monitor.isInstalled());

  monitor.start();
  monitor.start();
  EXPECT_EQ(NSEvent::globalMonitorCount(), 1u);
  EXPECT_EQ(NSEvent::localMonitorCount(), 0u);
  ui.clickInOtherApplication(NSPoint{900, 900});
  ui.click(view);
  EXPECT_EQ(global, 1);
  EXPECT_EQ(local, 0);

  monitor.stop();
  EXPECT_EQ(NSEvent::globalMonitorCount(), 0u);
  EXPECT_FALSE(monitor.isInstalled());
}

TEST_F(EventMonitorTest, DestroyingAnInstalledMonitorRemovesItAndAMonitorWithoutHandlersInstallsNothing) {
  {
    EventMonitor monitor(clicks, nullptr, [](const std::shared_ptr<NSEvent>& event) { return event; });
    monitor.start();
    EXPECT_EQ(NSEvent::localMonitorCount(), 1u);
  }
  EXPECT_EQ(NSEvent::localMonitorCount(), 0u);

  EventMonitor empty(clicks, nullptr, nullptr);
  empty.start();
  EXPECT_FALSE(empty.isInstalled());
  EXPECT_EQ(NSEvent::globalMonitorCount() + NSEvent::localMonitorCount(), 0u);
}

}  // namespace
