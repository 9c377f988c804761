#include "platform/host/GlobalHotKeys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gio/gio.h>

#include <algorithm>
#include <string>

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/OutputSink.h"
#include "platform/host/HostKeys.h"

// What one registration holds on the desktop.
struct GlobalHotKeys::Binding {
  std::shared_ptr<NSObject> token;
  std::function<void()> action;
  unsigned modifiers = 0;
  std::vector<int> keycodes;  // X: every key that types the keysym
  std::string portalId;       // Wayland: the portal's shortcut id
};

// ---- the desktop portal (Wayland) -----------------------------------------------------

namespace {
constexpr const char* kPortalBus = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

std::string triggerFor(unsigned keysym, NSEventModifierFlags flags) {
  // The shortcut as the portal's preferred trigger spells it (modifiers, then the keysym).
  std::string trigger;
  if (flags & NSEventModifierFlagCommand) trigger += "CTRL+";
  if (flags & NSEventModifierFlagOption) trigger += "ALT+";
  if (flags & NSEventModifierFlagShift) trigger += "SHIFT+";
  if (flags & NSEventModifierFlagControl) trigger += "LOGO+";
  const char* name = gdk_keyval_name(keysym);
  return trigger + (name ? name : "");
}
}  // namespace

// A GlobalShortcuts session: created once, shortcuts bound as they are registered, and the
// portal's Activated signal turned into the actions.
class ShortcutPortal {
 public:
  static std::shared_ptr<ShortcutPortal> connect() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
      g_clear_error(&error);
      return nullptr;
    }
    GVariant* version = g_dbus_connection_call_sync(
        bus, kPortalBus, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kShortcutsInterface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 2000,
        nullptr, &error);
    if (!version) {
      g_clear_error(&error);
      g_object_unref(bus);
      return nullptr;
    }
    g_variant_unref(version);
    auto portal = std::shared_ptr<ShortcutPortal>(new ShortcutPortal(bus));
    portal->activated_ = g_dbus_connection_signal_subscribe(
        bus, kPortalBus, kShortcutsInterface, "Activated", kPortalPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        onActivated, portal.get(), nullptr);
    return portal;
  }

  ~ShortcutPortal() {
    for (auto id : subscriptions_) g_dbus_connection_signal_unsubscribe(bus_, id);
    g_dbus_connection_signal_unsubscribe(bus_, activated_);
    if (!session_.empty()) {
      g_dbus_connection_call(bus_, kPortalBus, session_.c_str(), "org.freedesktop.portal.Session", "Close", nullptr,
                             nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    }
    g_object_unref(bus_);
  }

  std::function<void(const std::string&)> onShortcut;

  void bind(const std::string& id, const std::string& trigger) {
    pending_.push_back({id, trigger});
    if (session_.empty()) {
      if (!creating_) createSession();
      return;
    }
    bindPending();
  }

 private:
  explicit ShortcutPortal(GDBusConnection* bus) : bus_(bus) {}

  // The portal answers on a request object whose path follows from our name and a token.
  std::string expectResponse(const std::string& token, GDBusSignalCallback callback) {
    std::string sender = g_dbus_connection_get_unique_name(bus_) + 1;
    std::ranges::replace(sender, '.', '_');
    std::string path = std::string(kPortalPath) + "/request/" + sender + "/" + token;
    subscriptions_.push_back(g_dbus_connection_signal_subscribe(bus_, kPortalBus, kRequestInterface, "Response",
                                                                path.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                                callback, this, nullptr));
    return path;
  }

  std::string nextToken() { return "glimdeck" + std::to_string(++tokens_); }

  void createSession() {
    creating_ = true;
    auto token = nextToken();
    expectResponse(token, onSessionCreated);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string("glimdeck"));
    g_dbus_connection_call(bus_, kPortalBus, kPortalPath, kShortcutsInterface, "CreateSession",
                           g_variant_new("(a{sv})", &options), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr,
                           nullptr);
  }

  void bindPending() {
    if (pending_.empty()) return;
    GVariantBuilder shortcuts;
    g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
    for (auto& [id, trigger] : pending_) {
      GVariantBuilder details;
      g_variant_builder_init(&details, G_VARIANT_TYPE_VARDICT);
      g_variant_builder_add(&details, "{sv}", "description", g_variant_new_string("Open Glimdeck"));
      g_variant_builder_add(&details, "{sv}", "preferred_trigger", g_variant_new_string(trigger.c_str()));
      g_variant_builder_add(&shortcuts, "(sa{sv})", id.c_str(), &details);
    }
    pending_.clear();
    auto token = nextToken();
    expectResponse(token, onBound);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_dbus_connection_call(bus_, kPortalBus, kPortalPath, kShortcutsInterface, "BindShortcuts",
                           g_variant_new("(oa(sa{sv})sa{sv})", session_.c_str(), &shortcuts, "", &options), nullptr,
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  }

  static void onSessionCreated(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                               GVariant* parameters, gpointer data) {
    auto* self = static_cast<ShortcutPortal*>(data);
    guint32 response = 2;
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &response, &results);
    const gchar* handle = nullptr;
    if (response == 0 && g_variant_lookup(results, "session_handle", "&s", &handle) && handle) {
      self->session_ = handle;
      self->bindPending();
    } else {
      OutputSink::print("Global shortcut: the desktop portal refused a shortcut session; the shortcut is off.");
    }
    if (results) g_variant_unref(results);
    self->creating_ = false;
  }

  static void onBound(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                      gpointer) {
    guint32 response = 2;
    g_variant_get_child(parameters, 0, "u", &response);
    if (response != 0) OutputSink::print("Global shortcut: the desktop did not bind the shortcut; it is off.");
  }

  static void onActivated(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                          GVariant* parameters, gpointer data) {
    auto* self = static_cast<ShortcutPortal*>(data);
    const gchar* session = nullptr;
    const gchar* id = nullptr;
    g_variant_get_child(parameters, 0, "&o", &session);
    g_variant_get_child(parameters, 1, "&s", &id);
    if (session && id && self->session_ == session && self->onShortcut) self->onShortcut(id);
  }

  GDBusConnection* bus_;
  guint activated_ = 0;
  std::vector<guint> subscriptions_;
  std::vector<std::pair<std::string, std::string>> pending_;
  std::string session_;
  bool creating_ = false;
  int tokens_ = 0;
};

// ---- registrations --------------------------------------------------------------------

namespace {
std::shared_ptr<NSError> hotKeyError(GlobalHotKeys::Code code, std::string_view description) {
  return NSError::make(std::string(GlobalHotKeys::Constants::errorDomain), code, std::string(description));
}

Display* xDisplay() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

// The modifier bit NumLock sits on (it varies between keyboard maps).
unsigned numLockMaskOf(Display* display) {
  unsigned mask = 0;
  KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
  XModifierKeymap* map = XGetModifierMapping(display);
  if (!map) return 0;
  for (int modifier = 0; modifier < 8 && numLock; ++modifier) {
    for (int k = 0; k < map->max_keypermod; ++k) {
      if (map->modifiermap[modifier * map->max_keypermod + k] == numLock) mask = 1u << modifier;
    }
  }
  XFreeModifiermap(map);
  return mask;
}

// Every key that types the keysym in any of its levels: a layout may put it on several.
std::vector<int> keycodesFor(Display* display, unsigned keysym) {
  std::vector<int> found;
  int minCode = 0, maxCode = 0, perCode = 0;
  XDisplayKeycodes(display, &minCode, &maxCode);
  KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
  if (!map) return found;
  KeySym lower = 0, upper = 0;
  XConvertCase(keysym, &lower, &upper);
  for (int code = minCode; code <= maxCode; ++code) {
    for (int level = 0; level < perCode; ++level) {
      KeySym sym = map[(code - minCode) * perCode + level];
      if (sym != NoSymbol && (sym == lower || sym == upper)) {
        found.push_back(code);
        break;
      }
    }
  }
  XFree(map);
  return found;
}
}  // namespace

std::shared_ptr<GlobalHotKeys> GlobalHotKeys::make(bool x11) {
  auto keys = std::shared_ptr<GlobalHotKeys>(new GlobalHotKeys());
  keys->x11_ = x11;
  return keys;
}

namespace {
GdkFilterReturn hotKeyFilter(GdkXEvent* xevent, GdkEvent*, gpointer data) {
  return static_cast<GlobalHotKeys*>(data)->handleX(xevent) ? GDK_FILTER_REMOVE : GDK_FILTER_CONTINUE;
}
}  // namespace

GlobalHotKeys::~GlobalHotKeys() {
  unregisterAll();
  if (filterInstalled_) gdk_window_remove_filter(nullptr, hotKeyFilter, this);
}

GlobalHotKeys::Registered GlobalHotKeys::registerHotKey(std::uint16_t keyCode, NSEventModifierFlags flags,
                                                        std::function<void()> action) {
  if (x11_) return grabOnX(keyCode, flags, std::move(action));
  return bindThroughPortal(keyCode, flags, std::move(action));
}

GlobalHotKeys::Registered GlobalHotKeys::grabOnX(std::uint16_t keyCode, NSEventModifierFlags flags,
                                                 std::function<void()> action) {
  unsigned keysym = HostKeys::keysymForKeyCode(keyCode);
  Display* display = xDisplay();
  auto keycodes = keysym ? keycodesFor(display, keysym) : std::vector<int>{};
  if (keycodes.empty()) return std::unexpected(hotKeyError(unsupportedKey, Constants::noSuchKey));
  numLockMask_ = numLockMaskOf(display);
  auto binding = std::make_shared<Binding>();
  binding->token = std::make_shared<NSObject>();
  binding->action = std::move(action);
  binding->modifiers = HostKeys::x11ModifiersFromFlags(flags);
  binding->keycodes = keycodes;

  GdkDisplay* gdkDisplay = gdk_display_get_default();
  Window root = DefaultRootWindow(display);
  const unsigned locks[] = {0u, LockMask, numLockMask_, LockMask | numLockMask_};
  gdk_x11_display_error_trap_push(gdkDisplay);
  for (int code : keycodes) {
    for (unsigned lock : locks) {
      XGrabKey(display, code, binding->modifiers | lock, root, False, GrabModeAsync, GrabModeAsync);
    }
  }
  XSync(display, False);
  int failure = gdk_x11_display_error_trap_pop(gdkDisplay);
  if (failure) {
    // Another client holds the key (BadAccess): take back the grabs that did succeed.
    release(*binding);
    auto error = failure == BadAccess ? hotKeyError(taken, Constants::shortcutTaken)
                                      : hotKeyError(unavailable, "The desktop refused the shortcut (X error " + std::to_string(failure) + ").");
    OutputSink::print("Global shortcut: " + error->localizedDescription() + ".");
    return std::unexpected(error);
  }
  if (!filterInstalled_) {
    gdk_window_add_filter(nullptr, hotKeyFilter, this);
    filterInstalled_ = true;
  }
  bindings_.push_back(binding);
  return binding->token;
}

bool GlobalHotKeys::handleX(void* raw) {
  auto* event = static_cast<XEvent*>(raw);
  if (event->type != KeyPress && event->type != KeyRelease) return false;
  if (event->xkey.window != DefaultRootWindow(event->xkey.display)) return false;
  unsigned state = event->xkey.state & ~(LockMask | numLockMask_) &
                   (ShiftMask | ControlMask | Mod1Mask | Mod4Mask);
  for (auto& binding : bindings_) {
    if (binding->modifiers != state ||
        std::ranges::find(binding->keycodes, static_cast<int>(event->xkey.keycode)) == binding->keycodes.end()) {
      continue;
    }
    if (event->type == KeyPress) NSRunLoop::main()->perform(binding->action);
    return true;
  }
  return false;
}

GlobalHotKeys::Registered GlobalHotKeys::bindThroughPortal(std::uint16_t keyCode, NSEventModifierFlags flags,
                                                           std::function<void()> action) {
  unsigned keysym = HostKeys::keysymForKeyCode(keyCode);
  if (!keysym) return std::unexpected(hotKeyError(unsupportedKey, Constants::noSuchKey));
  if (!portal_) portal_ = ShortcutPortal::connect();
  if (!portal_) {
    if (!toldNoPortal_) OutputSink::print(Constants::noPortalLine);
    toldNoPortal_ = true;
    return std::unexpected(hotKeyError(unavailable, Constants::noPortalLine));
  }
  std::weak_ptr<GlobalHotKeys> weak = sharedAs<GlobalHotKeys>();
  portal_->onShortcut = [weak](const std::string& id) {
    auto self = weak.lock();
    if (!self) return;
    for (auto& binding : self->bindings_) {
      if (binding->portalId == id) NSRunLoop::main()->perform(binding->action);
    }
  };
  auto binding = std::make_shared<Binding>();
  binding->token = std::make_shared<NSObject>();
  binding->action = std::move(action);
  binding->portalId = "shortcut-" + std::to_string(bindings_.size() + 1);
  portal_->bind(binding->portalId, triggerFor(keysym, flags));
  bindings_.push_back(binding);
  return binding->token;
}

void GlobalHotKeys::release(Binding& binding) {
  if (!x11_ || binding.keycodes.empty()) return;
  Display* display = xDisplay();
  GdkDisplay* gdkDisplay = gdk_display_get_default();
  Window root = DefaultRootWindow(display);
  const unsigned locks[] = {0u, LockMask, numLockMask_, LockMask | numLockMask_};
  gdk_x11_display_error_trap_push(gdkDisplay);
  for (int code : binding.keycodes) {
    for (unsigned lock : locks) XUngrabKey(display, code, binding.modifiers | lock, root);
  }
  XSync(display, False);
  gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
}

void GlobalHotKeys::unregisterHotKey(const std::shared_ptr<NSObject>& token) {
  auto it = std::ranges::find_if(bindings_, [&](auto& b) { return b->token == token; });
  if (it == bindings_.end()) return;
  release(**it);
  bindings_.erase(it);
}

void GlobalHotKeys::unregisterAll() {
  for (auto& binding : bindings_) release(*binding);
  bindings_.clear();
  portal_.reset();
}
