#pragma once
// The desktop's light or dark preference, read and followed for the kit
// (NSAppearance::setEffectiveAppearance). Where the desktop portal answers on the session
// bus, its freedesktop appearance setting "color-scheme" rules (1 prefers dark, 2 prefers
// light; 0, no preference, leaves it to the theme) and its SettingChanged signal is
// followed; otherwise GTK's settings decide: gtk-application-prefer-dark-theme, or a theme
// whose name ends in "-dark", read from the run loop's first turn on and followed as they change.

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
  // GTK's settings, read once and then followed.
  void readThemeSettings();
  bool themePrefersDark() const;
  void publish();

  static void onSettingChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                               GVariant* parameters, gpointer self);
  static void onThemeSetting(GObject*, GParamSpec*, gpointer self);

  guint watch_ = 0;
  guint subscription_ = 0;
  GDBusConnection* bus_ = nullptr;
  GCancellable* cancellable_ = nullptr;
  // The portal's answer, while one answers.
  std::optional<std::uint32_t> colourScheme_;
  GtkSettings* settings_ = nullptr;
  bool dark_ = false;
  // Held while this lives, for the block that reads GTK's settings later.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
