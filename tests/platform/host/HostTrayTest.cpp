// Status items on a real X server. In an XEmbed tray (trayer) the item's picture shows as
// an icon, and a click on it clicks the item's view with the item's window moved to the
// icon, so a popover hangs from the icon; where a StatusNotifierWatcher runs on the
// session bus the item registers with it, serves its picture as IconPixmap and takes
// Activate at a point; with neither, one line says so.

#include <X11/Xlib.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <set>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSPopover.h"
#include "platform/appkit/NSStatusBar.h"
#include "platform/appkit/NSViewController.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/HostTray.h"
#include "platform/render/NSGraphicsContext.h"
#include "tests/platform/host/HostTestSupport.h"

extern char** environ;

namespace {

// A red item that shows a popover under itself when clicked.
class RedItemView : public NSView {
 public:
  static std::shared_ptr<RedItemView> make(NSRect frame) {
    return finishInit(std::shared_ptr<RedItemView>(new RedItemView(frame)));
  }
  int clicks = 0;
  std::shared_ptr<NSPopover> popover = NSPopover::make();
  void drawRect(NSRect) override {
    auto& cg = NSGraphicsContext::currentContext()->CGContext();
    cg.setFillColor(NSColor::redColor()->CGColor());
    cg.fillPath(CGPath::rect(bounds()), CGFillRule::nonZero);
  }
  void mouseUp(const std::shared_ptr<NSEvent>&) override {
    ++clicks;
    if (!popover->contentViewController()) {
      auto content = NSViewController::make();
      content->setView(NSView::initWithFrame(NSMakeRect(0, 0, 200, 150)));
      popover->setContentViewController(content);
    }
    popover->showRelativeToRect(bounds(), sharedAs<NSView>(), NSRectEdge::minY);
  }

 private:
  using NSView::NSView;
};

class HostTrayTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
  }
  void TearDown() override {
    view.reset();
    NSStatusBar::resetSystemStatusBar();
    if (trayer > 0) {
      kill(trayer, SIGTERM);
      waitpid(trayer, nullptr, 0);
    }
    if (x) XCloseDisplay(x);
    HostTest::TearDown();
  }

  std::shared_ptr<NSStatusBarWindow> addItem() {
    auto item = NSStatusBar::systemStatusBar()->statusItemWithLength(40);
    view = RedItemView::make(NSMakeRect(0, 0, 40, 22));
    item->setView(view);
    return item->window();
  }
  // The desktop rectangle (x, y from the top left) of one of our windows as X has it.
  NSRect desktopRect(const std::shared_ptr<NSWindow>& window) {
    host->sync();
    Window child = 0;
    int rx = 0, ry = 0;
    XWindowAttributes attributes{};
    Window id = host->nativeWindowId(window);
    XGetWindowAttributes(x, id, &attributes);
    XTranslateCoordinates(x, id, DefaultRootWindow(x), 0, 0, &rx, &ry, &child);
    return NSMakeRect(rx, ry, attributes.width, attributes.height);
  }
  bool trayRuns() {
    Atom selection = XInternAtom(x, "_NET_SYSTEM_TRAY_S0", False);
    return XGetSelectionOwner(x, selection) != None;
  }

  Display* x = nullptr;
  pid_t trayer = -1;
  std::shared_ptr<RedItemView> view;
};

class Watcher;

TEST_F(HostTrayTest, AnXEmbedTrayShowsTheIconAndAClickOnItOpensThePopoverAtTheIcon) {
  std::vector<std::string> argv = {"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                                   "--width", "100", "--heighttype", "pixel", "--height", "30", "--SetDockType",
                                   "true"};
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  ASSERT_EQ(posix_spawnp(&trayer, "trayer", nullptr, nullptr, args.data(), environ), 0);
  ASSERT_TRUE(runUntil([&] { return trayRuns(); })) << "trayer took no tray selection";

  auto window = addItem();
  ASSERT_EQ(host->tray()->kind(window.get()), HostTray::Kind::xembed);
  // The tray places and paints its icons a moment after embedding them.
  int cx = 0, cy = 0;
  std::optional<NSRect> area;
  Screenshot shot;
  ASSERT_TRUE(runUntil([&] {
    area = host->tray()->iconArea(window.get());
    if (!area) return false;
    cx = static_cast<int>(area->midX());
    cy = static_cast<int>(area->midY());
    shot = screenshot("root", "tray-xembed");
    return shot.valid() && shot.at(cx, cy) == 0xFF0000;
  }, 30.0)) << "pixel at the icon (" << cx << ", " << cy << "): " << std::hex << shot.at(cx, cy);

  int otherClicks = 0;
  auto monitor = NSEvent::addGlobalMonitorForEventsMatchingMask(NSEventMaskLeftMouseDown,
                                                                [&](const std::shared_ptr<NSEvent>&) { ++otherClicks; });
  ASSERT_TRUE(movePointerTo("", cx, cy));
  run({"xdotool", "click", "1"});
  ASSERT_TRUE(runUntil([&] { return view->clicks == 1; }));
  EXPECT_EQ(otherClicks, 0) << "a press on our own icon is no other program's click";
  NSEvent::removeMonitor(monitor);

  // The tray is at the bottom: the popover stands on the icon, centred on it as far as the
  // screen lets it.
  auto popoverWindow = view->popover->window();
  ASSERT_TRUE(runUntil([&] { return host->framesShown(popoverWindow) > 0; }));
  NSRect shown = desktopRect(popoverWindow);
  EXPECT_EQ(shown.size.height, 150);
  EXPECT_NEAR(shown.maxY(), area->minY(), 1);
  EXPECT_LE(shown.minX(), cx);
  EXPECT_GE(shown.maxX(), cx);
}

// A StatusNotifierWatcher of the test's own on the session bus, as a panel would run. The bus
// answers in its own time, maybe after the test has ended: what its callbacks touch lives on
// the heap, held by each callback until it has run, never on the test's stack.
class Watcher {
 public:
  struct State {
    bool owned = false, answered = false;
    std::vector<std::string> registered;
    std::shared_ptr<GVariant> reply;
  };
  // A reference to the state for GLib to hold as user data (and to give back when done).
  static gpointer hold(const std::shared_ptr<State>& state) { return new std::shared_ptr<State>(state); }
  static State& held(gpointer data) { return **static_cast<std::shared_ptr<State>*>(data); }
  static void release(gpointer data) { delete static_cast<std::shared_ptr<State>*>(data); }

  Watcher() {
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    g_free(address);
    if (!bus) return;
    static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
        "<node><interface name='org.kde.StatusNotifierWatcher'><method name='RegisterStatusNotifierItem'>"
        "<arg name='service' type='s' direction='in'/></method></interface></node>",
        nullptr);
    static const GDBusInterfaceVTable table{
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           GDBusMethodInvocation* invocation, gpointer data) {
          const gchar* service = nullptr;
          g_variant_get(parameters, "(&s)", &service);
          held(data).registered.push_back(service);
          g_dbus_method_invocation_return_value(invocation, nullptr);
        },
        nullptr, nullptr, {}};
    object = g_dbus_connection_register_object(bus, "/StatusNotifierWatcher", node->interfaces[0], &table,
                                               hold(state), release, nullptr);
    owner = g_bus_own_name_on_connection(
        bus, "org.kde.StatusNotifierWatcher", G_BUS_NAME_OWNER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, gpointer data) { held(data).owned = true; }, nullptr, hold(state), release);
  }
  ~Watcher() {
    g_cancellable_cancel(cancellable);
    if (owner) g_bus_unown_name(owner);
    if (object) g_dbus_connection_unregister_object(bus, object);
    if (bus) {
      g_dbus_connection_close_sync(bus, nullptr, nullptr);
      g_object_unref(bus);
    }
    g_object_unref(cancellable);
  }
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

  // Calls a method of the item and keeps the reply (empty on failure) once it comes.
  void call(const std::string& service, const char* interface, const char* method, GVariant* parameters) {
    state->reply.reset();
    state->answered = false;
    g_dbus_connection_call(
        bus, service.c_str(), "/StatusNotifierItem", interface, method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE,
        5000, cancellable,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          GVariant* value = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
          auto& reached = held(data);
          if (value) reached.reply = std::shared_ptr<GVariant>(value, g_variant_unref);
          reached.answered = true;
          release(data);
        },
        hold(state));
  }

  std::shared_ptr<State> state = std::make_shared<State>();
  GDBusConnection* bus = nullptr;
  GCancellable* cancellable = g_cancellable_new();
  guint object = 0, owner = 0;
  // What the bus told the watcher so far.
  const bool& owned = state->owned;
  const bool& answered = state->answered;
  const std::vector<std::string>& registered = state->registered;
  const std::shared_ptr<GVariant>& reply = state->reply;
};

TEST_F(HostTrayTest, AStatusNotifierItemRegistersServesItsPictureAndOpensThePopoverWhereActivated) {
  Watcher watcher;
  ASSERT_TRUE(watcher.bus);
  ASSERT_TRUE(runUntil([&] { return watcher.owned; }));

  auto window = addItem();
  ASSERT_EQ(host->tray()->kind(window.get()), HostTray::Kind::statusNotifierItem);
  ASSERT_TRUE(runUntil([&] { return !watcher.registered.empty(); }));
  std::string service = host->tray()->busName(window.get());
  EXPECT_EQ(watcher.registered, std::vector<std::string>{service});

  watcher.call(service, "org.freedesktop.DBus.Properties", "Get",
               g_variant_new("(ss)", "org.kde.StatusNotifierItem", "IconPixmap"));
  ASSERT_TRUE(runUntil([&] { return watcher.answered; }));
  ASSERT_TRUE(watcher.reply);
  GVariant* boxed = nullptr;
  g_variant_get(watcher.reply.get(), "(v)", &boxed);
  std::vector<std::string> pixmaps;
  GVariantIter iter;
  g_variant_iter_init(&iter, boxed);
  gint32 width = 0, height = 0;
  GVariant* bytes = nullptr;
  while (g_variant_iter_next(&iter, "(ii@ay)", &width, &height, &bytes)) {
    gsize length = 0;
    auto* data = static_cast<const std::uint8_t*>(g_variant_get_fixed_array(bytes, &length, 1));
    std::size_t middle = (static_cast<std::size_t>(height / 2) * width + width / 2) * 4;
    char argb[16];
    std::snprintf(argb, sizeof argb, "%02x%02x%02x%02x", data[middle], data[middle + 1], data[middle + 2],
                  data[middle + 3]);
    pixmaps.push_back(std::to_string(width) + "x" + std::to_string(height) + " " + argb);
    EXPECT_EQ(length, static_cast<gsize>(width * height * 4));
    g_variant_unref(bytes);
  }
  g_variant_unref(boxed);
  EXPECT_EQ(pixmaps, (std::vector<std::string>{"22x22 ffff0000", "44x44 ffff0000"}));

  watcher.call(service, "org.kde.StatusNotifierItem", "Activate", g_variant_new("(ii)", 700, 400));
  ASSERT_TRUE(runUntil([&] { return view->clicks == 1; }));
  auto popoverWindow = view->popover->window();
  ASSERT_TRUE(runUntil([&] { return host->framesShown(popoverWindow) > 0; }));
  NSRect shown = desktopRect(popoverWindow);
  EXPECT_EQ(shown, NSMakeRect(600, 411, 200, 150)) << "under the point, centred on it";
}

TEST_F(HostTrayTest, WithoutATrayOneLineSaysSoAndAWatcherThatComesUpLaterTakesTheItems) {
  auto window = addItem();
  EXPECT_EQ(host->tray()->kind(window.get()), HostTray::Kind::none);
  auto second = NSStatusBar::systemStatusBar()->statusItemWithLength(30)->window();
  auto lines = printedLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(HostTray::Constants::noTrayLine)), 1);

  Watcher watcher;
  ASSERT_TRUE(watcher.bus);
  ASSERT_TRUE(runUntil([&] { return watcher.registered.size() == 2; }));
  EXPECT_EQ(host->tray()->kind(window.get()), HostTray::Kind::statusNotifierItem);
  EXPECT_EQ(host->tray()->kind(second.get()), HostTray::Kind::statusNotifierItem);
  // Both items, each once, in whatever order the bus delivered them.
  std::set<std::string> names(watcher.registered.begin(), watcher.registered.end());
  EXPECT_EQ(names, (std::set<std::string>{host->tray()->busName(window.get()), host->tray()->busName(second.get())}));
}

}  // namespace
