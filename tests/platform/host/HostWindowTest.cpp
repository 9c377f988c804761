// Kit windows on a real X server: shown, painted by our renderer, clicked, typed into,
// scrolled, focused and closed by the desktop, checked through screenshots.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <set>
#include <thread>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNumber.h"
#include "platform/quartz/CABasicAnimation.h"
#include "platform/quartz/CALayer.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/OutputSink.h"
#include "platform/host/DesktopHost.h"
#include "platform/render/NSGraphicsContext.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

// A flat colour that counts its drawing and the wheel that turns over it.
class Swatch : public NSView {
 public:
  static std::shared_ptr<Swatch> make(NSRect frame, double r, double g, double b) {
    auto view = finishInit(std::shared_ptr<Swatch>(new Swatch(frame)));
    view->colour = NSColor::colorWithSRGBRed(r, g, b, 1);
    return view;
  }
  std::shared_ptr<NSColor> colour;
  int draws = 0;
  double wheelY = 0;
  void drawRect(NSRect) override {
    ++draws;
    colour->set();
    NSRectFill(bounds());
  }
  void scrollWheel(const std::shared_ptr<NSEvent>& event) override { wheelY += event->deltaY(); }

 private:
  using NSView::NSView;
};

class HostWindowTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    if (!host) return;
    window = NSWindow::initWithContentRect(NSMakeRect(100, 300, 320, 200), NSWindowStyleMaskTitled);
    window->title = "Host test";
    swatch = Swatch::make(NSMakeRect(10, 110, 100, 80), 1, 0, 0);
    button = NSButton::buttonWithTitle("Press", [this](const std::shared_ptr<NSObject>&) { ++presses; });
    button->setFrame(NSMakeRect(150, 140, 120, 32));
    field = NSTextField::textFieldWithString("");
    field->setFrame(NSMakeRect(10, 20, 300, 24));
    for (auto& v : std::vector<std::shared_ptr<NSView>>{swatch, button, field}) window->contentView()->addSubview(v);
  }
  void TearDown() override {
    window.reset();
    HostTest::TearDown();
  }

  std::string fieldText() const {
    if (auto editor = field->currentEditor()) return editor->string();
    return field->stringValue();
  }

  std::shared_ptr<NSWindow> window;
  std::shared_ptr<Swatch> swatch;
  std::shared_ptr<NSButton> button;
  std::shared_ptr<NSTextField> field;
  int presses = 0;
};

int distinctColours(const Screenshot& shot, NSRect topLeftRect) {
  std::set<std::uint32_t> colours;
  for (int y = static_cast<int>(topLeftRect.minY()); y < static_cast<int>(topLeftRect.maxY()); ++y) {
    for (int x = static_cast<int>(topLeftRect.minX()); x < static_cast<int>(topLeftRect.maxX()); ++x) {
      colours.insert(shot.at(x, y));
    }
  }
  return static_cast<int>(colours.size());
}

TEST_F(HostWindowTest, AWindowIsPaintedClickedAndTypedIntoOnTheDesktop) {
  showAndWait(window);
  auto shown = screenshot(window, "host-window-shown");
  ASSERT_TRUE(shown.valid());
  EXPECT_EQ(shown.width, 320);
  EXPECT_EQ(shown.height, 200);
  // The swatch's centre: base (60, 150) is 50 pixels from the top.
  EXPECT_EQ(shown.at(60, 50), 0xFF0000u);
  EXPECT_GT(distinctColours(shown, NSMakeRect(150, 28, 120, 32)), 3) << "the button's title and bezel are drawn";

  clickAt(window, {210, 156});
  EXPECT_TRUE(runUntil([&] { return presses == 1; })) << "the desktop's click reaches the button";

  clickAt(window, {100, 32});
  ASSERT_TRUE(runUntil([&] { return field->isEditing(); }));
  int swatchDraws = swatch->draws;
  auto frames = host->framesShown(window);
  run({"xdotool", "type", "--delay", "15", "hello, desk"});
  EXPECT_TRUE(runUntil([&] { return fieldText() == "hello, desk"; })) << fieldText();
  run({"xdotool", "key", "BackSpace", "BackSpace", "BackSpace", "BackSpace"});
  EXPECT_TRUE(runUntil([&] { return fieldText() == "hello, "; })) << fieldText();

  ASSERT_TRUE(waitForFrame(window, frames));
  runUntil([&] { return false; }, 0.2);  // the last keys' repaint
  auto typed = screenshot(window, "host-window-typed");
  ASSERT_TRUE(typed.valid());
  EXPECT_GT(distinctColours(typed, NSMakeRect(14, 158, 60, 20)), distinctColours(shown, NSMakeRect(14, 158, 60, 20)))
      << "the typed text shows";
  EXPECT_EQ(swatch->draws, swatchDraws) << "only the field's region was painted again";
  EXPECT_EQ(typed.at(60, 50), 0xFF0000u);

  // A change of colour shows after the next display pass, and only the swatch is drawn.
  swatch->colour = NSColor::colorWithSRGBRed(0, 0, 1, 1);
  swatch->setNeedsDisplay(true);
  frames = host->framesShown(window);
  ASSERT_TRUE(waitForFrame(window, frames));
  EXPECT_EQ(screenshot(window, "host-window-repainted").at(60, 50), 0x0000FFu);
}

TEST_F(HostWindowTest, ALayerAnimationIsPaintedAsTheClockMovesAndEndsInItsFinalState) {
  auto card = NSView::initWithFrame(NSMakeRect(150, 20, 100, 60));
  card->setWantsLayer(true);
  card->layer()->setBackgroundColor(CGColor{0, 0, 1, 1});
  window->contentView()->addSubview(card);
  auto fade = CABasicAnimation::animationWithKeyPath("opacity");
  fade->fromValue = NSNumber::numberWithDouble(0.0);
  fade->toValue = NSNumber::numberWithDouble(1.0);
  fade->duration = 2.0;
  card->layer()->addAnimation(fade, "fade");
  showAndWait(window);
  // Base (200, 50) is the card's centre: 150 pixels from the top.
  // The red of the window's grey background shows through as much as the blue card is faded.
  auto redAt = [&](const std::string& name) { return screenshot(window, name).at(200, 150) >> 16; };
  int swatchDraws = swatch->draws;
  EXPECT_GT(redAt("host-animation-start"), 0xC0u) << "fully faded at the start";

  auto frames = host->framesShown(window);
  advance(1.0);
  ASSERT_TRUE(waitForFrame(window, frames));
  runUntil([&] { return false; }, 0.1);
  auto middle = redAt("host-animation-middle");
  EXPECT_GT(middle, 0x40u);
  EXPECT_LT(middle, 0xA0u) << "half way";

  frames = host->framesShown(window);
  advance(1.5);
  ASSERT_TRUE(waitForFrame(window, frames));
  runUntil([&] { return false; }, 0.1);
  EXPECT_EQ(redAt("host-animation-end"), 0u) << "the final state once the animation is over";
  EXPECT_EQ(swatch->draws, swatchDraws) << "only the animated view is painted again";
}

TEST_F(HostWindowTest, TheWheelScrollsTheViewUnderThePointer) {
  showAndWait(window);
  ASSERT_TRUE(movePointerTo(windowId(window), 60, 50));
  run({"xdotool", "click", "4", "click", "5", "click", "5"});
  EXPECT_TRUE(runUntil([&] { return swatch->wheelY < 0; }));
  EXPECT_DOUBLE_EQ(swatch->wheelY, -20.0) << "one notch up, two down";
}

TEST_F(HostWindowTest, OneLoopServesTheDesktopTimersAndOtherThreads) {
  showAndWait(window);
  auto loop = NSRunLoop::main();
  button->action = [&](const std::shared_ptr<NSObject>&) {
    ++presses;
    loop->stop();
  };
  // The desktop's click ends the loop from inside its own event handling.
  // The server takes the move and the click in the order sent.
  std::string click = "xdotool mousemove --window " + windowId(window) + " 210 44 click 1";
  std::thread clicker([&] { EXPECT_EQ(std::system(click.c_str()), 0); });
  loop->run();
  clicker.join();
  EXPECT_EQ(presses, 1);

  // A block from another thread wakes the desktop's wait.
  std::thread other([&] { loop->perform([&] { loop->stop(); }); });
  loop->run();
  other.join();

  // Timers on the real clock fire while the loop waits on the desktop.
  Clock::setCurrent(nullptr);
  bool fired = false;
  loop->scheduleAfter(0.05, [&] {
    fired = true;
    loop->stop();
  });
  loop->run();
  EXPECT_TRUE(fired);
}

// Run in a process of its own (below) with GDK_SCALE=2, a display of two pixels a point,
// and a user locale in the environment.
TEST_F(HostWindowTest, ScaleProbe) {
  if (!std::getenv("GLIMDECK_SCALE_PROBE")) GTEST_SKIP() << "run by the scale test in a process of its own";
  EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C") << "GTK left the process's locale alone";
  showAndWait(window);
  EXPECT_EQ(window->backingScaleFactor, 2.0);
  auto shot = screenshot(window, "host-window-scale-2");
  EXPECT_EQ(shot.width, 640);
  EXPECT_EQ(shot.height, 400);
  EXPECT_EQ(shot.at(120, 100), 0xFF0000u) << "the swatch, at twice the pixels";
  // Drawn at two pixels a point, not enlarged: the swatch's edge is sharp.
  EXPECT_EQ(shot.at(20, 100), 0xFF0000u);
  EXPECT_EQ(shot.at(19, 100), shot.at(5, 100)) << "no red blurred into the background";
}

TEST_F(HostWindowTest, WindowsArePaintedAtTheDisplaysScaleAndNumbersKeepTheCLocale) {
  setenv("GDK_SCALE", "2", 1);
  setenv("GLIMDECK_SCALE_PROBE", "1", 1);
  std::string locale = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
  setenv("LC_ALL", "C.UTF-8", 1);
  auto probe = run({"/proc/self/exe", "--gtest_filter=HostWindowTest.ScaleProbe"}, 60);
  unsetenv("GDK_SCALE");
  unsetenv("GLIMDECK_SCALE_PROBE");
  if (locale.empty()) {
    unsetenv("LC_ALL");
  } else {
    setenv("LC_ALL", locale.c_str(), 1);
  }
  EXPECT_EQ(probe.status, 0) << probe.output;
  EXPECT_NE(probe.output.find("[  PASSED  ] 1 test"), std::string::npos) << probe.output;
}

// The message a window manager sends when the user closes a window.
void askToClose(unsigned long xid) {
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = xid;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, xid, False, NoEventMask, &event);
  XCloseDisplay(display);
}

class RefusingDelegate : public NSWindowDelegate {
 public:
  bool allow = false;
  int asked = 0;
  bool windowShouldClose(const std::shared_ptr<NSWindow>&) override {
    ++asked;
    return allow;
  }
};

TEST_F(HostWindowTest, ClosingAndFocusFollowTheDesktop) {
  auto other = NSWindow::initWithContentRect(NSMakeRect(500, 300, 120, 80), NSWindowStyleMaskTitled);
  showAndWait(other);
  showAndWait(window);
  EXPECT_EQ(NSApp()->keyWindow(), window);
  run({"xdotool", "windowfocus", "--sync", windowId(other)});
  EXPECT_TRUE(runUntil([&] { return NSApp()->keyWindow() == other; })) << "the desktop's focus makes it key";
  EXPECT_TRUE(NSApp()->isActive());

  auto delegate = std::make_shared<RefusingDelegate>();
  window->setDelegate(delegate);
  auto xid = host->nativeWindowId(window);
  askToClose(xid);
  ASSERT_TRUE(runUntil([&] { return delegate->asked == 1; }));
  EXPECT_TRUE(window->isVisible()) << "the delegate refused";
  delegate->allow = true;
  askToClose(xid);
  EXPECT_TRUE(runUntil([&] { return !window->isVisible(); }));
  EXPECT_EQ(host->nativeWindowId(window), 0u) << "the desktop's window went with it";
}

TEST(HostHeadlessTest, WithoutADisplayTheApplicationSaysSoOnceAndStaysHeadless) {
  if (auto running = DesktopHost::current()) running->stop();
  std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  std::vector<std::string> lines;
  OutputSink::setSink([&](std::string_view line) { lines.emplace_back(line); });
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  auto host = DesktopHost::start();
  if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
  OutputSink::setSink(nullptr);
  EXPECT_EQ(host, nullptr);
  EXPECT_EQ(lines, std::vector<std::string>{std::string(DesktopHost::Constants::headlessLine)});
}

}  // namespace
