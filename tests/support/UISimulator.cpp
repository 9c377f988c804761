#include "tests/support/UISimulator.h"

#include <gtest/gtest.h>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/DragDestinationTracker.h"
#include "platform/appkit/NSDraggingSession.h"
#include "platform/appkit/NSAppearance.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSURL.h"
#include "tests/support/ViewDump.h"

namespace {
double now() { return Clock::current().now(); }

NSPoint centreOf(const NSView& view) { return {view.bounds().midX(), view.bounds().midY()}; }
}  // namespace

void UISimulator::send(const std::shared_ptr<NSEvent>& event) {
  NSApplication::sharedApplication()->handleEvent(event);
  NSRunLoop::main()->drain();
}

std::shared_ptr<NSEvent> UISimulator::mouseEvent(NSEventType type, const std::shared_ptr<NSView>& view,
                                                 std::optional<NSPoint> point, long clickCount,
                                                 NSEventModifierFlags modifiers) {
  auto window = view ? view->window() : nullptr;
  if (!window) {
    ADD_FAILURE() << "the simulator can only reach views that are in a window";
    return nullptr;
  }
  NSPoint local = point.value_or(centreOf(*view));
  NSPoint location = view->convertPointToView(local, nullptr);
  return NSEvent::mouseEventWithType(type, location, modifiers, now(), window->windowNumber(), nullptr,
                                     ++eventNumber_, clickCount, 1.0);
}

void UISimulator::moveMouse(const std::shared_ptr<NSWindow>& window, NSPoint locationInWindow) {
  if (!window) return;
  send(NSEvent::mouseEventWithType(NSEventType::mouseMoved, locationInWindow, 0, now(), window->windowNumber(),
                                   nullptr, ++eventNumber_, 0, 0));
}

void UISimulator::moveMouseTo(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point) {
  if (auto event = mouseEvent(NSEventType::mouseMoved, view, point, 0, 0)) send(event);
}

void UISimulator::moveMouseOutside(const std::shared_ptr<NSWindow>& window) {
  if (!window) return;
  NSRect frame = window->frame();
  moveMouse(window, {frame.width() + 50, frame.height() + 50});
}

void UISimulator::mouseDown(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point, long clickCount,
                            NSEventModifierFlags modifiers) {
  if (auto event = mouseEvent(NSEventType::leftMouseDown, view, point, clickCount, modifiers)) send(event);
}

void UISimulator::mouseUp(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point, long clickCount,
                          NSEventModifierFlags modifiers) {
  if (auto event = mouseEvent(NSEventType::leftMouseUp, view, point, clickCount, modifiers)) send(event);
}

void UISimulator::click(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point,
                        NSEventModifierFlags modifiers) {
  // Keep the target alive across both events: the first may remove it from the tree.
  auto keep = view;
  auto down = mouseEvent(NSEventType::leftMouseDown, view, point, 1, modifiers);
  auto up = mouseEvent(NSEventType::leftMouseUp, view, point, 1, modifiers);
  if (!down || !up) return;
  send(down);
  send(up);
}

void UISimulator::doubleClick(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point) {
  auto keep = view;
  std::shared_ptr<NSEvent> events[4] = {mouseEvent(NSEventType::leftMouseDown, view, point, 1, 0),
                                        mouseEvent(NSEventType::leftMouseUp, view, point, 1, 0),
                                        mouseEvent(NSEventType::leftMouseDown, view, point, 2, 0),
                                        mouseEvent(NSEventType::leftMouseUp, view, point, 2, 0)};
  for (auto& event : events) {
    if (event) send(event);
  }
}

void UISimulator::rightClick(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point) {
  auto keep = view;
  auto down = mouseEvent(NSEventType::rightMouseDown, view, point, 1, 0);
  auto up = mouseEvent(NSEventType::rightMouseUp, view, point, 1, 0);
  if (!down || !up) return;
  send(down);
  send(up);
}

void UISimulator::drag(const std::shared_ptr<NSView>& view, NSPoint from, NSPoint to, int steps) {
  auto keep = view;
  auto window = view ? view->window() : nullptr;
  auto down = mouseEvent(NSEventType::leftMouseDown, view, from, 1, 0);
  if (!down || !window) return;
  // Points are converted up front: the drag may move or remove the view.
  std::vector<NSPoint> path;
  for (int i = 1; i <= std::max(1, steps); ++i) {
    double t = static_cast<double>(i) / std::max(1, steps);
    path.push_back(view->convertPointToView({from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t}, nullptr));
  }
  send(down);
  for (auto& location : path) {
    send(NSEvent::mouseEventWithType(NSEventType::leftMouseDragged, location, 0, now(), window->windowNumber(),
                                     nullptr, ++eventNumber_, 1, 1.0));
  }
  send(NSEvent::mouseEventWithType(NSEventType::leftMouseUp, path.back(), 0, now(), window->windowNumber(), nullptr,
                                   ++eventNumber_, 1, 1.0));
}

DragOutcome UISimulator::dragOut(const std::shared_ptr<NSView>& view, std::optional<DropTarget> target,
                                 std::optional<NSPoint> from) {
  DragOutcome outcome;
  auto keep = view;
  auto window = view ? view->window() : nullptr;
  auto down = mouseEvent(NSEventType::leftMouseDown, view, from, 1, 0);
  if (!down || !window) return outcome;
  NSPoint start = down->locationInWindow();
  auto before = NSDraggingSession::current();
  send(down);
  std::shared_ptr<NSDraggingSession> session;
  NSPoint location = start;
  for (int step = 1; step <= 8 && !session; ++step) {
    location = {start.x + 3.0 * step, start.y - 3.0 * step};
    send(NSEvent::mouseEventWithType(NSEventType::leftMouseDragged, location, 0, now(), window->windowNumber(),
                                     nullptr, ++eventNumber_, 1, 1.0));
    if (auto current = NSDraggingSession::current(); current && current != before) session = current;
  }
  if (!session) {
    send(NSEvent::mouseEventWithType(NSEventType::leftMouseUp, location, 0, now(), window->windowNumber(), nullptr,
                                     ++eventNumber_, 1, 1.0));
    return outcome;
  }
  outcome.began = true;
  NSPoint screen = window->convertPointToScreen(location);
  if (target && target->view) {
    auto tracker = DragDestinationTracker::forSession(session);
    auto destinationWindow = target->view->window();
    if (!destinationWindow) ADD_FAILURE() << "the drop target is in no window";
    NSPoint at = target->view->convertPointToView(centreOf(*target->view), nullptr);
    if (destinationWindow) {
      tracker->moveTo(destinationWindow, at);
      outcome.operation = tracker->drop();
      screen = destinationWindow->convertPointToScreen(at);
    }
  } else if (target) {
    auto pasteboard = session->draggingPasteboard();
    bool gotData = false;
    for (const auto& type : target->reads) {
      auto data = pasteboard->dataForType(type);
      outcome.read[type] = data ? std::optional<std::string>(data->string()) : std::nullopt;
      gotData = gotData || data;
    }
    if (gotData) {
      outcome.operation = NSDragOperationChosen(
          target->accepts, session->sourceOperationMask(NSDraggingContext::outsideApplication));
    }
    screen = {screen.x + 400, screen.y};
  }
  session->endAtPoint(screen, outcome.operation);
  NSRunLoop::main()->drain();
  return outcome;
}

NSDragOperation UISimulator::dropFromOtherApplication(const std::shared_ptr<NSView>& view,
                                                      const std::vector<std::shared_ptr<NSPasteboardItem>>& items,
                                                      NSDragOperation allowed, std::optional<NSPoint> point) {
  auto window = view ? view->window() : nullptr;
  if (!window) {
    ADD_FAILURE() << "the simulator can only reach views that are in a window";
    return NSDragOperationNone;
  }
  auto pasteboard = NSPasteboard::pasteboardWithName(NSPasteboardNameDrag);
  pasteboard->installForeignContents(items);
  auto tracker = DragDestinationTracker::forOtherApplication(pasteboard, allowed);
  NSPoint at = view->convertPointToView(point.value_or(centreOf(*view)), nullptr);
  tracker->moveTo(window, at);
  NSRunLoop::main()->drain();
  // A destination may answer later, after work on another thread: the simulator waits for
  // the answer as the dragging program would.
  auto performed = std::make_shared<std::optional<NSDragOperation>>();
  tracker->drop([performed](NSDragOperation operation) { *performed = operation; });
  NSRunLoop::main()->drain();
  if (!performed->has_value()) NSRunLoop::main()->runUntil([&] { return performed->has_value(); }, 30.0);
  EXPECT_TRUE(performed->has_value()) << "the destination never answered the drop";
  return performed->value_or(NSDragOperationNone);
}

bool UISimulator::openMenuWith(const std::shared_ptr<NSView>& view) {
  if (auto open = NSMenu::openMenu()) open->cancelTracking();
  click(view);
  return NSMenu::openMenu() != nullptr;
}

std::string UISimulator::openMenuText() const { return dumpMenu(NSMenu::openMenu()); }

bool UISimulator::chooseMenuItem(const std::vector<std::string>& path) {
  auto menu = NSMenu::openMenu();
  if (!menu || path.empty()) {
    ADD_FAILURE() << "no menu is open";
    return false;
  }
  for (std::size_t i = 0; i < path.size(); ++i) {
    auto item = menu->itemWithTitle(path[i]);
    if (!item) {
      ADD_FAILURE() << "the open menu has no item \"" << path[i] << "\":\n" << dumpMenu(NSMenu::openMenu());
      return false;
    }
    if (i + 1 < path.size()) {
      menu = item->submenu();
      if (!menu) {
        ADD_FAILURE() << "\"" << path[i] << "\" opens no submenu";
        return false;
      }
      continue;
    }
    bool chosen = menu->performActionForItemAtIndex(menu->indexOfItem(item));
    NSRunLoop::main()->drain();
    return chosen;
  }
  return false;
}

void UISimulator::dismissMenu() {
  if (auto menu = NSMenu::openMenu()) menu->cancelTracking();
  NSRunLoop::main()->drain();
}

void UISimulator::scriptOpenPanel(std::optional<std::vector<std::string>> paths) {
  openPanelAnswers_.push_back(std::move(paths));
}

bool UISimulator::clickText(const std::shared_ptr<NSView>& view, std::string_view text) {
  auto textView = asA<NSTextView>(view);
  if (!textView) {
    ADD_FAILURE() << "clickText needs a text view";
    return false;
  }
  auto whole = utf16FromUtf8(textView->string());
  auto needle = utf16FromUtf8(text);
  auto at = whole.find(needle);
  if (at == std::u16string::npos || needle.empty()) {
    ADD_FAILURE() << "no \"" << text << "\" in the text view";
    return false;
  }
  // The middle of the first character: safely inside it whatever the font.
  NSRect rect = textView->rectForCharacterRange(NSMakeRange(at, 1));
  click(textView, NSPoint{rect.midX(), rect.midY()});
  return true;
}

void UISimulator::scrollWheel(const std::shared_ptr<NSView>& view, double deltaX, double deltaY,
                              std::optional<NSPoint> point) {
  auto window = view ? view->window() : nullptr;
  if (!window) {
    ADD_FAILURE() << "the simulator can only reach views that are in a window";
    return;
  }
  NSPoint location = view->convertPointToView(point.value_or(centreOf(*view)), nullptr);
  send(NSEvent::scrollWheelEvent(location, 0, now(), window->windowNumber(), deltaX, deltaY, true));
}

long UISimulator::keyWindowNumber() const {
  auto window = NSApplication::sharedApplication()->keyWindow();
  return window ? window->windowNumber() : 0;
}

void UISimulator::keyDown(std::uint16_t keyCode, std::string characters, NSEventModifierFlags modifiers) {
  std::string ignoring = characters;
  if (ignoring.size() == 1 && ignoring[0] >= 'A' && ignoring[0] <= 'Z') ignoring[0] = static_cast<char>(ignoring[0] - 'A' + 'a');
  send(NSEvent::keyEventWithType(NSEventType::keyDown, NSZeroPoint, modifiers, now(), keyWindowNumber(), nullptr,
                                 characters, ignoring, false, keyCode));
}

void UISimulator::keyUp(std::uint16_t keyCode, std::string characters, NSEventModifierFlags modifiers) {
  send(NSEvent::keyEventWithType(NSEventType::keyUp, NSZeroPoint, modifiers, now(), keyWindowNumber(), nullptr,
                                 characters, characters, false, keyCode));
}

void UISimulator::pressKey(std::uint16_t keyCode, std::string characters, NSEventModifierFlags modifiers) {
  keyDown(keyCode, characters, modifiers);
  keyUp(keyCode, characters, modifiers);
}

void UISimulator::typeText(std::string_view text) {
  // One key per character; characters no key types (accented letters, emoji) arrive as
  // an input method would deliver them, with key code 0.
  std::size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::string character(text.substr(i, length));
    i += length;
    std::uint16_t code = 0;
    bool shift = false;
    if (character.size() == 1 && NSKeyCode::forCharacter(static_cast<char32_t>(lead), code, shift)) {
      pressKey(code, character, shift ? NSEventModifierFlagShift : 0);
    } else {
      pressKey(0, character);
    }
  }
}

void UISimulator::clickInOtherApplication(NSPoint screenLocation, bool rightButton) {
  auto app = NSApplication::sharedApplication();
  auto downType = rightButton ? NSEventType::rightMouseDown : NSEventType::leftMouseDown;
  auto upType = rightButton ? NSEventType::rightMouseUp : NSEventType::leftMouseUp;
  app->handleEventOfOtherApplication(
      NSEvent::mouseEventWithType(downType, screenLocation, 0, now(), 0, nullptr, ++eventNumber_, 1, 1.0));
  NSRunLoop::main()->drain();
  app->handleEventOfOtherApplication(
      NSEvent::mouseEventWithType(upType, screenLocation, 0, now(), 0, nullptr, ++eventNumber_, 1, 1.0));
  NSRunLoop::main()->drain();
}

void UISimulator::advance(double seconds) {
  auto clock = std::dynamic_pointer_cast<ManualClock>(Clock::currentShared());
  if (!clock) {
    ADD_FAILURE() << "advance needs the manual clock of the test fixture";
    return;
  }
  clock->advance(seconds);
}

void UISimulator::attach() {
  NSApplication::resetSharedApplication();
  NSScreen::resetScreens();
  NSPasteboard::resetPasteboards();
  NSDraggingSession::resetSessions();
  NSMenu::resetMenus();
  NSWorkspace::sharedWorkspace()->setOpener([this](const std::shared_ptr<NSURL>& url) {
    openedURLs.push_back(url->absoluteString());
    return true;
  });
  NSOpenPanel::setPresenter([this](const NSOpenPanel& panel) -> std::optional<std::vector<std::shared_ptr<NSURL>>> {
    std::string run;
    if (panel.canChooseFiles) run += "files ";
    if (panel.canChooseDirectories) run += "folders ";
    if (panel.allowsMultipleSelection) run += "several ";
    for (const auto& type : panel.allowedFileTypes) run += "." + type + " ";
    if (openPanelAnswers_.empty()) {
      ADD_FAILURE() << "an open panel ran with no scripted answer";
      openPanelRuns.push_back(run + "-> no answer");
      return std::nullopt;
    }
    auto answer = openPanelAnswers_.front();
    openPanelAnswers_.erase(openPanelAnswers_.begin());
    openPanelRuns.push_back(run + (answer ? "-> " + std::to_string(answer->size()) : std::string("-> cancel")));
    if (!answer) return std::nullopt;
    std::vector<std::shared_ptr<NSURL>> urls;
    for (const auto& path : *answer) urls.push_back(NSURL::fileURLWithPath(path));
    return urls;
  });
}

void UISimulator::detach() {
  NSDraggingSession::resetSessions();
  NSMenu::resetMenus();
  NSAppearance::setEffectiveAppearance(nullptr);
  NSWorkspace::sharedWorkspace()->setOpener(nullptr);
  NSOpenPanel::setPresenter(nullptr);
  NSApplication::resetSharedApplication();
  NSScreen::resetScreens();
  NSPasteboard::resetPasteboards();
}

void UITest::SetUp() {
  GlimdeckTest::SetUp();
  ui.attach();
}

void UITest::TearDown() {
  ui.detach();
  GlimdeckTest::TearDown();
}
