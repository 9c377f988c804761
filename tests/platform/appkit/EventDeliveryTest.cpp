// Events from the simulator through the application: the responder chain, first
// responder and keys, local and global monitors, tracking areas, cursor rectangles and
// click recognisers.

#include <functional>

#include <gtest/gtest.h>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSGestureRecognizer.h"
#include "platform/appkit/NSTrackingArea.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "tests/support/UISimulator.h"

namespace {

std::vector<std::string>* journal = nullptr;

// A view that writes what it hears and passes it on unless told to keep it.
class RecordingView : public NSView {
 public:
  static std::shared_ptr<RecordingView> make(std::string name, NSRect frame, bool keeps = false) {
    auto view = finishInit(std::shared_ptr<RecordingView>(new RecordingView(frame)));
    view->name = std::move(name);
    view->keeps = keeps;
    return view;
  }
  std::string name;
  bool keeps = false;
  bool takesFocus = false;

  void mouseDown(const std::shared_ptr<NSEvent>& e) override { note("down", e); }
  void mouseUp(const std::shared_ptr<NSEvent>& e) override { note("up", e); }
  void mouseDragged(const std::shared_ptr<NSEvent>& e) override { note("dragged", e); }
  void rightMouseDown(const std::shared_ptr<NSEvent>& e) override { note("rightDown", e); }
  void scrollWheel(const std::shared_ptr<NSEvent>& e) override { note("scroll", e); }
  void keyDown(const std::shared_ptr<NSEvent>& e) override { note("key " + e->characters(), e); }
  void mouseEntered(const std::shared_ptr<NSEvent>& e) override { note("entered", e); }
  void mouseExited(const std::shared_ptr<NSEvent>& e) override { note("exited", e); }
  bool acceptsFirstResponder() const override { return takesFocus; }
  void resetCursorRects() override {
    if (name == "hand") addCursorRect(bounds(), NSCursor::pointingHandCursor());
  }

 private:
  using NSView::NSView;
  void note(const std::string& what, const std::shared_ptr<NSEvent>& event) {
    if (journal) journal->push_back(name + " " + what);
    if (keeps) return;
    if (what == "down") NSView::mouseDown(event);
    else if (what == "up") NSView::mouseUp(event);
    else if (what == "dragged") NSView::mouseDragged(event);
    else if (what == "rightDown") NSView::rightMouseDown(event);
    else if (what == "scroll") NSView::scrollWheel(event);
    else if (what.starts_with("key")) NSView::keyDown(event);
  }
};

class RecordingController : public NSViewController {
 public:
  static std::shared_ptr<RecordingController> make() {
    return std::shared_ptr<RecordingController>(new RecordingController());
  }
  void mouseDown(const std::shared_ptr<NSEvent>& e) override {
    journal->push_back("controller down");
    NSViewController::mouseDown(e);
  }
  void loadView() override { setView(RecordingView::make("controlled", NSMakeRect(0, 0, 100, 100))); }
};

class EventDeliveryTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    journal = &heard;
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 400, 300), NSWindowStyleMaskTitled);
    window->makeKeyAndOrderFront(nullptr);
  }
  void TearDown() override {
    journal = nullptr;
    UITest::TearDown();
  }
  std::vector<std::string> heard;
  std::shared_ptr<NSWindow> window;
};

TEST_F(EventDeliveryTest, ClicksTravelUpTheChainUntilAViewKeepsThem) {
  auto outer = RecordingView::make("outer", NSMakeRect(0, 0, 300, 200), /*keeps=*/true);
  auto middle = RecordingView::make("middle", NSMakeRect(10, 10, 200, 100));
  auto inner = RecordingView::make("inner", NSMakeRect(10, 10, 50, 50));
  window->contentView()->addSubview(outer);
  outer->addSubview(middle);
  middle->addSubview(inner);

  ui.click(inner);
  EXPECT_EQ(heard, (std::vector<std::string>{"inner down", "middle down", "outer down", "inner up", "middle up",
                                             "outer up"}));
  heard.clear();
  middle->keeps = true;
  ui.click(inner);
  EXPECT_EQ(heard, (std::vector<std::string>{"inner down", "middle down", "inner up", "middle up"}));
  heard.clear();
  ui.click(middle, NSPoint{150, 50});
  EXPECT_EQ(heard, (std::vector<std::string>{"middle down", "middle up"}));
}

TEST_F(EventDeliveryTest, PressesPassThroughViewsThatAreHiddenOrAtAlphaZeroWithTheirSubviews) {
  // A cover over a button-like view: what the cover's state lets through to the view under it.
  struct Case {
    const char* what;
    bool hidden;
    double coverAlpha;
    double childAlpha;
    const char* heard;
  };
  const Case cases[] = {
      {"shown", false, 1.0, 1.0, "child"},
      {"faint but visible", false, 0.05, 1.0, "child"},
      {"hidden", true, 1.0, 1.0, "under"},
      {"faded out", false, 0.0, 1.0, "under"},
      {"faded out, child opaque", false, 0.0, 1.0, "under"},
      {"shown, child faded out", false, 1.0, 0.0, "cover"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    heard.clear();
    auto under = RecordingView::make("under", NSMakeRect(0, 0, 300, 200), /*keeps=*/true);
    auto cover = RecordingView::make("cover", NSMakeRect(0, 0, 300, 200), /*keeps=*/true);
    auto child = RecordingView::make("child", NSMakeRect(50, 50, 100, 100), /*keeps=*/true);
    window->contentView()->setSubviews({under, cover});
    cover->addSubview(child);
    cover->setHidden(c.hidden);
    cover->setAlphaValue(c.coverAlpha);
    child->setAlphaValue(c.childAlpha);
    ui.mouseDown(under, NSPoint{100, 100});
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front(), std::string(c.heard) + " down");
    ui.mouseUp(under, NSPoint{100, 100});
  }
}

TEST_F(EventDeliveryTest, AViewControllerSitsBetweenItsViewAndTheSuperview) {
  auto controller = RecordingController::make();
  auto holder = RecordingView::make("holder", NSMakeRect(0, 0, 300, 200), true);
  window->contentView()->addSubview(holder);
  holder->addSubview(controller->view());
  ui.mouseDown(controller->view());
  EXPECT_EQ(heard, (std::vector<std::string>{"controlled down", "controller down", "holder down"}));
  EXPECT_EQ(controller->view()->nextResponder(), controller);
  EXPECT_EQ(controller->nextResponder(), holder);
  EXPECT_EQ(window->contentView()->nextResponder(), window->frameView());
  EXPECT_EQ(window->frameView()->nextResponder(), window);
  EXPECT_EQ(window->nextResponder(), NSApplication::sharedApplication());
}

TEST_F(EventDeliveryTest, DragsAndReleasesGoToTheViewThatWasPressed) {
  auto left = RecordingView::make("left", NSMakeRect(0, 0, 100, 100), true);
  auto right = RecordingView::make("right", NSMakeRect(200, 0, 100, 100), true);
  window->contentView()->addSubview(left);
  window->contentView()->addSubview(right);
  ui.drag(left, {50, 50}, {250, 50}, 2);
  EXPECT_EQ(heard, (std::vector<std::string>{"left down", "left dragged", "left dragged", "left up"}));
}

TEST_F(EventDeliveryTest, KeysGoToTheFirstResponderAndUpTheChain) {
  auto parent = RecordingView::make("parent", NSMakeRect(0, 0, 300, 200), true);
  auto field = RecordingView::make("field", NSMakeRect(10, 10, 100, 20));
  field->takesFocus = true;
  window->contentView()->addSubview(parent);
  parent->addSubview(field);

  ui.pressKey(NSKeyCode::a, "a");
  EXPECT_TRUE(heard.empty()) << "without a first responder the window has the key";
  ui.click(field);
  EXPECT_EQ(window->firstResponder(), field) << "a click focuses a view that takes focus";
  heard.clear();
  ui.pressKey(NSKeyCode::b, "b");
  EXPECT_EQ(heard, (std::vector<std::string>{"field key b", "parent key b"}));
  EXPECT_FALSE(window->makeFirstResponder(parent)) << "a view that declines focus stays unfocused";
  EXPECT_EQ(window->firstResponder(), field);
  field->setHidden(true);
  EXPECT_EQ(window->firstResponder(), window) << "hiding the focused view gives the focus back";
}

TEST_F(EventDeliveryTest, CurrentEventIsTheOneBeingHandled) {
  auto view = RecordingView::make("v", NSMakeRect(0, 0, 100, 100));
  window->contentView()->addSubview(view);
  std::shared_ptr<NSEvent> seen;
  auto monitor = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskLeftMouseDown, [&](auto event) {
    seen = NSApplication::sharedApplication()->currentEvent();
    return event;
  });
  ui.mouseDown(view, NSPoint{5, 5}, 2, NSEventModifierFlagCommand);
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->type(), NSEventType::leftMouseDown);
  EXPECT_EQ(seen->clickCount(), 2);
  EXPECT_EQ(seen->modifierFlags() & NSEventModifierFlagCommand, NSEventModifierFlagCommand);
  EXPECT_EQ(seen->window(), window);
  EXPECT_EQ(NSApplication::sharedApplication()->currentEvent(), nullptr);
  NSEvent::removeMonitor(monitor);
}

TEST_F(EventDeliveryTest, LocalMonitorsSeeEventsFirstAndCanSwallowOrReplaceThem) {
  auto view = RecordingView::make("v", NSMakeRect(0, 0, 100, 100), true);
  window->contentView()->addSubview(view);
  int seen = 0;
  bool swallow = true;
  auto monitor = NSEvent::addLocalMonitorForEventsMatchingMask(
      NSEventMaskLeftMouseDown | NSEventMaskLeftMouseUp, [&](const std::shared_ptr<NSEvent>& event) {
        ++seen;
        return swallow ? nullptr : event;
      });
  ui.click(view);
  EXPECT_EQ(seen, 2);
  EXPECT_TRUE(heard.empty()) << "a swallowed event never reaches the window";
  swallow = false;
  ui.click(view);
  EXPECT_EQ(heard, (std::vector<std::string>{"v down", "v up"}));
  heard.clear();
  ui.scrollWheel(view, 0, 3);
  EXPECT_EQ(seen, 4) << "events outside the mask pass the monitor by";
  EXPECT_EQ(heard, (std::vector<std::string>{"v scroll"}));

  // A monitor may hand on a different event.
  auto replacer = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskKeyDown, [](auto event) {
    return NSEvent::keyEventWithType(NSEventType::keyDown, NSZeroPoint, 0, 0, event->windowNumber(), nullptr, "z",
                                     "z", false, NSKeyCode::z);
  });
  view->takesFocus = true;
  window->makeFirstResponder(view);
  heard.clear();
  ui.pressKey(NSKeyCode::a, "a");
  EXPECT_EQ(heard, (std::vector<std::string>{"v key z"}));
  NSEvent::removeMonitor(replacer);
  NSEvent::removeMonitor(monitor);
  EXPECT_EQ(NSEvent::localMonitorCount(), 0u);
}

TEST_F(EventDeliveryTest, GlobalMonitorsHearOnlyOtherApplications) {
  auto view = RecordingView::make("v", NSMakeRect(0, 0, 100, 100), true);
  window->contentView()->addSubview(view);
  std::vector<NSEventType> global;
  int local = 0;
  auto globalMonitor = NSEvent::addGlobalMonitorForEventsMatchingMask(
      NSEventMaskLeftMouseDown | NSEventMaskRightMouseDown, [&](auto event) { global.push_back(event->type()); });
  auto localMonitor = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskAny, [&](auto event) {
    ++local;
    return event;
  });

  ui.click(view);
  EXPECT_TRUE(global.empty()) << "a click in this application is not global";
  ui.clickInOtherApplication({900, 900});
  ui.clickInOtherApplication({900, 900}, /*rightButton=*/true);
  EXPECT_EQ(global, (std::vector<NSEventType>{NSEventType::leftMouseDown, NSEventType::rightMouseDown}));
  EXPECT_EQ(local, 2) << "other applications' events never reach local monitors";
  EXPECT_EQ(heard, (std::vector<std::string>{"v down", "v up"}));
  EXPECT_EQ(NSEvent::mouseLocation(), (NSPoint{900, 900}));

  NSEvent::removeMonitor(globalMonitor);
  NSEvent::removeMonitor(globalMonitor);  // removing twice is harmless
  ui.clickInOtherApplication({5, 5});
  EXPECT_EQ(global.size(), 2u);
  EXPECT_EQ(NSEvent::globalMonitorCount(), 0u);
  NSEvent::removeMonitor(localMonitor);
  EXPECT_EQ(NSEvent::addGlobalMonitorForEventsMatchingMask(NSEventMaskAny, nullptr), nullptr);
}

TEST_F(EventDeliveryTest, AMonitorCanRemoveItselfWhileAnEventIsDelivered) {
  std::shared_ptr<NSObject> first, second;
  int firstCalls = 0, secondCalls = 0;
  first = NSEvent::addGlobalMonitorForEventsMatchingMask(NSEventMaskLeftMouseDown, [&](auto) {
    ++firstCalls;
    NSEvent::removeMonitor(first);
    NSEvent::removeMonitor(second);
  });
  second = NSEvent::addGlobalMonitorForEventsMatchingMask(NSEventMaskLeftMouseDown, [&](auto) { ++secondCalls; });
  ui.clickInOtherApplication({1, 1});
  ui.clickInOtherApplication({1, 1});
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(secondCalls, 0) << "a monitor removed during delivery hears nothing more";
}

TEST_F(EventDeliveryTest, TrackingAreasReportEnteringAndLeaving) {
  auto hover = RecordingView::make("hover", NSMakeRect(100, 100, 50, 50), true);
  window->contentView()->addSubview(hover);
  auto area = NSTrackingArea::initWithRect(hover->bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways,
                                           hover, nullptr);
  hover->addTrackingArea(area);

  ui.moveMouse(window, {10, 10});
  ui.moveMouseTo(hover);
  ui.moveMouseTo(hover, NSPoint{1, 1});
  ui.moveMouse(window, {10, 10});
  ui.moveMouseTo(hover);
  ui.moveMouseOutside(window);
  EXPECT_EQ(heard, (std::vector<std::string>{"hover entered", "hover exited", "hover entered", "hover exited"}));

  heard.clear();
  hover->removeTrackingArea(area);
  ui.moveMouseTo(hover);
  EXPECT_TRUE(heard.empty());
}

TEST_F(EventDeliveryTest, AnAreaIsLeftWhenItsWindowGoesAwayAndReadAgainWhenItComesBack) {
  auto hover = RecordingView::make("hover", NSMakeRect(100, 100, 50, 50), true);
  window->contentView()->addSubview(hover);
  hover->addTrackingArea(NSTrackingArea::initWithRect(
      hover->bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways, hover, nullptr));
  const NSPoint overHover = window->convertPointToScreen(hover->convertPointToView(NSPoint{10, 10}, nullptr));
  const NSPoint elsewhere = window->convertPointToScreen(NSPoint{10, 10});
  // A view reaching past the window's left edge, as a tile reaches below a scrolled grid.
  auto overhang = RecordingView::make("overhang", NSMakeRect(-20, 200, 50, 50), true);
  window->contentView()->addSubview(overhang);
  overhang->addTrackingArea(NSTrackingArea::initWithRect(
      overhang->bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways, overhang, nullptr));
  const NSPoint besideTheWindow = window->convertPointToScreen(NSPoint{-10, 210});
  struct Step {
    std::string what;
    std::function<void()> act;
    std::vector<std::string> heard;
  };
  const Step steps[] = {
      {"the pointer comes in", [&] { ui.moveMouseTo(hover); }, {"hover entered"}},
      {"the window goes away under it", [&] { window->orderOut(nullptr); }, {"hover exited"}},
      // The pointer moves on over other programs, which the window does not hear of.
      {"it comes back with the pointer elsewhere", [&] {
         NSEvent::noteMouseLocation(elsewhere);
         window->makeKeyAndOrderFront(nullptr);
       }, {}},
      {"the pointer moves in the window", [&] { ui.moveMouse(window, {20, 20}); }, {}},
      {"away again", [&] { window->orderOut(nullptr); }, {}},
      {"back under a pointer resting over the area", [&] {
         NSEvent::noteMouseLocation(overHover);
         window->makeKeyAndOrderFront(nullptr);
       }, {"hover entered"}},
      {"a move inside it", [&] { ui.moveMouseTo(hover, NSPoint{2, 2}); }, {}},
      {"away again", [&] { window->orderOut(nullptr); }, {"hover exited"}},
      {"back with the pointer beside the window, where a view reaches past its edge", [&] {
         NSEvent::noteMouseLocation(besideTheWindow);
         window->makeKeyAndOrderFront(nullptr);
       }, {}},
      {"the pointer comes onto the part that shows", [&] { ui.moveMouseTo(overhang, NSPoint{30, 10}); },
       {"overhang entered"}},
  };
  for (const auto& step : steps) {
    heard.clear();
    step.act();
    EXPECT_EQ(heard, step.heard) << step.what;
  }
}

TEST_F(EventDeliveryTest, KeyWindowOnlyAreasWaitForTheKeyWindowAndHiddenViewsAreNeverEntered) {
  ui.moveMouse(window, {300, 250});
  auto hover = RecordingView::make("hover", NSMakeRect(0, 0, 50, 50), true);
  window->contentView()->addSubview(hover);
  hover->addTrackingArea(NSTrackingArea::initWithRect(
      hover->bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveInKeyWindow, hover, nullptr));
  auto other = NSWindow::initWithContentRect(NSMakeRect(500, 0, 100, 100), NSWindowStyleMaskTitled);
  other->makeKeyAndOrderFront(nullptr);
  ui.moveMouseTo(hover);
  EXPECT_TRUE(heard.empty());
  window->makeKeyWindow();
  ui.moveMouseTo(hover, NSPoint{2, 2});
  EXPECT_EQ(heard, (std::vector<std::string>{"hover entered"}));
  heard.clear();
  hover->setHidden(true);
  ui.moveMouseTo(window->contentView(), NSPoint{3, 3});
  EXPECT_EQ(heard, (std::vector<std::string>{"hover exited"}));
}

TEST_F(EventDeliveryTest, TheWindowAsksViewsToRebuildTrackingAreasAfterGeometryChanges) {
  struct Counting : NSView {
    static std::shared_ptr<Counting> make() { return finishInit(std::shared_ptr<Counting>(new Counting())); }
    Counting() : NSView(NSMakeRect(0, 0, 10, 10)) {}
    void updateTrackingAreas() override { ++updates; }
    int updates = 0;
  };
  auto view = Counting::make();
  window->contentView()->addSubview(view);
  drainMainQueue();
  int afterAdding = view->updates;
  EXPECT_GE(afterAdding, 1);
  view->setFrameSize({20, 20});
  view->setFrameSize({30, 30});
  EXPECT_EQ(view->updates, afterAdding) << "updates wait for the run loop";
  drainMainQueue();
  EXPECT_EQ(view->updates, afterAdding + 1) << "several changes, one update";
}

TEST_F(EventDeliveryTest, CursorRectanglesChooseThePointer) {
  auto hand = RecordingView::make("hand", NSMakeRect(0, 0, 50, 50), true);
  window->contentView()->addSubview(hand);
  ui.moveMouseTo(hand);
  EXPECT_EQ(NSCursor::currentCursor(), NSCursor::pointingHandCursor());
  ui.moveMouse(window, {300, 250});
  EXPECT_EQ(NSCursor::currentCursor(), NSCursor::arrowCursor());
  hand->setHidden(true);
  ui.moveMouse(window, {10, 10});
  EXPECT_EQ(NSCursor::currentCursor(), NSCursor::arrowCursor());
}

TEST_F(EventDeliveryTest, AClickRecognizerTakesTheClickFromItsViewAndSubviews) {
  auto box = RecordingView::make("box", NSMakeRect(0, 0, 100, 100));
  auto fill = RecordingView::make("fill", NSMakeRect(25, 25, 50, 50));
  window->contentView()->addSubview(box);
  box->addSubview(fill);
  int boxTaps = 0, fillTaps = 0;
  auto boxRecognizer = NSClickGestureRecognizer::initWithTarget([&](auto) { ++boxTaps; });
  box->addGestureRecognizer(boxRecognizer);

  ui.click(fill);
  EXPECT_EQ(boxTaps, 1) << "the box's recogniser sees clicks on its subviews";
  EXPECT_TRUE(heard.empty()) << "a recognised click does not reach the views";

  fill->addGestureRecognizer(NSClickGestureRecognizer::initWithTarget([&](auto) { ++fillTaps; }));
  ui.click(fill);
  ui.click(box, NSPoint{5, 5});
  EXPECT_EQ(fillTaps, 1) << "the nearest recogniser wins";
  EXPECT_EQ(boxTaps, 2);

  ui.drag(box, {5, 5}, {300, 250});
  EXPECT_EQ(boxTaps, 2) << "a release outside the view is no click";

  boxRecognizer->numberOfClicksRequired = 2;
  ui.click(box, NSPoint{5, 5});
  EXPECT_EQ(boxTaps, 2);
  ui.doubleClick(box, NSPoint{5, 5});
  EXPECT_EQ(boxTaps, 3);

  boxRecognizer->isEnabled = false;
  ui.click(box, NSPoint{5, 5});
  EXPECT_EQ(heard, (std::vector<std::string>{"box down", "box up"})) << "a disabled recogniser lets events through";
}

}  // namespace
