// The desktop's light or dark preference reaches the kit: through the settings portal's
// "color-scheme" (here a stand-in portal on the test's own session bus) and its changes,
// through an older portal that has only Read, where no portal answers through the desktop's
// own setting (GSettings' org.gnome.desktop.interface color-scheme, kept in the process's
// memory here), and through GTK's settings where neither has a preference, which are read
// once the run loop turns (asking for them first makes GTK parse its theme, which a launch
// does not wait for).

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <memory>

#include "platform/appkit/NSAppearance.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/HostAppearance.h"
#include "tests/platform/host/HostTestSupport.h"

namespace {

constexpr const char* kSettingsInterface = R"xml(<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="ReadOne"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
  </interface>
</node>)xml";

// The desktop's settings portal, answering the colour scheme it holds; an older one knows
// only Read, whose answer is wrapped in one more variant.
class SettingsPortal {
 public:
  SettingsPortal(std::uint32_t scheme, bool older)
      : scheme_(scheme),
        older_(older),
        service_("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", kSettingsInterface,
                 [this](TestBusService&, const std::string& method, GVariant* parameters,
                        GDBusMethodInvocation* invocation) { answer(method, parameters, invocation); }) {}
  bool serving() const { return service_.serving(); }
  // The user changes the setting (or another one of the namespace).
  void change(const std::string& ns, const std::string& key, std::uint32_t value) {
    if (ns == "org.freedesktop.appearance" && key == "color-scheme") scheme_ = value;
    service_.emit("org.freedesktop.portal.Settings", "SettingChanged",
                  g_variant_new("(ssv)", ns.c_str(), key.c_str(), g_variant_new_uint32(value)));
  }

 private:
  void answer(const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation) {
    const gchar* ns = nullptr;
    const gchar* key = nullptr;
    g_variant_get(parameters, "(&s&s)", &ns, &key);
    if ((method == "ReadOne" && older_) || std::string_view(ns) != "org.freedesktop.appearance" ||
        std::string_view(key) != "color-scheme") {
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.portal.Error.NotFound", "no such setting");
      return;
    }
    GVariant* value = g_variant_new_uint32(scheme_);
    if (method == "Read") value = g_variant_new_variant(value);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
  }

  std::atomic<std::uint32_t> scheme_;
  bool older_;
  TestBusService service_;
};

class HostAppearanceTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    settings = gtk_settings_get_default();
    g_object_get(settings, "gtk-theme-name", &theme, nullptr);
    observer = NSNotificationCenter::defaultCenter()->addObserverForName(
        NSAppearance::Constants::interfaceThemeChangedNotification, nullptr, nullptr,
        [this](const std::shared_ptr<NSNotification>&) { ++changes; });
  }
  void TearDown() override {
    observer.reset();
    g_object_set(settings, "gtk-application-prefer-dark-theme", FALSE, "gtk-theme-name", theme, nullptr);
    g_free(theme);
    HostTest::TearDown();
  }
  static bool dark() { return NSAppearance::effectiveAppearance()->isDark(); }

  GtkSettings* settings = nullptr;
  gchar* theme = nullptr;
  std::shared_ptr<NSObject> observer;
  int changes = 0;
};

TEST_F(HostAppearanceTest, ThePortalsColourSchemeRulesAndItsChangesAreFollowed) {
  ASSERT_FALSE(dark()) << "no portal, GTK's default theme: light";
  {
    auto portal = std::make_unique<SettingsPortal>(1u, false);
    ASSERT_TRUE(portal->serving());
    ASSERT_TRUE(runUntil([] { return dark(); })) << "a portal that comes up is asked";
    EXPECT_EQ(changes, 1);
    struct Step {
      std::string ns, key;
      std::uint32_t value;
      bool dark;
    };
    const Step steps[] = {
        {"org.freedesktop.appearance", "color-scheme", 2, false},  // prefers light
        {"org.freedesktop.appearance", "accent-color", 1, false},  // another setting
        {"org.gnome.desktop.interface", "color-scheme", 1, false}, // another namespace
        {"org.freedesktop.appearance", "color-scheme", 1, true},
    };
    for (const auto& step : steps) {
      SCOPED_TRACE(step.ns + " " + step.key + " " + std::to_string(step.value));
      int before = changes;
      portal->change(step.ns, step.key, step.value);
      if (step.dark != dark()) {
        ASSERT_TRUE(runUntil([&] { return changes > before; }));
      }
      // A signal that changes nothing is heard before the next one that does.
      EXPECT_EQ(dark(), step.dark);
    }
    // GTK's settings do not overrule a portal that prefers a look.
    g_object_set(settings, "gtk-theme-name", "Adwaita", nullptr);
    EXPECT_TRUE(dark());
  }
  EXPECT_TRUE(runUntil([] { return !dark(); })) << "without the portal GTK's settings decide again";
  EXPECT_EQ(changes, 4);
}

// `gsettings set org.gnome.desktop.interface color-scheme prefer-dark` on a desktop without
// a portal.
TEST_F(HostAppearanceTest, WithoutAPortalTheDesktopsColourSchemeSettingRulesAndIsFollowed) {
  GSettingsBackend* backend = g_settings_backend_get_default();
  ASSERT_STREQ(G_OBJECT_TYPE_NAME(backend), "GMemorySettingsBackend") << "the test never touches the user's settings";
  g_object_unref(backend);
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE) : nullptr;
  ASSERT_TRUE(schema && g_settings_schema_has_key(schema, "color-scheme")) << "the desktop's schemas are installed";
  g_settings_schema_unref(schema);
  GSettings* desktop = g_settings_new("org.gnome.desktop.interface");
  g_settings_reset(desktop, "color-scheme");
  drainMainQueue();
  ASSERT_FALSE(dark());

  struct Step {
    const char* scheme;
    gboolean gtkPrefersDark;
    bool dark;
  };
  const Step steps[] = {
      {"prefer-dark", FALSE, true},
      {"default", FALSE, false},  // no preference: GTK's settings decide
      {"default", TRUE, true},
      {"prefer-light", TRUE, false},  // the desktop's setting before GTK's
      {"prefer-dark", TRUE, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.scheme);
    int before = changes;
    g_object_set(settings, "gtk-application-prefer-dark-theme", step.gtkPrefersDark, nullptr);
    g_settings_set_string(desktop, "color-scheme", step.scheme);
    if (step.dark != dark()) {
      EXPECT_TRUE(runUntil([&] { return changes > before && dark() == step.dark; }));
    }
    EXPECT_EQ(dark(), step.dark);
  }
  {
    // A portal reads the desktop's setting itself and rules where it answers.
    SettingsPortal portal(2u, false);
    ASSERT_TRUE(portal.serving());
    EXPECT_TRUE(runUntil([] { return !dark(); })) << "the portal prefers light";
  }
  EXPECT_TRUE(runUntil([] { return dark(); })) << "without it the desktop's setting rules again";
  g_settings_reset(desktop, "color-scheme");
  g_object_unref(desktop);
}

TEST_F(HostAppearanceTest, AnOlderPortalIsReadAndNoPreferenceLeavesItToGtk) {
  SettingsPortal older(1u, true);
  ASSERT_TRUE(older.serving());
  EXPECT_TRUE(runUntil([] { return dark(); })) << "Read answers where ReadOne is missing";
  int before = changes;
  older.change("org.freedesktop.appearance", "color-scheme", 0);
  ASSERT_TRUE(runUntil([&] { return changes > before; }));
  EXPECT_FALSE(dark()) << "no preference: GTK's light theme";
  g_object_set(settings, "gtk-application-prefer-dark-theme", TRUE, nullptr);
  EXPECT_TRUE(dark());
}

TEST_F(HostAppearanceTest, GtksSettingsAreReadOnceTheRunLoopTurns) {
  host->stop();
  g_object_set(settings, "gtk-application-prefer-dark-theme", TRUE, nullptr);
  host = DesktopHost::start();
  ASSERT_TRUE(host);
  EXPECT_FALSE(dark()) << "starting the host does not ask GTK";
  drainMainQueue();
  EXPECT_TRUE(dark()) << "the first turn does";
  EXPECT_EQ(changes, 1);
  // A host that stops before its loop turns leaves nothing behind to read them.
  host->stop();
  host = DesktopHost::start();
  host->stop();
  host.reset();
  drainMainQueue();
  EXPECT_FALSE(dark());
}

TEST_F(HostAppearanceTest, WithoutAPortalGtksSettingsDecideAndAreFollowed) {
  drainMainQueue();
  struct Case {
    gboolean preferDark;
    const char* theme;
    bool dark;
  };
  const Case cases[] = {
      {TRUE, "Adwaita", true},
      {FALSE, "Adwaita", false},
      {FALSE, "Adwaita-dark", true},
      {FALSE, "Darkroom", false},  // "dark" in the name is not enough
      {FALSE, "Yaru-Dark", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.theme);
    g_object_set(settings, "gtk-application-prefer-dark-theme", c.preferDark, "gtk-theme-name", c.theme, nullptr);
    EXPECT_EQ(dark(), c.dark);
  }
  host->stop();
  host.reset();
  EXPECT_FALSE(dark()) << "off the desktop the kit has no preference";
}

}  // namespace
