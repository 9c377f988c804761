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

// The desktop's portal, on a connection and thread of its own (see TestBusService).
class StandInPortal {
 public:
  StandInPortal()
      : service_("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", kIntrospection,
                 [this](TestBusService& service, const std::string& method, GVariant* parameters,
                        GDBusMethodInvocation* invocation) { answer(service, method, parameters, invocation); },
                 [](const std::string&) { return g_variant_new_uint32(1); }) {}
  bool serving() const { return service_.serving(); }
  std::vector<std::pair<std::string, std::string>> bound() {
    std::lock_guard lock(mutex_);
    return bound_;
  }
  // The desktop saw the shortcut pressed.
  void press(const std::string& id) {
    service_.invoke([this, id] {
      g_dbus_connection_emit_signal(service_.bus(), nullptr, "/org/freedesktop/portal/desktop",
                                    "org.freedesktop.portal.GlobalShortcuts", "Activated",
                                    g_variant_new("(ost@a{sv})", session_.c_str(), id.c_str(), guint64{0},
                                                  g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                                    nullptr);
    });
  }

 private:
  // Answers on the request object the caller's token names, as the portal does.
  static void respond(TestBusService& service, GDBusMethodInvocation* invocation, GVariant* options,
                      GVariant* results) {
    std::string sender = g_dbus_method_invocation_get_sender(invocation) + 1;
    std::ranges::replace(sender, '.', '_');
    const gchar* token = "t";
    g_variant_lookup(options, "handle_token", "&s", &token);
    std::string path = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", path.c_str()));
    g_dbus_connection_emit_signal(service.bus(), g_dbus_method_invocation_get_sender(invocation), path.c_str(),
                                  "org.freedesktop.portal.Request", "Response", g_variant_new("(u@a{sv})", 0u, results),
                                  nullptr);
  }

  void answer(TestBusService& service, const std::string& method, GVariant* parameters,
              GDBusMethodInvocation* invocation) {
    if (method == "CreateSession") {
      GVariant* options = g_variant_get_child_value(parameters, 0);
      std::string sender = g_dbus_method_invocation_get_sender(invocation) + 1;
      std::ranges::replace(sender, '.', '_');
      session_ = "/org/freedesktop/portal/desktop/session/" + sender + "/glimdeck";
      GVariantBuilder results;
      g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
      g_variant_builder_add(&results, "{sv}", "session_handle", g_variant_new_string(session_.c_str()));
      respond(service, invocation, options, g_variant_builder_end(&results));
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
        std::lock_guard lock(mutex_);
        bound_.emplace_back(id, trigger);
        g_variant_unref(details);
      }
      g_variant_unref(shortcuts);
      GVariant* options = g_variant_get_child_value(parameters, 3);
      respond(service, invocation, options, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
      g_variant_unref(options);
    }
  }

  std::mutex mutex_;
  std::string session_;  // the service's thread's
  std::vector<std::pair<std::string, std::string>> bound_;
  TestBusService service_;  // last: it serves the members above from its thread
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
