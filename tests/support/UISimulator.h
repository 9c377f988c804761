#pragma once
// Drives the application as a user would: pointer moves, clicks, drags, keys, typing and
// the scroll wheel go through NSApplication's event path (local monitors, then the window
// and its views); a click in another application reaches only the global monitors. After
// each event the main queue runs, as a turn of the run loop would.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/appkit/NSEvent.h"
#include "platform/foundation/NSGeometry.h"

class NSView;
class NSWindow;
class NSPasteboardItem;

using NSDragOperation = std::uint64_t;

// Where a drag out of a view ends. With a view, a destination of this application takes the
// drop; otherwise the other program called `application` reads `reads` from the drag
// pasteboard (each once) and accepts the drop with `accepts` when one of them gave data.
struct DropTarget {
  std::string application;
  std::vector<std::string> reads;
  NSDragOperation accepts = 1;  // copy
  std::shared_ptr<NSView> view;
};

struct DragOutcome {
  bool began = false;                 // the application began a dragging session
  NSDragOperation operation = 0;      // what the drop performed; none when cancelled or refused
  std::map<std::string, std::optional<std::string>> read;  // what the other program got, by type
};

class UISimulator {
 public:
  // Takes over the application's desktop for a test: a fresh application object, screens,
  // pasteboards, drag sessions and menus, the workspace's opener and the open panel's
  // presenter; detach gives them back. UITest does both around each test; fixtures with a
  // base of their own call them.
  void attach();
  void detach();

  // Pointer. Points are in the view's own coordinates; without one, its centre.
  void moveMouse(const std::shared_ptr<NSWindow>& window, NSPoint locationInWindow);
  void moveMouseTo(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point = std::nullopt);
  // Moves the pointer to a place on the screen outside every window of the application.
  void moveMouseOutside(const std::shared_ptr<NSWindow>& window);

  void mouseDown(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point = std::nullopt,
                 long clickCount = 1, NSEventModifierFlags modifiers = 0);
  void mouseUp(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point = std::nullopt,
               long clickCount = 1, NSEventModifierFlags modifiers = 0);
  void click(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point = std::nullopt,
             NSEventModifierFlags modifiers = 0);
  void doubleClick(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point = std::nullopt);
  void rightClick(const std::shared_ptr<NSView>& view, std::optional<NSPoint> point = std::nullopt);
  // Presses at `from`, drags through `steps` intermediate points and releases at `to`
  // (both in the view's coordinates).
  void drag(const std::shared_ptr<NSView>& view, NSPoint from, NSPoint to, int steps = 4);
  // Presses on the view (at `from`, else its centre) and drags until the application begins
  // a dragging session, then drops on the target, or cancels (Escape) without one. The
  // pointer belongs to the drag once it began: the view sees no more mouse events.
  DragOutcome dragOut(const std::shared_ptr<NSView>& view, std::optional<DropTarget> target,
                      std::optional<NSPoint> from = std::nullopt);
  // Another program's drag, carrying the items, moves onto the view (at `point`, else its
  // centre) and is released there. Answers the operation performed (none when refused).
  NSDragOperation dropFromOtherApplication(const std::shared_ptr<NSView>& view,
                                           const std::vector<std::shared_ptr<NSPasteboardItem>>& items,
                                           NSDragOperation allowed = 1, std::optional<NSPoint> point = std::nullopt);

  // Menus. Clicks the view and answers whether that opened a menu; the open menu as text
  // (empty when none is open, see dumpMenu); chooses the item at the path of titles (a
  // submenu's item after its item's title); closes the open menu without a choice.
  bool openMenuWith(const std::shared_ptr<NSView>& view);
  std::string openMenuText() const;
  bool chooseMenuItem(const std::vector<std::string>& path);
  void dismissMenu();

  // The desktop. Addresses the application opened (no browser starts in tests), and the
  // answers of the next open panels, in order: URLs, or none for Cancel. A panel that runs
  // with no answer left is a failure (and cancelled). Each run is noted as text: its
  // rules ("files", "folders", "several", the types) and the answer it gave.
  std::vector<std::string> openedURLs;
  void scriptOpenPanel(std::optional<std::vector<std::string>> paths);
  std::vector<std::string> openPanelRuns;

  // Clicks the first occurrence of a text in a text view (links are clicked this way).
  bool clickText(const std::shared_ptr<NSView>& textView, std::string_view text);

  void scrollWheel(const std::shared_ptr<NSView>& view, double deltaX, double deltaY,
                   std::optional<NSPoint> point = std::nullopt);

  // Keys go to the key window.
  void keyDown(std::uint16_t keyCode, std::string characters, NSEventModifierFlags modifiers = 0);
  void keyUp(std::uint16_t keyCode, std::string characters, NSEventModifierFlags modifiers = 0);
  void pressKey(std::uint16_t keyCode, std::string characters, NSEventModifierFlags modifiers = 0);
  void typeText(std::string_view text);
  void pressReturn() { pressKey(NSKeyCode::returnKey, "\r"); }
  void pressTab() { pressKey(NSKeyCode::tab, "\t"); }
  void pressBacktab() { pressKey(NSKeyCode::tab, "\x19", NSEventModifierFlagShift); }
  void pressEscape() { pressKey(NSKeyCode::escape, "\x1b"); }
  void pressDelete() { pressKey(NSKeyCode::deleteKey, "\x7f"); }

  // A press and release at a place on the screen that belongs to another application.
  void clickInOtherApplication(NSPoint screenLocation, bool rightButton = false);

  // Moves the manual clock (timers, delayed blocks, animation completions run).
  void advance(double seconds);

  // Delivers a ready-made event (monitors first) and runs the main queue.
  void send(const std::shared_ptr<NSEvent>& event);

 private:
  std::shared_ptr<NSEvent> mouseEvent(NSEventType type, const std::shared_ptr<NSView>& view,
                                      std::optional<NSPoint> point, long clickCount, NSEventModifierFlags modifiers);
  long keyWindowNumber() const;
  long eventNumber_ = 0;
  std::vector<std::optional<std::vector<std::string>>> openPanelAnswers_;
};

#include "tests/support/TestEnvironment.h"

// The fixture of interface tests: a fresh application object (no windows, monitors or
// key window) around each test, and a simulator.
class UITest : public GlimdeckTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  UISimulator ui;
};
