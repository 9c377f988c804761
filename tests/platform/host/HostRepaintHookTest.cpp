// The repaint hook for tests that look from outside the process: SIGUSR2 paints what still
// needs display, writes a fresh full repaint of each shown window beside a marker, and
// holds the process still until the marker is removed, so that a picture taken meanwhile
// shows that very moment.

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/Clock.h"
#include "platform/host/HostRepaintHook.h"
#include "platform/render/NSGraphicsContext.h"
#include "tests/platform/host/HostTestSupport.h"
#include "tests/support/PNGPixels.h"

namespace {

namespace fs = std::filesystem;

// A flat colour that can be changed.
class Patch : public NSView {
 public:
  static std::shared_ptr<Patch> make(NSRect frame, std::shared_ptr<NSColor> colour) {
    auto view = finishInit(std::shared_ptr<Patch>(new Patch(frame)));
    view->colour = std::move(colour);
    return view;
  }
  std::shared_ptr<NSColor> colour;
  void drawRect(NSRect) override {
    colour->set();
    NSRectFill(bounds());
  }

 private:
  using NSView::NSView;
};

class HostRepaintHookTest : public HostTest {
 protected:
  void SetUp() override {
    // Named before the fixture makes the test's home, which the host must already see.
    folder = screenshotDir() / ("repaint-hook-" + std::to_string(getpid()));
    fs::remove_all(folder);
    setenv(HostRepaintHook::Constants::directoryVariable, folder.c_str(), 1);
    HostTest::SetUp();
    // The real clock: the held one is seen to stand still while real time passes.
    Clock::setCurrent(nullptr);
  }
  void TearDown() override {
    HostTest::TearDown();
    unsetenv(HostRepaintHook::Constants::directoryVariable);
    fs::remove_all(folder);
  }
  // Signals the hook and, once its marker shows, runs `whileHeld` on another thread (this one
  // is held) and removes the marker; false when no marker came.
  bool holdAndLook(const std::function<void()>& whileHeld) {
    std::atomic<bool> done{false};
    bool seen = false;
    std::thread helper([&] {
      auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!fs::exists(marker()) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      seen = fs::exists(marker());
      if (seen) {
        whileHeld();
        fs::remove(marker());
      }
      done = true;
    });
    raise(SIGUSR2);
    bool finished = runUntil([&] { return done.load(); }, 40.0);
    helper.join();
    return finished && seen;
  }
  fs::path marker() const { return folder / HostRepaintHook::Constants::markerName; }
  fs::path folder;
};

TEST_F(HostRepaintHookTest, ASignalWritesAFullRepaintOfTheMomentAndHoldsStillUntilTheMarkerGoes) {
  auto window = NSWindow::initWithContentRect(NSMakeRect(100, 300, 240, 160), NSWindowStyleMaskTitled);
  auto patch = Patch::make(NSMakeRect(20, 20, 100, 60), NSColor::redColor());
  window->contentView()->addSubview(patch);
  showAndWait(window);
  // A change the desktop has not been shown yet: the hook paints it before it writes.
  patch->colour = NSColor::blueColor();
  patch->setNeedsDisplay(true);

  auto shot = screenshotDir() / "repaint-hook-screen.png";
  std::string id = windowId(window);
  std::string listing;
  int importStatus = -1;
  double clockAtStart = 0, clockAtEnd = 0;
  ASSERT_TRUE(holdAndLook([&] {
    std::ifstream in(marker());
    std::ostringstream text;
    text << in.rdbuf();
    listing = text.str();
    clockAtStart = Clock::current().now();
    fs::create_directories(screenshotDir());
    importStatus = std::system(("import -window " + id + " " + shot.string()).c_str());
    clockAtEnd = Clock::current().now();
  }));
  EXPECT_EQ(listing, id + " " + std::to_string(window->windowNumber()) + " 240 160\n");
  EXPECT_EQ(clockAtStart, clockAtEnd) << "the clock stands still while the process is held";
  ASSERT_EQ(importStatus, 0);

  // The picture taken while the process was held.
  auto screen = PNGPixels::read(shot);
  auto fresh = PNGPixels::read(folder / (id + ".png"));
  ASSERT_TRUE(screen.valid());
  ASSERT_EQ(fresh.width, 240);
  ASSERT_EQ(fresh.height, 160);
  // Blue on screen and in the repaint; the window's background around it in both.
  EXPECT_EQ(screen.at(70, 110), 0x0000FFu);
  for (auto [x, y] : {std::pair{70, 110}, std::pair{5, 5}, std::pair{200, 150}}) {
    EXPECT_EQ(fresh.at(x, y), screen.at(x, y)) << "at " << x << ", " << y;
  }
}

// However long the look from outside takes, the application's time has not gone on meanwhile:
// a confirmation shown for three seconds still has them after a hold of any length.
TEST_F(HostRepaintHookTest, AfterTheHoldTheClockGoesOnFromTheHeldMomentWithoutTheTimeHeld) {
  constexpr double kHeldFor = 0.3;
  const RealClock real;
  double heldAt = 0, releasedAt = 0, clockWhileHeld = 0;
  const double signalledAt = real.now();
  ASSERT_TRUE(holdAndLook([&] {
    heldAt = real.now();
    clockWhileHeld = Clock::current().now();
    // A slow look: the process stays held until the real clock has gone on a while.
    while (real.now() - heldAt < kHeldFor) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    releasedAt = real.now();
  }));
  // Read once the process goes on (the hook has put its clock back by then).
  ASSERT_TRUE(runUntil([&] { return Clock::current().now() != clockWhileHeld; }, 40.0));
  const double behind = real.now() - Clock::current().now();
  // The held moment lies on a display refresh, at most one refresh after the signal.
  EXPECT_GE(behind, releasedAt - heldAt - 1.0 / 60) << "the time held does not count";
  EXPECT_LE(behind, real.now() - signalledAt) << "nor any time before the signal";
  EXPECT_GE(Clock::current().now(), clockWhileHeld) << "time goes on from the held moment";
}

}  // namespace
