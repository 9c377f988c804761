#pragma once
// The desktop's light or dark preference, read and followed for the kit
// (NSAppearance::setEffectiveAppearance), from the first source that has one:
// 1. the desktop portal, where one answers on the session bus: its freedesktop appearance
//    setting "color-scheme" (1 prefers dark, 2 prefers light; 0, no preference, leaves it
//    to GTK's settings), followed through its SettingChanged signal;
// 2. without a portal, the desktop's own setting where its schema is installed: GSettings'
//    org.gnome.desktop.interface color-scheme ("prefer-dark", "prefer-light"; "default"
//    leaves it to GTK's settings), which `gsettings set` changes, followed as it changes;
// 3. GTK's settings: gtk-application-prefer-dark-theme, or a theme whose name ends in
//    "-dark", followed as they change.
// The settings of 2 and 3 are read from the run loop's first turn on, not during the launch.

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

class HostAppearance {
 public:
  struct Constants {
    static constexpr std::string_view portalName = "org.freedesktop.portal.Desktop";
    static constexpr std::string_view portalPath = "/org/freedesktop/portal/desktop";
    static constexpr std::string_view settingsInterface = "org.freedesktop.portal.Settings";
    static constexpr std::string_view appearanceNamespace = "org.freedesktop.appearance";
    static constexpr std::string_view colourSchemeKey = "color-scheme";
    static constexpr std::string_view interfaceSchema = "org.gnome.desktop.interface";
    static constexpr std::string_view preferDark = "prefer-dark";
    static constexpr std::string_view preferLight = "prefer-light";
  };

  HostAppearance();
  ~HostAppearance();
  HostAppearance(const HostAppearance&) = delete;
  HostAppearance& operator=(const HostAppearance&) = delete;

  // Whether the desktop prefers dark now, as last published.
  bool prefersDark() const { return dark_; }

 private:
  void portalAppeared(GDBusConnection* bus, const char* owner);
  void portalVanished();
  // Asks the portal for the colour scheme: ReadOne, else the older Read.
  void readColourScheme(bool older);
  void colourSchemeRead(GVariant* value);
  // The desktop's and GTK's settings, read once and then followed.
  void readSettings();
  void readInterfaceSetting();
  // The desktop setting's preference: dark, light, or none.
  std::optional<bool> interfacePrefersDark() const;
  bool themePrefersDark() const;
  void publish();

  static void onSettingChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                               GVariant* parameters, gpointer self);
  static void onThemeSetting(GObject*, GParamSpec*, gpointer self);
  static void onInterfaceSetting(GSettings*, const gchar* key, gpointer self);

  guint watch_ = 0;
  guint subscription_ = 0;
  GDBusConnection* bus_ = nullptr;
  GCancellable* cancellable_ = nullptr;
  // The portal's answer, while one answers.
  std::optional<std::uint32_t> colourScheme_;
  GtkSettings* settings_ = nullptr;
  // The desktop's interface settings, when their schema is installed.
  GSettings* interface_ = nullptr;
  bool dark_ = false;
  // Held while this lives, for the block that reads GTK's settings later.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
