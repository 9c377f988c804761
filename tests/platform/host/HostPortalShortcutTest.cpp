// The global shortcut where the display is no X server: through the desktop portal's
// GlobalShortcuts interface, here served by a stand-in portal on the test's own session
// bus; without a portal, one line says the shortcut is off.

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/appkit/NSEvent.h"
#include "platform/foundation/OutputSink.h"
#include "platform/host/GlobalHotKeys.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

constexpr const char* kIntrospection = R"xml(<node>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="BindShortcuts">
      <arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
</node>)xml";

// A portal of its own connection and thread, as the desktop's portal is another process.
class StandInPortal {
 public:
  StandInPortal() {
    thread_ = std::thread([this] { serve(); });
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return started_; });
  }
  ~StandInPortal() {
    g_main_context_invoke(context_, [](gpointer loop) -> gboolean {
      g_main_loop_quit(static_cast<GMainLoop*>(loop));
      return G_SOURCE_REMOVE;
    }, loop_);
    thread_.join();
  }
  bool serving() const { return owned_; }
  std::vector<std::pair<std::string, std::string>> bound() {
    std::lock_guard lock(mutex_);
    return bound_;
  }
  // The desktop saw the shortcut pressed.
  void press(const std::string& id) {
    auto* args = new std::pair<StandInPortal*, std::string>(this, id);
    g_main_context_invoke(context_, [](gpointer data) -> gboolean {
      std::unique_ptr<std::pair<StandInPortal*, std::string>> a(static_cast<std::pair<StandInPortal*, std::string>*>(data));
      g_dbus_connection_emit_signal(a->first->bus_, nullptr, "/org/freedesktop/portal/desktop",
                                    "org.freedesktop.portal.GlobalShortcuts", "Activated",
                                    g_variant_new("(ost@a{sv})", a->first->session_.c_str(), a->second.c_str(),
                                                  guint64{0}, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                                    nullptr);
      return G_SOURCE_REMOVE;
    }, args);
  }

 private:
  void serve() {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    loop_ = g_main_loop_new(context_, FALSE);
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    bus_ = g_dbus_connection_new_for_address_sync(
        address, static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                   G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    g_free(address);
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    static const GDBusInterfaceVTable vtable = {onCall, onGetProperty, nullptr, {}};
    g_dbus_connection_register_object(bus_, "/org/freedesktop/portal/desktop", node->interfaces[0], &vtable, this,
                                      nullptr, nullptr);
    g_dbus_node_info_unref(node);
    GVariant* reply = g_dbus_connection_call_sync(
        bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.freedesktop.portal.Desktop", 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
        -1, nullptr, nullptr);
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
    g_object_unref(bus_);
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }

  // Answers on the request object the caller's token names, as the portal does.
  void respond(GDBusMethodInvocation* invocation, GVariant* options, GVariant* results) {
    std::string sender = g_dbus_method_invocation_get_sender(invocation) + 1;
    std::ranges::replace(sender, '.', '_');
    const gchar* token = "t";
    g_variant_lookup(options, "handle_token", "&s", &token);
    std::string path = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", path.c_str()));
    g_dbus_connection_emit_signal(bus_, g_dbus_method_invocation_get_sender(invocation), path.c_str(),
                                  "org.freedesktop.portal.Request", "Response", g_variant_new("(u@a{sv})", 0u, results),
                                  nullptr);
  }

  static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<StandInPortal*>(data);
    if (std::string_view(method) == "CreateSession") {
      GVariant* options = g_variant_get_child_value(parameters, 0);
      std::string sender = g_dbus_method_invocation_get_sender(invocation) + 1;
      std::ranges::replace(sender, '.', '_');
      self->session_ = "/org/freedesktop/portal/desktop/session/" + sender + "/glimdeck";
      GVariantBuilder results;
      g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
      g_variant_builder_add(&results, "{sv}", "session_handle", g_variant_new_string(self->session_.c_str()));
      self->respond(invocation, options, g_variant_builder_end(&results));
      g_variant_unref(options);
    } else {
      GVariant* shortcuts = g_variant_get_child_value(parameters, 1);
      GVariantIter iter;
      g_variant_iter_init(&iter, shortcuts);
      const gchar* id = nullptr;
      GVariant* details = nullptr;
      while (g_variant_iter_next(&iter, "(&s@a{sv})", &id, &details)) {
        const gchar* trigger = "";
        g_variant_lookup(details, "preferred_trigger", "&s", &trigger);
        std::lock_guard lock(self->mutex_);
        self->bound_.emplace_back(id, trigger);
        g_variant_unref(details);
      }
      g_variant_unref(shortcuts);
      GVariant* options = g_variant_get_child_value(parameters, 3);
      self->respond(invocation, options, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
      g_variant_unref(options);
    }
  }

  static GVariant* onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                                 gpointer) {
    return g_variant_new_uint32(1);
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ready_;
  bool started_ = false;
  std::atomic<bool> owned_{false};
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* bus_ = nullptr;
  std::string session_;
  std::vector<std::pair<std::string, std::string>> bound_;
};

class HostPortalShortcutTest : public HostTest {};

TEST_F(HostPortalShortcutTest, WithoutAPortalOneLineSaysTheShortcutIsOff) {
  std::vector<std::string> lines;
  OutputSink::setSink([&](std::string_view line) { lines.emplace_back(line); });
  auto keys = GlobalHotKeys::make(false);
  auto first = keys->registerHotKey(NSKeyCode::g, NSEventModifierFlagCommand, [] {});
  auto second = keys->registerHotKey(NSKeyCode::h, NSEventModifierFlagCommand, [] {});
  OutputSink::setSink(nullptr);
  ASSERT_FALSE(first.has_value());
  EXPECT_EQ(first.error()->code(), GlobalHotKeys::unavailable);
  EXPECT_FALSE(second.has_value());
  EXPECT_EQ(lines, std::vector<std::string>{std::string(GlobalHotKeys::Constants::noPortalLine)});
}

TEST_F(HostPortalShortcutTest, ThePortalBindsTheShortcutAndItsActivationRunsTheAction) {
  StandInPortal portal;
  ASSERT_TRUE(portal.serving());
  auto keys = GlobalHotKeys::make(false);
  int presses = 0;
  auto token = keys->registerHotKey(NSKeyCode::g, NSEventModifierFlagShift | NSEventModifierFlagCommand,
                                    [&] { ++presses; });
  ASSERT_TRUE(token.has_value()) << token.error()->localizedDescription();
  ASSERT_TRUE(runUntil([&] { return !portal.bound().empty(); }));
  auto bound = portal.bound();
  ASSERT_EQ(bound.size(), 1u);
  EXPECT_EQ(bound[0].second, "CTRL+SHIFT+g");
  portal.press(bound[0].first);
  EXPECT_TRUE(runUntil([&] { return presses == 1; }));
  portal.press("someone-elses");
  runUntil([&] { return presses > 1; }, 0.2);
  EXPECT_EQ(presses, 1);
}

}  // namespace
