#include "tests/platform/host/HostTestSupport.h"

#include <cmath>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/host/DesktopHost.h"
#include "tests/support/PNGPixels.h"
#include "tests/support/PointerMoves.h"

std::uint32_t Screenshot::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFFu;
  auto i = (static_cast<std::size_t>(y) * width + x) * 3;
  return (std::uint32_t{rgb[i]} << 16) | (std::uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
}

void HostTest::SetUp() {
  GlimdeckTest::SetUp();
  NSApplication::resetSharedApplication();
  host = DesktopHost::start();
  ASSERT_TRUE(host) << "the host's tests run in an X server (their ctest entry starts Xvfb)";
}

void HostTest::TearDown() {
  if (host) host->stop();
  host.reset();
  NSApplication::resetSharedApplication();
  NSScreen::resetScreens();
  GlimdeckTest::TearDown();
}

CommandWait HostTest::waiter() {
  return [](const std::function<bool()>& condition, double seconds) {
    return NSRunLoop::main()->runUntil(condition, seconds);
  };
}

CommandResult HostTest::run(const std::vector<std::string>& argv, double timeout) {
  return runCommand(argv, timeout, waiter());
}

void HostTest::showAndWait(const std::shared_ptr<NSWindow>& window) {
  window->makeKeyAndOrderFront(nullptr);
  ASSERT_TRUE(runUntil([&] { return host->framesShown(window) > 0; })) << "the window never appeared";
  host->sync();
}

bool HostTest::waitForFrame(const std::shared_ptr<NSWindow>& window, std::size_t since) {
  bool shown = runUntil([&] { return host->framesShown(window) > since; });
  host->sync();
  return shown;
}

std::string HostTest::windowId(const std::shared_ptr<NSWindow>& window) {
  return std::to_string(host->nativeWindowId(window));
}

std::filesystem::path HostTest::screenshotDir() {
  // Beside the test programs' folder: build/screenshots (or build-asan/screenshots).
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "screenshots";
}

Screenshot HostTest::screenshot(const std::shared_ptr<NSWindow>& window, const std::string& name) {
  return screenshot(windowId(window), name);
}

Screenshot HostTest::screenshot(const std::string& xid, const std::string& name) {
  Screenshot shot;
  std::filesystem::create_directories(screenshotDir());
  auto path = screenshotDir() / (name + ".png");
  auto result = run({"import", "-window", xid, path.string()});
  if (result.status != 0) {
    ADD_FAILURE() << "import failed for " << name;
    return shot;
  }
  auto pixels = PNGPixels::read(path);
  shot.width = pixels.width;
  shot.height = pixels.height;
  for (auto pixel : pixels.pixels) {
    shot.rgb.push_back(static_cast<std::uint8_t>(pixel >> 16));
    shot.rgb.push_back(static_cast<std::uint8_t>(pixel >> 8));
    shot.rgb.push_back(static_cast<std::uint8_t>(pixel));
  }
  return shot;
}

void HostTest::clickAt(const std::shared_ptr<NSWindow>& window, NSPoint base) {
  NSRect content = window->contentRectForFrameRect(window->frame());
  auto x = static_cast<int>(std::lround(base.x));
  auto y = static_cast<int>(std::lround(content.height() - base.y));
  ASSERT_TRUE(movePointerTo(windowId(window), x, y)) << "the pointer never got to (" << x << ", " << y << ")";
  run({"xdotool", "click", "1"});
}

bool HostTest::movePointerTo(const std::string& xid, int x, int y) { return ::movePointerTo(xid, x, y, waiter()); }

bool HostTest::movePointerBy(int dx, int dy) { return ::movePointerBy(dx, dy, waiter()); }

// ---- a service on the session bus --------------------------------------------------------

TestBusService::TestBusService(std::string name, std::string path, const char* introspection, Answer answer,
                               Property property)
    : name_(std::move(name)), path_(std::move(path)), answer_(std::move(answer)), property_(std::move(property)) {
  thread_ = std::thread([this, introspection] { serve(introspection); });
  std::unique_lock lock(mutex_);
  ready_.wait(lock, [&] { return started_; });
}

TestBusService::~TestBusService() {
  g_main_context_invoke(context_, [](gpointer loop) -> gboolean {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
  }, loop_);
  thread_.join();
}

void TestBusService::invoke(std::function<void()> work) {
  auto* job = new std::function<void()>(std::move(work));
  g_main_context_invoke(context_, [](gpointer data) -> gboolean {
    std::unique_ptr<std::function<void()>> w(static_cast<std::function<void()>*>(data));
    (*w)();
    return G_SOURCE_REMOVE;
  }, job);
}

void TestBusService::emit(const std::string& interface, const std::string& signal, GVariant* parameters) {
  GVariant* kept = g_variant_ref_sink(parameters);
  invoke([this, interface, signal, kept] {
    g_dbus_connection_emit_signal(bus_, nullptr, path_.c_str(), interface.c_str(), signal.c_str(), kept, nullptr);
    g_variant_unref(kept);
  });
}

void TestBusService::serve(const char* introspection) {
  context_ = g_main_context_new();
  g_main_context_push_thread_default(context_);
  loop_ = g_main_loop_new(context_, FALSE);
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  bus_ = g_dbus_connection_new_for_address_sync(
      address, static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  g_free(address);
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspection, nullptr);
  static const GDBusInterfaceVTable vtable = {onCall, onGetProperty, nullptr, {}};
  g_dbus_connection_register_object(bus_, path_.c_str(), node->interfaces[0], &vtable, this, nullptr, nullptr);
  g_dbus_node_info_unref(node);
  GVariant* reply = g_dbus_connection_call_sync(
      bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
      g_variant_new("(su)", name_.c_str(), 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
  if (reply) {
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    owned_ = result == 1;
    g_variant_unref(reply);
  }
  {
    std::lock_guard lock(mutex_);
    started_ = true;
  }
  ready_.notify_all();
  g_main_loop_run(loop_);
  // Replies given just before the end reach their callers before the name goes: closing
  // alone may drop what is still queued, and a caller would then see the service vanish
  // without answering.
  g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
  // Closing the connection gives the name up, which the bus tells its watchers.
  g_dbus_connection_close_sync(bus_, nullptr, nullptr);
  g_object_unref(bus_);
  g_main_loop_unref(loop_);
  g_main_context_pop_thread_default(context_);
  g_main_context_unref(context_);
}

void TestBusService::onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                            GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
  auto* self = static_cast<TestBusService*>(data);
  self->answer_(*self, method, parameters, invocation);
}

GVariant* TestBusService::onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                        const gchar* property, GError**, gpointer data) {
  auto* self = static_cast<TestBusService*>(data);
  return self->property_ ? self->property_(property) : nullptr;
}
