// The application object: launching and termination through the delegate, activation,
// key and main windows, and modal sessions that a test ends.

#include <gtest/gtest.h>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSRunLoop.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/UISimulator.h"

namespace {

class Delegate : public NSApplicationDelegate {
 public:
  std::vector<std::string> log;
  NSApplicationTerminateReply reply = NSApplicationTerminateReply::now;
  void applicationWillFinishLaunching(const std::shared_ptr<NSNotification>&) override { log.push_back("willFinish"); }
  void applicationDidFinishLaunching(const std::shared_ptr<NSNotification>&) override { log.push_back("didFinish"); }
  NSApplicationTerminateReply applicationShouldTerminate(const std::shared_ptr<NSApplication>&) override {
    log.push_back("shouldTerminate");
    return reply;
  }
  void applicationWillTerminate(const std::shared_ptr<NSNotification>&) override { log.push_back("willTerminate"); }
  void applicationDidBecomeActive(const std::shared_ptr<NSNotification>&) override { log.push_back("active"); }
};

class ApplicationTest : public UITest {};

TEST_F(ApplicationTest, RunLaunchesOnceAndTerminateEndsTheRunLoop) {
  auto app = NSApplication::sharedApplication();
  auto delegate = std::make_shared<Delegate>();
  app->setDelegate(delegate);
  NSRunLoop::main()->perform([app] { app->terminate(nullptr); });
  app->run();
  EXPECT_EQ(delegate->log,
            (std::vector<std::string>{"willFinish", "active", "didFinish", "shouldTerminate", "willTerminate"}));
  EXPECT_TRUE(app->hasTerminated());
  EXPECT_FALSE(app->isRunning());
  app->finishLaunching();
  EXPECT_EQ(delegate->log.size(), 5u) << "launching happens once";
}

TEST_F(ApplicationTest, TheDelegateCanPutOffOrRefuseTermination) {
  auto app = NSApplication::sharedApplication();
  auto delegate = std::make_shared<Delegate>();
  app->setDelegate(delegate);
  delegate->reply = NSApplicationTerminateReply::cancel;
  app->terminate(nullptr);
  EXPECT_FALSE(app->hasTerminated());
  delegate->reply = NSApplicationTerminateReply::later;
  app->terminate(nullptr);
  EXPECT_FALSE(app->hasTerminated());
  app->replyToApplicationShouldTerminate(true);
  EXPECT_TRUE(app->hasTerminated());
  EXPECT_EQ(delegate->log.back(), "willTerminate");
}

TEST_F(ApplicationTest, AModalSessionRunsUntilStoppedAndKeepsOtherWindowsFromEvents) {
  auto app = NSApplication::sharedApplication();
  auto main = NSWindow::initWithContentRect(NSMakeRect(0, 0, 200, 200), NSWindowStyleMaskTitled);
  auto sheet = NSWindow::initWithContentRect(NSMakeRect(300, 0, 200, 100), NSWindowStyleMaskTitled);
  main->makeKeyAndOrderFront(nullptr);
  int mainClicks = 0;
  struct Counter : NSView {
    static std::shared_ptr<Counter> make(int* count) {
      auto v = finishInit(std::shared_ptr<Counter>(new Counter()));
      v->count = count;
      return v;
    }
    Counter() : NSView(NSMakeRect(0, 0, 50, 50)) {}
    void mouseDown(const std::shared_ptr<NSEvent>&) override { ++*count; }
    int* count = nullptr;
  };
  auto target = Counter::make(&mainClicks);
  main->contentView()->addSubview(target);

  NSRunLoop::main()->perform([&] {
    EXPECT_EQ(app->modalWindow(), sheet);
    EXPECT_TRUE(sheet->isKeyWindow());
    ui.click(target);
    app->stopModalWithCode(NSModalResponseOK);
  });
  EXPECT_EQ(app->runModalForWindow(sheet), NSModalResponseOK);
  EXPECT_EQ(mainClicks, 0) << "clicks on other windows are dropped while a modal window runs";
  EXPECT_EQ(app->modalWindow(), nullptr);
  ui.click(target);
  EXPECT_EQ(mainClicks, 1);

  NSRunLoop::main()->perform([app] { app->abortModal(); });
  EXPECT_EQ(app->runModalForWindow(sheet), NSModalResponseAbort);
}

TEST_F(ApplicationTest, ASessionCanBeRunStepByStep) {
  auto app = NSApplication::sharedApplication();
  auto sheet = NSWindow::initWithContentRect(NSMakeRect(0, 0, 100, 100), NSWindowStyleMaskTitled);
  auto session = app->beginModalSessionForWindow(sheet);
  bool ran = false;
  NSRunLoop::main()->perform([&] { ran = true; });
  EXPECT_EQ(app->runModalSession(session), NSModalResponseContinue);
  EXPECT_TRUE(ran);
  app->stopModal();
  EXPECT_EQ(app->runModalSession(session), NSModalResponseStop);
  app->endModalSession(session);
  EXPECT_EQ(app->modalWindow(), nullptr);
  app->stopModal();  // nothing to stop: harmless
}

TEST_F(ApplicationTest, KeyWindowFollowsOrderingAndBorderlessWindowsStayOut) {
  auto app = NSApplication::sharedApplication();
  auto a = NSWindow::initWithContentRect(NSMakeRect(0, 0, 100, 100), NSWindowStyleMaskTitled);
  auto b = NSWindow::initWithContentRect(NSMakeRect(0, 0, 100, 100), NSWindowStyleMaskTitled);
  auto panel = NSWindow::initWithContentRect(NSMakeRect(0, 0, 100, 100), NSWindowStyleMaskBorderless);
  a->makeKeyAndOrderFront(nullptr);
  b->makeKeyAndOrderFront(nullptr);
  panel->makeKeyAndOrderFront(nullptr);
  EXPECT_EQ(app->keyWindow(), b);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(app->orderedWindows().front(), panel);
  b->close();
  EXPECT_EQ(app->keyWindow(), a) << "closing the key window passes the key to the next one";
  EXPECT_EQ(app->windowWithWindowNumber(a->windowNumber()), a);
  EXPECT_EQ(app->windows().size(), 3u);
  EXPECT_EQ(a->frame().size.height, 100 + NSWindow::Constants::titleBarHeight);
  EXPECT_EQ(a->contentView()->frame().size, (NSSize{100, 100}));
}

}  // namespace

// Leaving the process with windows still on screen: the shared application lets go of them
// as the program's statics are destroyed, and what their views do as they go (remove an
// event monitor, say) must find the event state still there.
namespace {

// A view that watches the keyboard for as long as it lives, as the autosuggest list does.
class KeyWatchingView : public NSView {
 public:
  static std::shared_ptr<KeyWatchingView> make(NSRect frame) {
    auto view = finishInit(std::shared_ptr<KeyWatchingView>(new KeyWatchingView(frame)));
    view->monitor_ = NSEvent::addLocalMonitorForEventsMatchingMask(
        NSEventMaskKeyDown, [](const std::shared_ptr<NSEvent>& event) { return event; });
    return view;
  }
  ~KeyWatchingView() override { NSEvent::removeMonitor(monitor_); }

 private:
  using NSView::NSView;
  std::shared_ptr<NSObject> monitor_;
};

int leaveWithAWindowShown(const std::vector<std::string>&) {
  // The application first, the monitor after: the event state is made last, so the
  // statics go the other way round.
  NSApplication::sharedApplication();
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 200, 100), NSWindowStyleMaskBorderless);
  window->contentView()->addSubview(KeyWatchingView::make(NSMakeRect(0, 0, 50, 50)));
  window->makeKeyAndOrderFront(nullptr);
  return 0;
}

const bool registered = ChildProcess::add("leave-with-a-window-shown", leaveWithAWindowShown);

TEST(ExitTest, LeavingWithAWindowShownWhoseViewsRemoveMonitorsEndsCleanly) {
  ASSERT_TRUE(registered);
  auto child = ChildProcess::start("leave-with-a-window-shown", {}, {});
  ASSERT_GT(child, 0);
  auto ending = ChildProcess::wait(child);
  EXPECT_TRUE(ending.exited && ending.code == 0) << ending.description();
}

}  // namespace
