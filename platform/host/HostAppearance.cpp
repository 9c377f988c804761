#include "platform/host/HostAppearance.h"

#include <string>

#include "platform/appkit/NSAppearance.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/host/SessionBus.h"

namespace {
// Older portals wrap the value of Read in one more variant.
GVariant* unwrapped(GVariant* value) {
  GVariant* inner = g_variant_ref(value);
  while (inner && g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
    GVariant* next = g_variant_get_variant(inner);
    g_variant_unref(inner);
    inner = next;
  }
  return inner;
}

std::optional<std::uint32_t> schemeOf(GVariant* value) {
  if (!value) return std::nullopt;
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) return g_variant_get_uint32(value);
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32) && g_variant_get_int32(value) >= 0) {
    return static_cast<std::uint32_t>(g_variant_get_int32(value));
  }
  return std::nullopt;
}

struct PendingRead {
  HostAppearance* self;
  bool older;
};
}  // namespace

HostAppearance::HostAppearance() {
  // GTK's settings parse their theme's style sheet the moment they are first asked for, which
  // took a third of a launch's own work. They are read on the run loop's first turn instead,
  // before it serves the desktop's first event: the desktop shows nothing of ours until then.
  DispatchQueue::main()->async([self = this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.lock()) self->readSettings();
  });
  publish();
  if (!SessionBus::named()) return;
  cancellable_ = g_cancellable_new();
  watch_ = g_bus_watch_name(
      G_BUS_TYPE_SESSION, std::string(Constants::portalName).c_str(), G_BUS_NAME_WATCHER_FLAGS_NONE,
      [](GDBusConnection* bus, const gchar*, const gchar* owner, gpointer self) {
        static_cast<HostAppearance*>(self)->portalAppeared(bus, owner);
      },
      [](GDBusConnection*, const gchar*, gpointer self) { static_cast<HostAppearance*>(self)->portalVanished(); },
      this, nullptr);
}

HostAppearance::~HostAppearance() {
  alive_.reset();
  if (watch_) g_bus_unwatch_name(watch_);
  if (cancellable_) {
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
  }
  if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
  if (bus_) g_object_unref(bus_);
  if (settings_) g_signal_handlers_disconnect_by_data(settings_, this);
  if (interface_) {
    g_signal_handlers_disconnect_by_data(interface_, this);
    g_object_unref(interface_);
  }
  // Off the desktop, the kit has no preference to go by.
  NSAppearance::setEffectiveAppearance(nullptr);
}

void HostAppearance::readSettings() {
  readInterfaceSetting();
  if (settings_) return;
  settings_ = gtk_settings_get_default();
  if (settings_) {
    g_signal_connect(settings_, "notify::gtk-application-prefer-dark-theme", G_CALLBACK(onThemeSetting), this);
    g_signal_connect(settings_, "notify::gtk-theme-name", G_CALLBACK(onThemeSetting), this);
  }
  publish();
}

void HostAppearance::readInterfaceSetting() {
  if (interface_) return;
  // Only where the desktop's schema is installed, and a version of it that has the key:
  // GSettings ends the program when asked for a schema or key it does not know.
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return;
  GSettingsSchema* schema =
      g_settings_schema_source_lookup(source, std::string(Constants::interfaceSchema).c_str(), TRUE);
  if (!schema) return;
  const std::string key(Constants::colourSchemeKey);
  if (g_settings_schema_has_key(schema, key.c_str())) {
    interface_ = g_settings_new_full(schema, nullptr, nullptr);
    const std::string changed = "changed::" + key;
    g_signal_connect(interface_, changed.c_str(), G_CALLBACK(onInterfaceSetting), this);
    // GSettings tells of changes only to a key that has been read.
    interfacePrefersDark();
  }
  g_settings_schema_unref(schema);
}

void HostAppearance::onInterfaceSetting(GSettings*, const gchar*, gpointer self) {
  static_cast<HostAppearance*>(self)->publish();
}

std::optional<bool> HostAppearance::interfacePrefersDark() const {
  if (!interface_) return std::nullopt;
  gchar* scheme = g_settings_get_string(interface_, std::string(Constants::colourSchemeKey).c_str());
  const std::string_view value = scheme ? scheme : "";
  std::optional<bool> dark;
  if (value == Constants::preferDark) dark = true;
  if (value == Constants::preferLight) dark = false;
  g_free(scheme);
  return dark;
}

void HostAppearance::portalAppeared(GDBusConnection* bus, const char* owner) {
  portalVanished();
  bus_ = G_DBUS_CONNECTION(g_object_ref(bus));
  subscription_ = g_dbus_connection_signal_subscribe(
      bus_, owner, std::string(Constants::settingsInterface).c_str(), "SettingChanged",
      std::string(Constants::portalPath).c_str(), std::string(Constants::appearanceNamespace).c_str(),
      G_DBUS_SIGNAL_FLAGS_NONE, onSettingChanged, this, nullptr);
  readColourScheme(false);
}

void HostAppearance::portalVanished() {
  if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
  subscription_ = 0;
  if (bus_) g_object_unref(bus_);
  bus_ = nullptr;
  colourScheme_.reset();
  publish();
}

void HostAppearance::readColourScheme(bool older) {
  const std::string ns(Constants::appearanceNamespace), key(Constants::colourSchemeKey);
  g_dbus_connection_call(
      bus_, std::string(Constants::portalName).c_str(), std::string(Constants::portalPath).c_str(),
      std::string(Constants::settingsInterface).c_str(), older ? "Read" : "ReadOne",
      g_variant_new("(ss)", ns.c_str(), key.c_str()), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1,
      cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto pending = *static_cast<PendingRead*>(data);
        delete static_cast<PendingRead*>(data);
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (!reply) {
          const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
          g_error_free(error);
          if (cancelled) return;  // the watcher is gone
          // A portal without ReadOne may still have Read; one without either leaves it to GTK.
          if (!pending.older && pending.self->bus_) pending.self->readColourScheme(true);
          return;
        }
        GVariant* value = g_variant_get_child_value(reply, 0);
        pending.self->colourSchemeRead(value);
        g_variant_unref(value);
        g_variant_unref(reply);
      },
      new PendingRead{this, older});
}

void HostAppearance::colourSchemeRead(GVariant* value) {
  GVariant* inner = unwrapped(value);
  colourScheme_ = schemeOf(inner);
  if (inner) g_variant_unref(inner);
  publish();
}

void HostAppearance::onSettingChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                      GVariant* parameters, gpointer data) {
  auto* self = static_cast<HostAppearance*>(data);
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) return;
  const gchar* ns = nullptr;
  const gchar* key = nullptr;
  GVariant* value = nullptr;
  g_variant_get(parameters, "(&s&sv)", &ns, &key, &value);
  if (ns == Constants::appearanceNamespace && key == Constants::colourSchemeKey) self->colourSchemeRead(value);
  g_variant_unref(value);
}

void HostAppearance::onThemeSetting(GObject*, GParamSpec*, gpointer self) { static_cast<HostAppearance*>(self)->publish(); }

bool HostAppearance::themePrefersDark() const {
  if (!settings_) return false;
  gboolean preferDark = FALSE;
  gchar* theme = nullptr;
  g_object_get(settings_, "gtk-application-prefer-dark-theme", &preferDark, "gtk-theme-name", &theme, nullptr);
  std::string name = theme ? theme : "";
  g_free(theme);
  constexpr std::string_view darkSuffix = "-dark";
  const bool darkTheme = name.size() >= darkSuffix.size() &&
                         g_ascii_strcasecmp(name.c_str() + name.size() - darkSuffix.size(), darkSuffix.data()) == 0;
  return preferDark || darkTheme;
}

void HostAppearance::publish() {
  // A portal's "no preference" (0) or an answer it does not know leaves it to the theme; the
  // desktop's setting counts only where no portal answers (a portal reads it itself).
  if (colourScheme_ == 1u) {
    dark_ = true;
  } else if (colourScheme_ == 2u) {
    dark_ = false;
  } else if (auto setting = colourScheme_ ? std::nullopt : interfacePrefersDark()) {
    dark_ = *setting;
  } else {
    dark_ = themePrefersDark();
  }
  NSAppearance::setEffectiveAppearance(
      NSAppearance::appearanceNamed(dark_ ? NSAppearanceNameDarkAqua : NSAppearanceNameAqua));
}
