#include "platform/host/DesktopHost.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <malloc.h>

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSStatusBar.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowServer.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/Paths.h"
#include "platform/host/GlobalHotKeys.h"
#include "platform/host/HostAppearance.h"
#include "platform/host/HostClipboard.h"
#include "platform/host/HostDragging.h"
#include "platform/host/HostMenu.h"
#include "platform/host/HostOpenPanel.h"
#include "platform/host/HostRepaintHook.h"
#include "platform/host/HostWebPages.h"
#include "platform/host/HostWindow.h"
#include "platform/host/HostTray.h"
#include "platform/host/OtherClicks.h"
#include "platform/render/TextLayout.h"
#include "platform/services/MASShortcutMonitor.h"

namespace {
std::shared_ptr<DesktopHost>& runningHost() {
  static std::shared_ptr<DesktopHost> host;
  return host;
}

// A closed window leaves the heap with free pages among the ones still used (its canvas, the
// pictures painted for it, the work of closing), which malloc keeps for reuse while the
// application sits in the tray. A second after a window closes (the closing's own
// frees done by then) they go back to the system: about 4 MB at window scale 1, 10 MB at 2.
void returnFreedMemorySoon() {
  static guint pending = 0;
  if (pending) return;
  pending = g_timeout_add(1000, [](gpointer) -> gboolean {
    pending = 0;
    malloc_trim(0);
    return G_SOURCE_REMOVE;
  }, nullptr);
}

bool hasValue(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// GTK's display opening. Everything is drawn with Cairo, so GDK is told not to probe OpenGL:
// the probe loads the system's GL drivers (megabytes of them, software rendering included)
// only to rank visuals, and every launch would wait for it. GDK reads the setting once,
// while it opens the display; the programs this one starts (a browser) do not inherit it. A
// GDK_GL the user set is left as it is.
bool openDisplay() {
  constexpr const char* setting = "GDK_GL";
  const bool ours = std::getenv(setting) == nullptr;
  if (ours) setenv(setting, "disable", 1);
  const bool opened = gtk_init_check(nullptr, nullptr);
  if (ours) unsetenv(setting);
  return opened;
}

// Every window the process makes carries the application's name and class (WM_CLASS
// "glimdeck", "Glimdeck" on X, whatever the executable is called), and the name is the
// title of windows that have none, so window lists, X tools and assistive technology find
// them. The resource name is set before GTK opens the display (which names its own leader
// window then and would take the executable's name otherwise), the class after (GDK sets
// it from the resource name as it starts).
void nameTheApplication() {
  static bool named = false;
  if (std::exchange(named, true)) return;
  const std::string name = Paths::applicationName();
  gchar* resourceName = g_ascii_strdown(name.c_str(), -1);
  g_set_prgname(resourceName);
  g_free(resourceName);
  g_set_application_name(name.c_str());
}
}  // namespace

// GTK's main loop serves the desktop's events while our run loop would otherwise sleep.
class GLibWaiter : public RunLoopWaiter {
 public:
  explicit GLibWaiter(std::weak_ptr<DesktopHost> host) : host_(std::move(host)) {}

  bool dispatchPending() override {
    bool any = false;
    // Bounded: a desktop that keeps producing events must not starve our own queue.
    for (int i = 0; i < 64 && g_main_context_iteration(nullptr, FALSE); ++i) any = true;
    if (auto host = host_.lock()) host->forgetGoneWindows();
    return any;
  }

  void wait(double seconds) override {
    if (!(seconds > 0)) {
      dispatchPending();
      return;
    }
    bool fired = false;
    auto ms = static_cast<guint>(std::min(std::ceil(seconds * 1000.0), 3600e3));
    guint id = g_timeout_add(ms, [](gpointer flag) -> gboolean {
      *static_cast<bool*>(flag) = true;
      return G_SOURCE_REMOVE;
    }, &fired);
    // Returns after the first batch of events, the timeout, or a wake from another thread.
    g_main_context_iteration(nullptr, TRUE);
    if (!fired) g_source_remove(id);
    if (auto host = host_.lock()) host->forgetGoneWindows();
  }

  void wake() override { g_main_context_wakeup(nullptr); }

 private:
  std::weak_ptr<DesktopHost> host_;
};

// The application's system-wide shortcuts, held by the desktop.
class HostShortcutRegistrar : public MASShortcutMonitor::Registrar {
 public:
  explicit HostShortcutRegistrar(std::shared_ptr<GlobalHotKeys> keys) : keys_(std::move(keys)) {}
  Token registerHotKey(std::uint16_t keyCode, NSEventModifierFlags flags, std::function<void()> action) override {
    return keys_->registerHotKey(keyCode, flags, std::move(action));
  }
  void unregisterHotKey(const std::shared_ptr<NSObject>& token) override { keys_->unregisterHotKey(token); }

 private:
  std::shared_ptr<GlobalHotKeys> keys_;
};

// The kit's windows, shown by the host; status items' windows are icons in the tray.
class HostWindowServer : public WindowServer {
  // The pointer moves over other programs unseen; a window coming in reads its tracking
  // areas at the pointer's place now.
  void notePointer() {
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!pointer) return;
    int x = 0, y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    NSEvent::noteMouseLocation(host_.screenPointFromDesktop(x, y));
  }

 public:
  explicit HostWindowServer(DesktopHost& host) : host_(host) {}

  void windowDidOrderFront(const std::shared_ptr<NSWindow>& window) override {
    if (auto item = std::dynamic_pointer_cast<NSStatusBarWindow>(window)) {
      host_.tray_->add(item);
      return;
    }
    host_.forgetGoneWindows();
    notePointer();
    auto& slot = host_.windows_[window.get()];
    if (!slot) slot = std::make_shared<HostWindow>(host_, window);
    slot->show();
  }

  void windowDidOrderOut(const std::shared_ptr<NSWindow>& window) override {
    host_.tray_->remove(window.get());
    auto it = host_.windows_.find(window.get());
    if (it == host_.windows_.end()) return;
    // Kept until this turn is over: the call may come from inside one of its own handlers.
    auto gone = std::move(it->second);
    host_.windows_.erase(it);
    gtk_widget_hide(gone->toplevel());
    NSRunLoop::main()->perform([gone] {});
    returnFreedMemorySoon();
  }

  void windowDidChangeFrame(const std::shared_ptr<NSWindow>& window) override {
    if (auto hw = host_.hostWindowFor(window.get())) hw->frameChangedByCode();
  }

  bool windowWillDisplay(const std::shared_ptr<NSWindow>& window, bool whole) override {
    host_.tray_->needsDisplay(window.get());
    auto hw = host_.hostWindowFor(window.get());
    return hw && hw->willDisplay(whole);
  }

  void windowDidBecomeKey(const std::shared_ptr<NSWindow>& window) override {
    if (auto hw = host_.hostWindowFor(window.get()); hw && !hw->takingDesktopFocus()) hw->present();
  }

 private:
  DesktopHost& host_;
};

std::shared_ptr<DesktopHost> DesktopHost::current() { return runningHost(); }

std::shared_ptr<DesktopHost> DesktopHost::start() {
  if (auto host = runningHost()) return host;
  // GTK would fall back to nothing useful without a display; say so once and stay headless.
  if (!hasValue("DISPLAY") && !hasValue("WAYLAND_DISPLAY")) {
    OutputSink::print(Constants::headlessLine);
    return nullptr;
  }
  // Numbers are read and written in the C locale throughout; GTK must not switch the
  // process to the user's (a decimal comma would break them).
  static bool localeKept = false;
  if (!std::exchange(localeKept, true)) gtk_disable_setlocale();
  nameTheApplication();
  if (!openDisplay()) {
    OutputSink::print(Constants::headlessLine);
    return nullptr;
  }
  gdk_set_program_class(g_get_application_name());
  // Fontconfig reads the font configuration on a thread of its own from the moment a font map
  // exists: begun now, it is done before the first text is laid out.
  TextLayout::measuringContext();
  auto host = std::shared_ptr<DesktopHost>(new DesktopHost());
  GdkDisplay* display = gdk_display_get_default();
  host->x11_ = display && GDK_IS_X11_DISPLAY(display);
  host->readScreens();
  host->server_ = std::make_shared<HostWindowServer>(*host);
  host->waiter_ = std::make_shared<GLibWaiter>(host);
  host->hotKeys_ = GlobalHotKeys::make(host->x11_);
  host->clipboard_ = HostClipboard::attach();
  host->dragging_ = std::make_shared<HostDragging>(*host);
  host->dragging_->install();
  host->otherClicks_ = OtherClicks::watch(*host);
  host->tray_ = std::make_unique<HostTray>(*host);
  host->shortcutRegistrar_ = std::make_shared<HostShortcutRegistrar>(host->hotKeys_);
  MASShortcutMonitor::sharedMonitor()->setRegistrar(host->shortcutRegistrar_);
  HostOpenPanel::install();
  HostWebPages::install();
  host->menus_ = HostMenu::install(*host);
  host->appearance_ = std::make_unique<HostAppearance>();
  host->repaintHook_ = HostRepaintHook::install(*host);
  runningHost() = host;
  WindowServer::setCurrent(host->server_);
  NSRunLoop::main()->setWaiter(host->waiter_);
  // Windows already ordered in appear now, back to front.
  auto ordered = NSApplication::sharedApplication()->orderedWindows();
  for (auto it = ordered.rbegin(); it != ordered.rend(); ++it) host->server_->windowDidOrderFront(*it);
  return host;
}

void DesktopHost::stop() {
  if (runningHost().get() != this) return;
  auto keep = runningHost();
  MASShortcutMonitor::sharedMonitor()->setRegistrar(nullptr);
  shortcutRegistrar_.reset();
  if (hotKeys_) hotKeys_->unregisterAll();
  HostOpenPanel::uninstall();
  HostWebPages::uninstall();
  if (menus_) menus_->uninstall();
  menus_.reset();
  appearance_.reset();
  repaintHook_.reset();
  WindowServer::setCurrent(nullptr);
  NSRunLoop::main()->setWaiter(nullptr);
  windows_.clear();
  tray_.reset();
  otherClicks_.reset();
  dragging_.reset();
  clipboard_.reset();
  runningHost().reset();
  // Let the desktop hear of the windows that went.
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  NSScreen::resetScreens();
}

DesktopHost::~DesktopHost() = default;

void DesktopHost::readScreens() {
  GdkDisplay* display = gdk_display_get_default();
  int count = gdk_display_get_n_monitors(display);
  GdkMonitor* primary = gdk_display_get_primary_monitor(display);
  if (!primary && count > 0) primary = gdk_display_get_monitor(display, 0);
  if (!primary) return;
  GdkRectangle main;
  gdk_monitor_get_geometry(primary, &main);
  mainX_ = main.x;
  mainY_ = main.y;
  mainHeight_ = main.height;
  std::vector<std::shared_ptr<NSScreen>> screens;
  auto add = [&](GdkMonitor* monitor) {
    GdkRectangle g;
    gdk_monitor_get_geometry(monitor, &g);
    NSPoint origin = screenPointFromDesktop(g.x, g.y + g.height);
    screens.push_back(NSScreen::make(NSMakeRect(origin.x, origin.y, g.width, g.height),
                                     gdk_monitor_get_scale_factor(monitor)));
  };
  add(primary);
  for (int i = 0; i < count; ++i) {
    if (GdkMonitor* monitor = gdk_display_get_monitor(display, i); monitor != primary) add(monitor);
  }
  NSScreen::setScreens(std::move(screens));
}

NSPoint DesktopHost::desktopPointFromScreen(NSPoint p) const { return {p.x + mainX_, mainY_ + mainHeight_ - p.y}; }

NSPoint DesktopHost::screenPointFromDesktop(double x, double y) const { return {x - mainX_, mainY_ + mainHeight_ - y}; }

std::shared_ptr<HostWindow> DesktopHost::hostWindowFor(const NSWindow* window) const {
  auto it = windows_.find(window);
  if (it == windows_.end() || it->second->window().get() != window) return nullptr;
  return it->second;
}

void DesktopHost::forgetGoneWindows() {
  // A window dropped without being ordered out (an application object reset) leaves the desktop.
  std::erase_if(windows_, [](const auto& entry) { return entry.second->window() == nullptr; });
}

unsigned long DesktopHost::nativeWindowId(const std::shared_ptr<NSWindow>& window) const {
  auto hw = hostWindowFor(window.get());
  return hw ? hw->nativeId() : 0;
}

bool DesktopHost::anyWindowHasFocus() const {
  if (menus_ && menus_->isOpen()) return true;
  for (auto& [_, hw] : windows_) {
    if (gtk_window_has_toplevel_focus(GTK_WINDOW(hw->toplevel()))) return true;
  }
  return false;
}

std::size_t DesktopHost::framesShown(const std::shared_ptr<NSWindow>& window) const {
  auto hw = hostWindowFor(window.get());
  return hw ? hw->framesShown() : 0;
}

void DesktopHost::sync() const { gdk_display_sync(gdk_display_get_default()); }

std::vector<unsigned long> DesktopHost::nativeWindowIds() const {
  std::vector<unsigned long> ids;
  for (auto& [_, hw] : windows_) {
    if (auto id = hw->nativeId()) ids.push_back(id);
  }
  return ids;
}
