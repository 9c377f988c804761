#include "platform/host/HostTray.h"
#include "platform/host/SessionBus.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSStatusBar.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/Paths.h"
#include "platform/host/DesktopHost.h"
#include "platform/render/CairoContext.h"

namespace {
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kItemXml =
    "<node><interface name='org.kde.StatusNotifierItem'>"
    "<property name='Category' type='s' access='read'/>"
    "<property name='Id' type='s' access='read'/>"
    "<property name='Title' type='s' access='read'/>"
    "<property name='Status' type='s' access='read'/>"
    "<property name='WindowId' type='i' access='read'/>"
    "<property name='IconName' type='s' access='read'/>"
    "<property name='IconPixmap' type='a(iiay)' access='read'/>"
    "<property name='ItemIsMenu' type='b' access='read'/>"
    "<method name='Activate'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='SecondaryActivate'><arg name='x' type='i' direction='in'/>"
    "<arg name='y' type='i' direction='in'/></method>"
    "<method name='ContextMenu'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='Scroll'><arg name='delta' type='i' direction='in'/>"
    "<arg name='orientation' type='s' direction='in'/></method>"
    "<signal name='NewIcon'/><signal name='NewTitle'/><signal name='NewStatus'><arg type='s'/></signal>"
    "</interface></node>";

bool statusNotifierWatcherRuns() {
  if (!SessionBus::named()) return false;
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) {
    g_clear_error(&error);
    return false;
  }
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", std::string(HostTray::Constants::watcherName).c_str()), G_VARIANT_TYPE("(b)"),
      G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
  gboolean owned = FALSE;
  if (reply) {
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
  }
  g_clear_error(&error);
  g_object_unref(bus);
  return owned;
}

bool xembedTrayRuns() {
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display)) return false;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(x));
  return XGetSelectionOwner(x, XInternAtom(x, selection.c_str(), False)) != None;
}

// The square of the bar's thickness in the middle of the item, drawn at `pixels` a side:
// trays show square icons.
CGImage renderIcon(const std::shared_ptr<NSStatusBarWindow>& window, int pixels) {
  NSRect frame = window->frame();
  double side = frame.height();
  if (side <= 0 || pixels <= 0) return {};
  auto canvas = CairoContext::make(NSMakeSize(side, side), pixels / side);
  canvas->translate(-(frame.width() - side) / 2, 0);
  window->layoutIfNeeded();
  ViewTreeRenderer::drawWindow(window, *canvas);
  return canvas->pixels();
}
}  // namespace

class HostTray::Icon {
 public:
  Icon(DesktopHost& host, const std::shared_ptr<NSStatusBarWindow>& window, Kind kind, int number)
      : host_(host), window_(window), kind_(kind) {
    if (kind_ == Kind::statusNotifierItem) {
      publishOnBus(number);
    } else if (kind_ == Kind::xembed) {
      // GTK's status icon is the first widget it realizes, which loads its theme: a launch
      // would wait for it before its panel's delay even begins. Made on the first idle turn,
      // it is in the tray long before the panel opens.
      onIdle<&Icon::showing_, &Icon::showInTray>();
    }
  }

  ~Icon() {
    if (showing_) g_source_remove(showing_);
    if (connecting_) {
      g_cancellable_cancel(connecting_);
      g_object_unref(connecting_);
    }
    if (redraw_) g_source_remove(redraw_);
    if (owner_) g_bus_unown_name(owner_);
    if (bus_ && registration_) g_dbus_connection_unregister_object(bus_, registration_);
    if (bus_) {
      g_dbus_connection_close_sync(bus_, nullptr, nullptr);
      g_object_unref(bus_);
    }
    if (statusIcon_) {
      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
      gtk_status_icon_set_visible(statusIcon_, FALSE);
      G_GNUC_END_IGNORE_DEPRECATIONS
      g_signal_handlers_disconnect_by_data(statusIcon_, this);
      g_object_unref(statusIcon_);
    }
  }

  const NSWindow* window() const { return window_.lock().get(); }
  std::shared_ptr<NSStatusBarWindow> statusWindow() const { return window_.lock(); }
  Kind kind() const { return kind_; }
  const std::string& busName() const { return name_; }

  void scheduleRedraw() { onIdle<&Icon::redraw_, &Icon::redrawNow>(); }

  std::optional<NSRect> iconArea() const {
    if (statusIcon_) {
      GdkRectangle area{};
      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
      gboolean known = gtk_status_icon_get_geometry(statusIcon_, nullptr, &area, nullptr);
      G_GNUC_END_IGNORE_DEPRECATIONS
      if (known && area.width > 0) return NSMakeRect(area.x, area.y, area.width, area.height);
      return std::nullopt;
    }
    auto window = window_.lock();
    if (!window || !placed_) return std::nullopt;
    NSRect frame = window->frame();
    NSPoint topLeft = host_.desktopPointFromScreen(NSMakePoint(frame.minX(), frame.maxY()));
    return NSMakeRect(topLeft.x, topLeft.y, frame.width(), frame.height());
  }

 private:
  // Runs the work once on an idle turn of GLib's loop, however often it is asked for before
  // then; the slot holds the source meanwhile, for the destructor to remove.
  template <guint Icon::*Slot, void (Icon::*Work)()>
  void onIdle() {
    if (this->*Slot) return;
    this->*Slot = g_idle_add(
        [](gpointer self) -> gboolean {
          auto* icon = static_cast<Icon*>(self);
          icon->*Slot = 0;
          (icon->*Work)();
          return G_SOURCE_REMOVE;
        },
        this);
  }

  // ---- StatusNotifierItem ----
  void publishOnBus(int number) {
    name_ = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(number);
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!address) {
      refused(error);
      return;
    }
    // A connection of the item's own, so every item has its own object at the fixed path. It
    // is made while the launch goes on: its handshake with the bus takes round trips.
    connecting_ = g_cancellable_new();
    g_dbus_connection_new_for_address(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, connecting_,
        [](GObject*, GAsyncResult* result, gpointer self) {
          GError* error = nullptr;
          GDBusConnection* bus = g_dbus_connection_new_for_address_finish(result, &error);
          // A cancelled connection's icon is gone.
          if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
            g_error_free(error);
            return;
          }
          static_cast<Icon*>(self)->connected(bus, error);
        },
        this);
    g_free(address);
  }

  void refused(GError* error) {
    OutputSink::print(std::string("Status icon: the session bus refused the item: ") +
                      (error ? error->message : "no address"));
    g_clear_error(&error);
  }

  void connected(GDBusConnection* bus, GError* error) {
    g_clear_object(&connecting_);
    if (!bus) {
      refused(error);
      return;
    }
    bus_ = bus;
    static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kItemXml, nullptr);
    static const GDBusInterfaceVTable table{&Icon::onMethod, &Icon::onProperty, nullptr, {}};
    registration_ = g_dbus_connection_register_object(bus_, std::string(Constants::itemPath).c_str(),
                                                      node->interfaces[0], &table, this, nullptr, &error);
    g_clear_error(&error);
    owner_ = g_bus_own_name_on_connection(bus_, name_.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE, &Icon::onNameAcquired,
                                          nullptr, this, nullptr);
  }

  static void onNameAcquired(GDBusConnection* bus, const gchar* name, gpointer) {
    g_dbus_connection_call(bus, std::string(Constants::watcherName).c_str(), "/StatusNotifierWatcher",
                           std::string(Constants::watcherName).c_str(), "RegisterStatusNotifierItem",
                           g_variant_new("(s)", name), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                           [](GObject* source, GAsyncResult* result, gpointer) {
                             GError* error = nullptr;
                             GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
                             if (reply) g_variant_unref(reply);
                             if (error) {
                               OutputSink::print(std::string("Status icon: the tray did not take the item: ") +
                                                 error->message);
                               g_error_free(error);
                             }
                           },
                           nullptr);
  }

  static void onMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
    auto* icon = static_cast<Icon*>(self);
    std::string name = method;
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (name != "Activate") return;
    gint32 x = 0, y = 0;
    g_variant_get(parameters, "(ii)", &x, &y);
    if (x == 0 && y == 0) {
      // Hosts that do not know where the icon is say (0, 0): the pointer is there.
      GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
      if (GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr) gdk_device_get_position(pointer, nullptr, &x, &y);
    }
    icon->clickAt(x, y);
  }

  static GVariant* onProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                              GError**, gpointer self) {
    auto* icon = static_cast<Icon*>(self);
    std::string name = property;
    if (name == "Category") return g_variant_new_string("ApplicationStatus");
    if (name == "Id" || name == "Title") return g_variant_new_string(Paths::applicationName().c_str());
    if (name == "Status") return g_variant_new_string("Active");
    if (name == "WindowId") return g_variant_new_int32(0);
    if (name == "IconName") return g_variant_new_string("");
    if (name == "ItemIsMenu") return g_variant_new_boolean(FALSE);
    if (name == "IconPixmap") return icon->pixmaps();
    return nullptr;
  }

  GVariant* pixmaps() {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
    if (auto window = window_.lock()) {
      for (int pixels : {22, 44}) {
        CGImage image = renderIcon(window, pixels);
        // ARGB, each pixel's bytes in network order.
        std::vector<std::uint8_t> argb(image.rgba.size());
        for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
          argb[i] = image.rgba[i + 3];
          argb[i + 1] = image.rgba[i];
          argb[i + 2] = image.rgba[i + 1];
          argb[i + 3] = image.rgba[i + 2];
        }
        GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, argb.data(), argb.size(), 1);
        g_variant_builder_add(&builder, "(ii@ay)", image.width, image.height, bytes);
      }
    }
    return g_variant_builder_end(&builder);
  }

  // ---- XEmbed ----
  void showInTray() {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    statusIcon_ = gtk_status_icon_new();
    gtk_status_icon_set_title(statusIcon_, Paths::applicationName().c_str());
    gtk_status_icon_set_tooltip_text(statusIcon_, Paths::applicationName().c_str());
    g_signal_connect(statusIcon_, "activate", G_CALLBACK(&Icon::onActivate), this);
    g_signal_connect(statusIcon_, "size-changed", G_CALLBACK(&Icon::onSizeChanged), this);
    g_signal_connect(statusIcon_, "notify::embedded", G_CALLBACK(&Icon::onEmbedded), this);
    redrawNow();
    gtk_status_icon_set_visible(statusIcon_, TRUE);
    G_GNUC_END_IGNORE_DEPRECATIONS
  }

  static void onActivate(GtkStatusIcon*, gpointer self) {
    auto* icon = static_cast<Icon*>(self);
    icon->placeAtIcon();
    if (auto area = icon->iconArea()) icon->clickAt(area->midX(), area->midY());
  }

  static gboolean onSizeChanged(GtkStatusIcon*, gint size, gpointer self) {
    auto* icon = static_cast<Icon*>(self);
    if (size > 0) icon->iconSize_ = size;
    icon->redrawNow();
    icon->placeAtIcon();
    return TRUE;
  }

  // Once the tray shows the icon, what hangs from the item hangs from the icon, even
  // before the first click.
  static void onEmbedded(GObject*, GParamSpec*, gpointer self) { static_cast<Icon*>(self)->placeAtIcon(); }

  // The item's window takes the icon's whole height, so what hangs from it clears the tray.
  void placeAtIcon() {
    if (auto area = iconArea()) placeAt(area->midX(), area->midY(), area->height());
  }

  void redrawNow() {
    auto window = window_.lock();
    if (!window) return;
    if (bus_ && registration_) {
      g_dbus_connection_emit_signal(bus_, nullptr, std::string(Constants::itemPath).c_str(), kItemInterface, "NewIcon",
                                    nullptr, nullptr);
    }
    if (!statusIcon_) return;
    CGImage image = renderIcon(window, iconSize_);
    if (image.width <= 0) return;
    auto* copy = static_cast<guchar*>(g_memdup2(image.rgba.data(), image.rgba.size()));
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_data(copy, GDK_COLORSPACE_RGB, TRUE, 8, image.width, image.height,
                                                 image.width * 4, [](guchar* data, gpointer) { g_free(data); }, nullptr);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_status_icon_set_from_pixbuf(statusIcon_, pixbuf);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_object_unref(pixbuf);
  }

  // The icon was clicked at a point of the desktop: the item's window moves there (so what
  // hangs from its view hangs from the icon) and its view hears the click.
  void placeAt(double x, double y, std::optional<double> height = std::nullopt) {
    auto window = window_.lock();
    if (!window) return;
    NSRect frame = window->frame();
    double h = height.value_or(frame.height());
    NSPoint centre = host_.screenPointFromDesktop(x, y);
    NSRect placed = NSMakeRect(centre.x - frame.width() / 2, centre.y - h / 2, frame.width(), h);
    if (placed != frame) window->setFrame(placed, false);
    placed_ = true;
  }

  void clickAt(double x, double y) {
    auto window = window_.lock();
    if (!window) return;
    placeAt(x, y);
    NSRect frame = window->frame();
    NSEvent::noteMouseLocation(host_.screenPointFromDesktop(x, y));
    NSPoint base = NSMakePoint(frame.width() / 2, frame.height() / 2);
    auto app = NSApplication::sharedApplication();
    for (auto type : {NSEventType::leftMouseDown, NSEventType::leftMouseUp}) {
      app->handleEvent(NSEvent::mouseEventWithType(type, base, 0, Clock::current().now(), window->windowNumber(),
                                                   nullptr, ++eventNumber_, 1, 1.0));
    }
  }

  DesktopHost& host_;
  std::weak_ptr<NSStatusBarWindow> window_;
  Kind kind_;
  GDBusConnection* bus_ = nullptr;
  guint registration_ = 0;
  guint owner_ = 0;
  std::string name_;
  GCancellable* connecting_ = nullptr;
  GtkStatusIcon* statusIcon_ = nullptr;
  guint showing_ = 0;
  int iconSize_ = 22;
  guint redraw_ = 0;
  bool placed_ = false;
  long eventNumber_ = 0;
};

HostTray::HostTray(DesktopHost& host) : host_(host) {
  if (!SessionBus::named()) {
    watcherKnown_ = true;
    return;
  }
  // The watch answers once the bus has, whether a watcher runs or not; items added before
  // then wait for it rather than ask the bus themselves and hold the launch up.
  watch_ = g_bus_watch_name(
      G_BUS_TYPE_SESSION, std::string(Constants::watcherName).c_str(), G_BUS_NAME_WATCHER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar* owner, gpointer self) {
        static_cast<HostTray*>(self)->watcherAppeared(owner ? owner : "");
      },
      [](GDBusConnection*, const gchar*, gpointer self) { static_cast<HostTray*>(self)->watcherVanished(); }, this,
      nullptr);
}

HostTray::~HostTray() {
  if (watch_) g_bus_unwatch_name(watch_);
}

void HostTray::watcherAppeared(const std::string& owner) {
  bool restarted = !watcherOwner_.empty() && watcherOwner_ != owner;
  watcherOwner_ = owner;
  watcherKnown_ = true;
  watcherRuns_ = true;
  for (auto& icon : icons_) {
    // Items the former watcher knew must register with the new one; items without a tray
    // become items of this one. Those registered already with this watcher stay as they are.
    bool move = icon->kind() == Kind::none || (restarted && icon->kind() == Kind::statusNotifierItem);
    auto window = icon->statusWindow();
    if (!move || !window) continue;
    icon = std::make_unique<Icon>(host_, window, Kind::statusNotifierItem, nextNumber_++);
  }
  settlePending();
}

void HostTray::watcherVanished() {
  watcherKnown_ = true;
  watcherRuns_ = false;
  settlePending();
}

void HostTray::add(const std::shared_ptr<NSStatusBarWindow>& window) {
  if (!window || isPending(window.get()) || kind(window.get()) != Kind::none) return;
  if (!watcherKnown_) {
    pending_.push_back(window);
    return;
  }
  settle(window, watcherRuns_);
}

void HostTray::settle(const std::shared_ptr<NSStatusBarWindow>& window, bool watcherRuns) {
  Kind kind = Kind::none;
  if (watcherRuns) {
    kind = Kind::statusNotifierItem;
  } else if (xembedTrayRuns()) {
    kind = Kind::xembed;
  } else if (!std::exchange(toldNoTray_, true)) {
    OutputSink::print(Constants::noTrayLine);
  }
  icons_.push_back(std::make_unique<Icon>(host_, window, kind, nextNumber_++));
}

void HostTray::settlePending() {
  auto pending = std::exchange(pending_, {});
  for (auto& waiting : pending) {
    if (auto window = waiting.lock()) settle(window, watcherRuns_);
  }
}

bool HostTray::isPending(const NSWindow* window) const {
  return std::any_of(pending_.begin(), pending_.end(),
                     [&](const auto& waiting) { return waiting.lock().get() == window; });
}

void HostTray::settleNow(const NSWindow* window) {
  if (!window || !isPending(window)) return;
  // Asked before the watch has answered: the bus is asked here and now.
  const bool watcherRuns = statusNotifierWatcherRuns();
  auto pending = std::exchange(pending_, {});
  for (auto& waiting : pending) {
    auto item = waiting.lock();
    if (item && item.get() == window) {
      settle(item, watcherRuns);
    } else if (item) {
      pending_.push_back(item);
    }
  }
}

void HostTray::remove(const NSWindow* window) {
  std::erase_if(pending_, [&](const auto& waiting) {
    auto item = waiting.lock();
    return !item || item.get() == window;
  });
  std::erase_if(icons_, [&](const auto& icon) { return icon->window() == window || !icon->window(); });
}

void HostTray::needsDisplay(const NSWindow* window) {
  for (auto& icon : icons_) {
    if (icon->window() == window) icon->scheduleRedraw();
  }
}

HostTray::Kind HostTray::kind(const NSWindow* window) {
  settleNow(window);
  for (auto& icon : icons_) {
    if (icon->window() == window) return icon->kind();
  }
  return Kind::none;
}

std::string HostTray::busName(const NSWindow* window) {
  settleNow(window);
  for (auto& icon : icons_) {
    if (icon->window() == window) return icon->busName();
  }
  return {};
}

std::optional<NSRect> HostTray::iconArea(const NSWindow* window) {
  settleNow(window);
  for (auto& icon : icons_) {
    if (icon->window() == window) return icon->iconArea();
  }
  return std::nullopt;
}

bool HostTray::covers(double x, double y) const {
  return std::any_of(icons_.begin(), icons_.end(), [&](const auto& icon) {
    auto area = icon->iconArea();
    return area && NSPointInRect(NSMakePoint(x, y), *area);
  });
}
