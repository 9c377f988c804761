// The kit's menus on a real X server: a pop-up window where the menu was asked for, kept
// on the screen; hover, clicks and keys choose through the responder chain; submenus;
// disabled items; Escape, clicks elsewhere and the focus moving away close it. Driven with
// xdotool, found by the window's name, checked by the pixels of screenshots.

#include <X11/Xlib.h>
#include <gtest/gtest.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>

#include "platform/appkit/MenuRenderer.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/Paths.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/HostMenu.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

using M = MenuRenderer::Metrics;

// A view that handles the commands it is given and counts the presses that reach it.
class CommandView : public NSView {
 public:
  static std::shared_ptr<CommandView> make(NSRect frame, std::set<std::string> commands) {
    auto view = finishInit(std::shared_ptr<CommandView>(new CommandView(frame)));
    view->commands = std::move(commands);
    return view;
  }
  std::set<std::string> commands;
  std::vector<std::string> heard;
  std::vector<std::string> presses;  // "down" and "up" as they reach the view

  // Runs while "runModal" is chosen.
  std::function<void()> modal;

  bool respondsToCommand(std::string_view selector) const override { return commands.contains(std::string(selector)); }
  bool acceptsFirstResponder() const override { return true; }
  void mouseDown(const std::shared_ptr<NSEvent>&) override { presses.push_back("down"); }
  void mouseUp(const std::shared_ptr<NSEvent>&) override { presses.push_back("up"); }

 protected:
  void performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) override {
    auto item = asA<NSMenuItem>(sender);
    heard.push_back(std::string(selector) + " from " + (item ? item->title : "?"));
    if (selector == "runModal" && modal) modal();
  }

 private:
  using NSView::NSView;
};

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

// The rows of the test's menu.
enum Row : long { copyGif, copyLink, paste, separator, addToPack, version };

bool near(std::uint32_t pixel, const CGColor& colour, int tolerance = 6) {
  auto channel = [&](int shift, double value) {
    return std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>(std::lround(value * 255))) <= tolerance;
  };
  return channel(16, colour.red) && channel(8, colour.green) && channel(0, colour.blue);
}

class HostMenuTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    if (!host) return;
    window = NSWindow::initWithContentRect(NSMakeRect(100, 500, 300, 200), NSWindowStyleMaskTitled);
    window->title = "Menu owner";
    view = CommandView::make(NSMakeRect(0, 0, 300, 200), {"copyGif", "copyLink", "addToCollectionClicked:"});
    window->contentView()->addSubview(view);
    showAndWait(window);
    window->makeFirstResponder(view);

    menu = NSMenu::make();
    menu->addItemWithTitle("Copy GIF", "copyGif", "");
    menu->addItemWithTitle("Copy Link", "copyLink", "");
    menu->addItemWithTitle("Paste", "paste:", "");  // nobody handles it: disabled
    menu->addItem(NSMenuItem::separatorItem());
    auto packs = NSMenu::make();
    packs->addItemWithTitle("Cats", "addToCollectionClicked:", "");
    packs->addItemWithTitle("Dogs", "addToCollectionClicked:", "");
    auto add = NSMenuItem::initWithTitle("Add to Pack", "", "");
    add->setSubmenu(packs);
    menu->addItem(add);
    menu->addItemWithTitle("Version 1.0", "", "");  // no action, no submenu: disabled
  }
  void TearDown() override {
    if (auto open = NSMenu::openMenu()) open->cancelTracking();
    menu.reset();
    view.reset();
    window.reset();
    HostTest::TearDown();
  }

  std::string menuName(bool submenu = false) const {
    return Paths::applicationName() + (submenu ? " submenu" : " menu");
  }
  // The windows X knows by the menu's name.
  std::vector<std::string> windowsNamed(const std::string& name) {
    auto found = run({"xdotool", "search", "--name", "^" + name + "$"});
    std::vector<std::string> ids;
    std::istringstream lines(found.output);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty()) ids.push_back(line);
    }
    return ids;
  }
  Geometry geometry(const std::string& id) {
    auto shell = run({"xdotool", "getwindowgeometry", "--shell", id}).output;
    Geometry g;
    std::istringstream lines(shell);
    for (std::string line; std::getline(lines, line);) {
      auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      int value = std::atoi(line.c_str() + eq + 1);
      auto key = line.substr(0, eq);
      if (key == "X") g.x = value;
      if (key == "Y") g.y = value;
      if (key == "WIDTH") g.width = value;
      if (key == "HEIGHT") g.height = value;
    }
    return g;
  }
  // Opens the test's menu with its corner at the desktop point and waits for its picture.
  void openAt(double x, double y) {
    auto frames = host->menus()->framesShown();
    ASSERT_TRUE(menu->popUpMenuPositioningItem(nullptr, host->screenPointFromDesktop(x, y), nullptr));
    ASSERT_TRUE(runUntil([&] { return host->menus()->framesShown() > frames; })) << "the menu never showed";
    host->sync();
    auto ids = windowsNamed(menuName());
    ASSERT_EQ(ids.size(), 1u);
    menuId = ids[0];
    shown = geometry(menuId);
  }
  // The middle of a row of the open menu (or of a window at that geometry), on the desktop.
  static NSPoint rowCentre(const Geometry& at, const NSMenu& of, long row) {
    NSRect r = MenuRenderer::itemFrames(of)[static_cast<std::size_t>(row)];
    return {at.x + 30.0, at.y + r.midY()};
  }
  // xdotool returns once the X server has its requests (it closes its connection), so the
  // pointer is there when it has finished. (Its --sync waits forever for a move to where
  // the pointer already is.)
  void pointTo(NSPoint p) {
    run({"xdotool", "mousemove", std::to_string(std::lround(p.x)), std::to_string(std::lround(p.y))});
  }
  void clickOn(NSPoint p, int button = 1) {
    run({"xdotool", "mousemove", std::to_string(std::lround(p.x)), std::to_string(std::lround(p.y)), "click",
         std::to_string(button)});
  }
  void keys(const std::vector<std::string>& names) {
    std::vector<std::string> argv{"xdotool", "key", "--delay", "30"};
    argv.insert(argv.end(), names.begin(), names.end());
    run(argv);
  }
  // Waits for the menus' pictures to change, then takes one of the window.
  Screenshot pictureAfter(std::size_t frames, const std::string& id, const std::string& name) {
    EXPECT_TRUE(runUntil([&] { return host->menus()->framesShown() > frames; })) << name << ": no new picture";
    host->sync();
    return screenshot(id, name);
  }
  bool rowSelected(const Screenshot& shot, const NSMenu& of, long row) {
    NSRect r = MenuRenderer::itemFrames(of)[static_cast<std::size_t>(row)];
    return near(shot.at(static_cast<int>(M::highlightInset) + 3, static_cast<int>(r.midY())),
                MenuRenderer::Colours::selection);
  }
  bool closed() {
    return runUntil([&] { return !host->menus()->isOpen() && NSMenu::openMenu() == nullptr; });
  }

  std::shared_ptr<NSWindow> window;
  std::shared_ptr<CommandView> view;
  std::shared_ptr<NSMenu> menu;
  std::string menuId;
  Geometry shown;
};

TEST_F(HostMenuTest, AMenuShowsWhereAskedHighlightsUnderThePointerAndAClickChoosesThroughTheResponderChain) {
  openAt(500, 300);
  const NSSize size = MenuRenderer::sizeOfMenu(*menu);
  EXPECT_EQ(shown.x, 500);
  EXPECT_EQ(shown.y, 300);
  EXPECT_EQ(shown.width, static_cast<int>(size.width));
  EXPECT_EQ(shown.height, static_cast<int>(size.height));
  EXPECT_EQ(host->menus()->nativeWindowIds(), std::vector<unsigned long>{std::stoul(menuId)});

  auto still = screenshot(menuId, "host-menu-open");
  ASSERT_TRUE(still.valid());
  EXPECT_FALSE(rowSelected(still, *menu, copyLink)) << "nothing is selected before the pointer comes";

  auto frames = host->menus()->framesShown();
  pointTo(rowCentre(shown, *menu, copyLink));
  auto hovered = pictureAfter(frames, menuId, "host-menu-hover");
  EXPECT_TRUE(rowSelected(hovered, *menu, copyLink));
  EXPECT_FALSE(rowSelected(hovered, *menu, copyGif));

  clickOn(rowCentre(shown, *menu, copyLink));
  ASSERT_TRUE(closed());
  EXPECT_EQ(view->heard, std::vector<std::string>{"copyLink from Copy Link"}) << "the key window's first responder";
  EXPECT_TRUE(windowsNamed(menuName()).empty()) << "the menu's window went";
  EXPECT_TRUE(view->presses.empty());
}

TEST_F(HostMenuTest, KeysMoveThroughTheEnabledItemsIntoAndOutOfSubmenusAndReturnChooses) {
  // Down three times passes over the disabled item and the separator to "Add to Pack";
  // Return opens its submenu with the first item selected.
  openAt(500, 300);
  keys({"Down", "Down", "Down", "Return"});
  ASSERT_TRUE(runUntil([&] { return windowsNamed(menuName(true)).size() == 1; })) << "the submenu opened";
  keys({"Down", "Return"});
  ASSERT_TRUE(closed());
  EXPECT_EQ(view->heard, std::vector<std::string>{"addToCollectionClicked: from Dogs"});

  // Up from nothing selected: the last enabled item; Right opens its submenu and Left
  // closes it, leaving the item selected; Up goes on from there.
  view->heard.clear();
  openAt(500, 300);
  keys({"Up"});
  auto frames = host->menus()->framesShown();
  keys({"Right"});
  ASSERT_TRUE(runUntil([&] { return windowsNamed(menuName(true)).size() == 1; }));
  auto withSubmenu = pictureAfter(frames, menuId, "host-menu-keys-submenu");
  EXPECT_TRUE(rowSelected(withSubmenu, *menu, addToPack));
  keys({"Left"});
  ASSERT_TRUE(runUntil([&] { return windowsNamed(menuName(true)).empty(); })) << "Left closed the submenu";
  EXPECT_TRUE(host->menus()->isOpen());
  keys({"Up", "Up", "Return"});
  ASSERT_TRUE(closed());
  EXPECT_EQ(view->heard, std::vector<std::string>{"copyGif from Copy GIF"});
}

TEST_F(HostMenuTest, ASubmenuOpensBesideItsItemUnderThePointerAndChooses) {
  openAt(500, 300);
  pointTo(rowCentre(shown, *menu, addToPack));
  ASSERT_TRUE(runUntil([&] { return windowsNamed(menuName(true)).size() == 1; })) << "hovering opened the submenu";
  auto subId = windowsNamed(menuName(true))[0];
  auto sub = geometry(subId);
  auto packs = menu->itemAtIndex(addToPack)->submenu();
  EXPECT_EQ(sub.x, shown.x + shown.width) << "right of its menu";
  EXPECT_EQ(sub.y, shown.y + static_cast<int>(MenuRenderer::itemFrames(*menu)[addToPack].minY() - M::verticalPadding))
      << "its first item level with the item that opened it";
  EXPECT_EQ(host->menus()->nativeWindowIds().size(), 2u);

  // Across into the submenu along the item's row, then down to "Dogs".
  auto frames = host->menus()->framesShown();
  pointTo(rowCentre(sub, *packs, 0));
  ASSERT_TRUE(runUntil([&] { return host->menus()->framesShown() > frames; }));
  frames = host->menus()->framesShown();
  pointTo(rowCentre(sub, *packs, 1));
  auto picture = pictureAfter(frames, subId, "host-menu-submenu");
  EXPECT_TRUE(rowSelected(picture, *packs, 1));
  clickOn(rowCentre(sub, *packs, 1));
  ASSERT_TRUE(closed());
  EXPECT_EQ(view->heard, std::vector<std::string>{"addToCollectionClicked: from Dogs"});
  EXPECT_TRUE(windowsNamed(menuName(true)).empty());
}

TEST_F(HostMenuTest, DisabledItemsAndSeparatorsAreNeitherSelectedNorChosen) {
  openAt(500, 300);
  for (long row : {paste, separator, version}) {
    SCOPED_TRACE(row);
    auto frames = host->menus()->framesShown();
    pointTo(rowCentre(shown, *menu, copyGif));
    ASSERT_TRUE(runUntil([&] { return host->menus()->framesShown() > frames; }));
    frames = host->menus()->framesShown();
    clickOn(rowCentre(shown, *menu, row));
    auto picture = pictureAfter(frames, menuId, "host-menu-disabled-" + std::to_string(row));
    EXPECT_FALSE(rowSelected(picture, *menu, row));
    EXPECT_FALSE(rowSelected(picture, *menu, copyGif)) << "the pointer left the enabled item";
    EXPECT_TRUE(host->menus()->isOpen()) << "the menu stays open";
  }
  keys({"Down", "Down", "Down", "Return"});
  ASSERT_TRUE(runUntil([&] { return windowsNamed(menuName(true)).size() == 1; }))
      << "the keys passed over the disabled item to the submenu's";
  EXPECT_TRUE(view->heard.empty());
}

// Another program's window, for clicks and the focus to go to.
struct OtherWindow {
  GtkWidget* window = nullptr;
  OtherWindow(int x, int y) {
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 160, 120);
    gtk_window_move(GTK_WINDOW(window), x, y);
  }
  ~OtherWindow() { gtk_widget_destroy(window); }
  std::string id() const { return std::to_string(GDK_WINDOW_XID(gtk_widget_get_window(window))); }
};

TEST_F(HostMenuTest, EscapeAClickElsewhereOrTheFocusGoingAwayClosesWithoutChoosing) {
  OtherWindow other(900, 600);
  gtk_widget_show_all(other.window);
  ASSERT_TRUE(runUntil([&] { return gtk_widget_get_mapped(other.window) != 0; }));
  host->sync();
  int otherPrograms = 0;
  auto monitor = NSEvent::addGlobalMonitorForEventsMatchingMask(NSEventMaskLeftMouseDown | NSEventMaskRightMouseDown,
                                                                [&](const std::shared_ptr<NSEvent>&) { ++otherPrograms; });
  // Base (150, 100) of the window is its middle: desktop (250, 1024 - 500 - 100).
  const NSPoint inOurWindow{250, 1024 - 600};
  struct Closer {
    std::string name;
    std::function<void()> close;
  };
  const std::vector<Closer> closers{
      {"Escape", [&] { keys({"Escape"}); }},
      {"a click in our own window", [&] { clickOn(inOurWindow); }},
      {"a click in another program's window", [&] { clickOn({980, 660}); }},
      {"a right click on the desktop", [&] { clickOn({1200, 100}, 3); }},
      {"the focus going to another program", [&] { run({"xdotool", "windowfocus", "--sync", other.id()}); }},
  };
  for (const auto& closer : closers) {
    SCOPED_TRACE(closer.name);
    window->makeKeyAndOrderFront(nullptr);
    run({"xdotool", "windowfocus", "--sync", windowId(window)});
    openAt(500, 300);
    pointTo(rowCentre(shown, *menu, copyGif));
    closer.close();
    ASSERT_TRUE(closed());
    EXPECT_TRUE(windowsNamed(menuName()).empty());
    // Whatever went to the pointer afterwards, nothing was chosen and the closing press
    // reached nobody: not our view, not the monitors of other programs' clicks.
    clickOn(inOurWindow);
    EXPECT_TRUE(runUntil([&] { return view->presses.size() >= 2 && view->presses.back() == "up"; }))
        << "our window takes clicks again";
    EXPECT_EQ(view->presses, (std::vector<std::string>{"down", "up"})) << "and heard no half of the closing click";
    EXPECT_TRUE(view->heard.empty());
    EXPECT_EQ(otherPrograms, 0);
    view->presses.clear();
  }
  NSEvent::removeMonitor(monitor);
}

TEST_F(HostMenuTest, NearTheScreensEdgesMenusFlipAndStayOnTheScreen) {
  const NSSize size = MenuRenderer::sizeOfMenu(*menu);
  const int w = static_cast<int>(size.width), h = static_cast<int>(size.height);
  struct Case {
    double x, y;
    int expectX, expectY;
  };
  // Xvfb's screen is 1280 × 1024.
  const Case cases[] = {
      {1270, 300, 1270 - w, 300},         // the right edge: left of the point
      {500, 1000, 500, 1000 - h},         // the bottom: above the point
      {1279, 1023, 1279 - w, 1023 - h},   // the corner: both
      {-40, -60, 0, 0},                   // off the top left: shifted in
      {1500, 2000, 1280 - w, 1024 - h},   // off the bottom right: shifted in
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    openAt(c.x, c.y);
    EXPECT_EQ(shown.x, c.expectX);
    EXPECT_EQ(shown.y, c.expectY);
    keys({"Escape"});
    ASSERT_TRUE(closed());
  }

  // A submenu that has no room on the right opens on the left of its menu.
  openAt(1280 - w - 10, 400);
  pointTo(rowCentre(shown, *menu, addToPack));
  ASSERT_TRUE(runUntil([&] { return windowsNamed(menuName(true)).size() == 1; }));
  auto sub = geometry(windowsNamed(menuName(true))[0]);
  EXPECT_EQ(sub.x + sub.width, shown.x);
  screenshot(menuId, "host-menu-edge");
}

TEST_F(HostMenuTest, AChoiceThatRunsAModalWindowLeavesTheKeysAndTheDesktopsFocusWithIt) {
  // The choice's action runs a modal window, as "Preferences" does: the menu's grab ends
  // and the new window takes the focus at once, and the desktop's reports of both must
  // not toss the focus between the windows.
  view->commands.insert("runModal");
  menu->addItemWithTitle("Settings…", "runModal", "");
  auto dialog = NSWindow::initWithContentRect(NSMakeRect(600, 500, 200, 100), NSWindowStyleMaskTitled);
  struct Watch {
    DesktopHost* host;
    std::shared_ptr<NSWindow> dialog;
    int settledTurns = 0;
    int turns = 0;
  } watch{host.get(), dialog};
  view->modal = [&] {
    // Polled from the desktop's own loop while the modal window runs: it ends the modal
    // run once the focus has rested on the dialog for a few turns (or after a long time).
    g_timeout_add(20, [](gpointer data) -> gboolean {
      auto* w = static_cast<Watch*>(data);
      Display* x = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
      Window focus = 0;
      int revert = 0;
      XGetInputFocus(x, &focus, &revert);
      const bool resting = focus == w->host->nativeWindowId(w->dialog) && NSApp()->keyWindow() == w->dialog;
      w->settledTurns = resting ? w->settledTurns + 1 : 0;
      if (w->settledTurns >= 10 || ++w->turns > 1000) {
        NSApp()->stopModal();
        return G_SOURCE_REMOVE;
      }
      return G_SOURCE_CONTINUE;
    }, &watch);
    NSApp()->runModalForWindow(dialog);
  };
  openAt(500, 300);
  const long settings = menu->numberOfItems() - 1;
  clickOn(rowCentre(shown, *menu, settings));
  ASSERT_TRUE(runUntil([&] { return !view->heard.empty() && watch.settledTurns >= 10; }, 30))
      << "the focus never rested on the modal window";
  EXPECT_EQ(view->heard, std::vector<std::string>{"runModal from Settings…"});
  dialog->orderOut(nullptr);
}

// Run in a process of its own with GDK_SCALE=2 (below).
TEST_F(HostMenuTest, ScaleProbe) {
  if (!std::getenv("GLIMDECK_MENU_SCALE_PROBE")) GTEST_SKIP() << "run by the scale test in a process of its own";
  // X's pixels are two of GDK's (and the kit's) points here.
  openAt(200, 200);
  const NSSize size = MenuRenderer::sizeOfMenu(*menu);
  EXPECT_EQ(shown.x, 400);
  EXPECT_EQ(shown.width, 2 * static_cast<int>(size.width));
  auto frames = host->menus()->framesShown();
  NSPoint row0 = rowCentre({200, 200, 0, 0}, *menu, copyGif);
  pointTo({2 * row0.x, 2 * row0.y});
  auto shot = pictureAfter(frames, menuId, "host-menu-scale-2");
  ASSERT_EQ(shot.width, 2 * static_cast<int>(size.width)) << "two pixels a point";
  NSRect row = MenuRenderer::itemFrames(*menu)[copyGif];
  const int y = static_cast<int>(2 * row.midY());
  const int edge = static_cast<int>(2 * M::highlightInset);
  EXPECT_TRUE(near(shot.at(edge + 2, y), MenuRenderer::Colours::selection));
  EXPECT_FALSE(near(shot.at(edge - 2, y), MenuRenderer::Colours::selection)) << "the selection's edge is sharp";
}

TEST_F(HostMenuTest, MenusArePaintedAtTheDisplaysScale) {
  setenv("GDK_SCALE", "2", 1);
  setenv("GLIMDECK_MENU_SCALE_PROBE", "1", 1);
  auto probe = run({"/proc/self/exe", "--gtest_filter=HostMenuTest.ScaleProbe"}, 60);
  unsetenv("GDK_SCALE");
  unsetenv("GLIMDECK_MENU_SCALE_PROBE");
  EXPECT_EQ(probe.status, 0) << probe.output;
  EXPECT_NE(probe.output.find("[  PASSED  ] 1 test"), std::string::npos) << probe.output;
}

}  // namespace
