#include "platform/host/HostMenu.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>

#include "platform/appkit/MenuRenderer.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSMenuItem.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/HostKeys.h"
#include "platform/host/HostWindow.h"
#include "platform/host/X11Windows.h"
#include "platform/render/CairoContext.h"

namespace {
// A press dragged this far (desktop pixels) from where the menu opened is a drag onto its items.
constexpr double kDragSlop = 4.0;
// Presses remembered for the watcher of other programs' clicks, which may hear of one late.
constexpr std::size_t kRememberedPresses = 8;

bool selectable(const NSMenuItem& item) { return !item.hidden && !item.isSeparatorItem() && item.isEnabled(); }

bool opensSubmenu(const NSMenuItem& item) {
  auto submenu = item.submenu();
  return submenu && std::ranges::any_of(submenu->itemArray(), [](const auto& i) { return !i->hidden; });
}

// One axis of a menu's place: where it would like to start, else where it starts on the
// other side of its anchor, else shifted to fit between `low` and `high` (the start, when
// it is longer than that).
double placeOnAxis(double preferred, double flipped, double length, double low, double high) {
  if (preferred >= low && preferred + length <= high) return preferred;
  if (flipped >= low && flipped + length <= high) return flipped;
  return std::max(low, std::min(preferred, high - length));
}

GdkFilterReturn menuFocusFilter(GdkXEvent* xevent, GdkEvent*, gpointer session);
}  // namespace

// One open menu on the desktop: the windows of its levels, and an invisible window that
// holds the pointer and keyboard grab and hears every press, move and key meanwhile
// (events are reported to it alone, at their place on the desktop).
class MenuSession : public std::enable_shared_from_this<MenuSession> {
 public:
  MenuSession(HostMenu& owner, std::shared_ptr<NSMenu> menu) : owner_(owner), menu_(std::move(menu)) {}
  ~MenuSession();
  MenuSession(const MenuSession&) = delete;
  MenuSession& operator=(const MenuSession&) = delete;

  // Shows the menu with its top left corner at the desktop point and takes the pointer and
  // keyboard; false when the desktop refused them.
  bool begin(NSPoint point, GtkWindow* parent);
  // The menu closed: its windows go; the grab stays until a press the menu took is released.
  void end();
  // Closes the menu without a choice.
  void cancel();
  // Gives the pointer and keyboard back.
  void finish();

  bool isOpen() const { return !ended_; }
  const std::shared_ptr<NSMenu>& menu() const { return menu_; }
  std::vector<unsigned long> nativeWindowIds() const;
  // XInput's events are told apart by its opcode.
  int xinputOpcode() const { return xinputOpcode_; }
  void focusMayHaveMoved();

 private:
  struct Level {
    std::shared_ptr<NSMenu> menu;
    GtkWidget* window = nullptr;
    NSRect frame;           // on the desktop; origin at the top left
    long highlighted = -1;  // the item shown selected
    long openedFrom = -1;   // the item of the level above that opened this one
    std::shared_ptr<CairoContext> canvas;
    MenuSession* session = nullptr;
  };

  void openLevel(const std::shared_ptr<NSMenu>& menu, NSRect anchor, bool beside, long openedFrom);
  void closeLevelsAfter(std::size_t level);
  void closeAllLevels();
  void keepLevels(std::size_t count);
  void render(Level& level);
  void setHighlight(std::size_t level, long index);
  int levelAt(double x, double y) const;
  long itemAt(const Level& level, double x, double y) const;
  void hover(double x, double y);
  void moveHighlight(int step);
  void openSubmenuOf(std::size_t level, long index, bool highlightFirst);
  void activate(std::size_t level, long index);
  void choose(std::size_t level, long index);
  void press(const GdkEventButton& event);
  void release(const GdkEventButton& event);
  void key(guint keyval);
  bool isOurs(Window window) const;

  static gboolean onButton(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer self);
  static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean onGrabBroken(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean onSwallow(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }
  static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer level);
  static void onScaleChanged(GObject*, GParamSpec*, gpointer level);

  HostMenu& owner_;
  std::shared_ptr<NSMenu> menu_;
  GtkWindow* parent_ = nullptr;
  std::vector<std::unique_ptr<Level>> levels_;
  GtkWidget* holder_ = nullptr;
  bool grabbed_ = false;
  bool ended_ = false;
  bool finished_ = false;
  bool filtering_ = false;
  bool focusCheckQueued_ = false;
  bool choosing_ = false;
  Window focusAtOpen_ = None;
  unsigned heldButtons_ = 0;
  bool pressedDuring_ = false;
  bool draggedFromOpening_ = false;
  double openX_ = 0, openY_ = 0;

  int xinputOpcode_ = -1;
};

namespace {
// The keyboard focus moving to another program closes the menu. Focus changes that grabs
// cause (ours included) are no moves of the focus.
GdkFilterReturn menuFocusFilter(GdkXEvent* raw, GdkEvent*, gpointer data) {
  auto* session = static_cast<MenuSession*>(data);
  auto* xevent = static_cast<XEvent*>(raw);
  int mode = -1;
  int detail = -1;
  if (xevent->type == FocusIn || xevent->type == FocusOut) {
    mode = xevent->xfocus.mode;
    detail = xevent->xfocus.detail;
  } else if (xevent->type == GenericEvent && xevent->xcookie.extension == session->xinputOpcode() &&
             (xevent->xcookie.evtype == XI_FocusIn || xevent->xcookie.evtype == XI_FocusOut) && xevent->xcookie.data) {
    auto* focus = static_cast<XIFocusOutEvent*>(xevent->xcookie.data);
    mode = focus->mode;
    detail = focus->detail;
  }
  if ((mode == NotifyNormal || mode == NotifyWhileGrabbed) && detail != NotifyPointer) session->focusMayHaveMoved();
  return GDK_FILTER_CONTINUE;
}
}  // namespace

MenuSession::~MenuSession() {
  if (filtering_) gdk_window_remove_filter(nullptr, menuFocusFilter, this);
  if (grabbed_) gdk_seat_ungrab(gdk_display_get_default_seat(gdk_display_get_default()));
  closeAllLevels();
  if (holder_) {
    g_signal_handlers_disconnect_by_data(holder_, this);
    gtk_widget_destroy(holder_);
    g_object_unref(holder_);
  }
}

bool MenuSession::begin(NSPoint point, GtkWindow* parent) {
  GdkDisplay* display = gdk_display_get_default();
  parent_ = parent;
  holder_ = gtk_window_new(GTK_WINDOW_POPUP);
  g_object_ref_sink(holder_);
  gtk_window_set_default_size(GTK_WINDOW(holder_), 1, 1);
  gtk_window_move(GTK_WINDOW(holder_), -100, -100);
  g_signal_connect(holder_, "button-press-event", G_CALLBACK(onButton), this);
  g_signal_connect(holder_, "button-release-event", G_CALLBACK(onButton), this);
  g_signal_connect(holder_, "motion-notify-event", G_CALLBACK(onMotion), this);
  g_signal_connect(holder_, "key-press-event", G_CALLBACK(onKey), this);
  g_signal_connect(holder_, "key-release-event", G_CALLBACK(onSwallow), this);
  g_signal_connect(holder_, "scroll-event", G_CALLBACK(onSwallow), this);
  g_signal_connect(holder_, "grab-broken-event", G_CALLBACK(onGrabBroken), this);
  gtk_widget_show(holder_);

  openLevel(menu_, NSMakeRect(point.x, point.y, 0, 0), false, -1);

  // Where the pointer is and whether a button is down: a press held since before the menu
  // opened chooses the item it is dragged to and released on.
  GdkSeat* seat = gdk_display_get_default_seat(display);
  GdkModifierType mask{};
  gdk_window_get_device_position_double(gdk_get_default_root_window(), gdk_seat_get_pointer(seat), &openX_, &openY_,
                                        &mask);
  heldButtons_ = mask & (GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK);

  GdkEvent* current = gtk_get_current_event();
  grabbed_ = gdk_seat_grab(seat, gtk_widget_get_window(holder_), GDK_SEAT_CAPABILITY_ALL, FALSE, nullptr, current,
                           nullptr, nullptr) == GDK_GRAB_SUCCESS;
  if (current) gdk_event_free(current);

  if (GDK_IS_X11_DISPLAY(display)) {
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    int event = 0, error = 0;
    if (!XQueryExtension(x, "XInputExtension", &xinputOpcode_, &event, &error)) xinputOpcode_ = -1;
    int revert = 0;
    XGetInputFocus(x, &focusAtOpen_, &revert);
    gdk_window_add_filter(nullptr, menuFocusFilter, this);
    filtering_ = true;
  }
  return grabbed_;
}

void MenuSession::openLevel(const std::shared_ptr<NSMenu>& menu, NSRect anchor, bool beside, long openedFrom) {
  auto level = std::make_unique<Level>();
  level->menu = menu;
  level->openedFrom = openedFrom;
  level->session = this;
  const NSSize size = MenuRenderer::sizeOfMenu(*menu);

  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_monitor_at_point(display, static_cast<int>(std::floor(anchor.minX())),
                                                         static_cast<int>(std::floor(anchor.minY())));
  GdkRectangle area{0, 0, 1 << 15, 1 << 15};
  if (monitor) gdk_monitor_get_workarea(monitor, &area);
  double x, y;
  if (beside) {
    // A submenu: right of its parent menu with its first item level with the item that
    // opened it, else left of the parent, else bottom-aligned with that item.
    x = placeOnAxis(anchor.maxX(), anchor.minX() - size.width, size.width, area.x, area.x + area.width);
    const double pad = MenuRenderer::Metrics::verticalPadding;
    y = placeOnAxis(anchor.minY() - pad, anchor.maxY() + pad - size.height, size.height, area.y, area.y + area.height);
  } else {
    // The menu's top left corner at the point, else its right or bottom edge there.
    x = placeOnAxis(anchor.minX(), anchor.minX() - size.width, size.width, area.x, area.x + area.width);
    y = placeOnAxis(anchor.minY(), anchor.minY() - size.height, size.height, area.y, area.y + area.height);
  }
  x = std::round(x);
  y = std::round(y);
  level->frame = NSMakeRect(x, y, size.width, size.height);

  GtkWidget* window = gtk_window_new(GTK_WINDOW_POPUP);
  g_object_ref_sink(window);
  level->window = window;
  const std::string name = Paths::applicationName() + (levels_.empty() ? " menu" : " submenu");
  gtk_window_set_title(GTK_WINDOW(window), name.c_str());
  gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_POPUP_MENU);
  if (parent_) gtk_window_set_transient_for(GTK_WINDOW(window), parent_);
  GdkScreen* screen = gtk_widget_get_screen(window);
  if (GdkVisual* visual = gdk_screen_get_rgba_visual(screen); visual && gdk_screen_is_composited(screen)) {
    gtk_widget_set_visual(window, visual);
  }
  gtk_widget_set_app_paintable(window, TRUE);
  gtk_widget_set_size_request(window, static_cast<int>(size.width), static_cast<int>(size.height));
  gtk_window_move(GTK_WINDOW(window), static_cast<int>(x), static_cast<int>(y));
  g_signal_connect(window, "draw", G_CALLBACK(onDraw), level.get());
  g_signal_connect(window, "notify::scale-factor", G_CALLBACK(onScaleChanged), level.get());
  levels_.push_back(std::move(level));
  gtk_widget_show(window);
  render(*levels_.back());
}

void MenuSession::closeLevelsAfter(std::size_t level) { keepLevels(level + 1); }

void MenuSession::closeAllLevels() { keepLevels(0); }

void MenuSession::keepLevels(std::size_t count) {
  while (levels_.size() > count) {
    GtkWidget* window = levels_.back()->window;
    g_signal_handlers_disconnect_by_data(window, levels_.back().get());
    gtk_widget_destroy(window);
    g_object_unref(window);
    levels_.pop_back();
  }
}

void MenuSession::render(Level& level) {
  const double scale = gtk_widget_get_scale_factor(level.window);
  level.canvas = CairoContext::make(level.frame.size, scale, true);
  MenuRenderer::drawMenu(*level.menu, *level.canvas, level.highlighted);
  cairo_surface_flush(level.canvas->surface());
  gtk_widget_queue_draw(level.window);
}

gboolean MenuSession::onDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* level = static_cast<Level*>(data);
  if (!level->canvas || !level->canvas->surface()) return TRUE;
  // Without a compositor the window cannot be transparent: the panel's colour fills the
  // corners its rounding leaves.
  const bool clear = gdk_screen_is_composited(gtk_widget_get_screen(widget));
  const CGColor& under = MenuRenderer::Colours::panel;
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr, under.red, under.green, under.blue, clear ? 0.0 : 1.0);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(level->canvas->surface());
  cairo_matrix_t matrix;
  const double scale = level->canvas->pixelsPerPoint();
  cairo_matrix_init_scale(&matrix, scale, scale);
  cairo_pattern_set_matrix(pattern, &matrix);
  cairo_set_source(cr, pattern);
  cairo_paint(cr);
  cairo_pattern_destroy(pattern);
  ++level->session->owner_.framesShown_;
  return TRUE;
}

void MenuSession::onScaleChanged(GObject*, GParamSpec*, gpointer data) {
  auto* level = static_cast<Level*>(data);
  level->session->render(*level);
}

std::vector<unsigned long> MenuSession::nativeWindowIds() const {
  std::vector<unsigned long> ids;
  for (const auto& level : levels_) {
    GdkWindow* window = gtk_widget_get_window(level->window);
    if (window && GDK_IS_X11_WINDOW(window)) ids.push_back(GDK_WINDOW_XID(window));
  }
  return ids;
}

// ---- closing ----------------------------------------------------------------------------

void MenuSession::end() {
  if (ended_) return;
  ended_ = true;
  closeAllLevels();
  if (!grabbed_ || heldButtons_ == 0) finish();
}

void MenuSession::cancel() {
  auto keep = shared_from_this();
  menu_->cancelTracking();
  end();
}

void MenuSession::finish() {
  if (finished_) return;
  finished_ = true;
  auto keep = shared_from_this();
  if (filtering_) {
    gdk_window_remove_filter(nullptr, menuFocusFilter, this);
    filtering_ = false;
  }
  if (grabbed_) {
    gdk_seat_ungrab(gdk_display_get_default_seat(gdk_display_get_default()));
    grabbed_ = false;
  }
  if (holder_) gtk_widget_hide(holder_);
  owner_.forget(this);
}

void MenuSession::focusMayHaveMoved() {
  if (ended_ || focusCheckQueued_) return;
  focusCheckQueued_ = true;
  // Asked once this turn's events are handled: the filter runs inside the desktop's reading.
  std::weak_ptr<MenuSession> weak = weak_from_this();
  NSRunLoop::main()->perform([weak] {
    auto self = weak.lock();
    if (!self) return;
    self->focusCheckQueued_ = false;
    if (self->ended_) return;
    Display* x = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    Window focus = None;
    int revert = 0;
    XGetInputFocus(x, &focus, &revert);
    if (focus != self->focusAtOpen_ && !self->isOurs(focus)) self->cancel();
  });
}

bool MenuSession::isOurs(Window focus) const {
  if (focus == None || focus == PointerRoot) return false;
  auto ids = owner_.host_.nativeWindowIds();
  for (const auto& level : levels_) {
    if (GdkWindow* w = gtk_widget_get_window(level->window)) ids.push_back(GDK_WINDOW_XID(w));
  }
  if (GdkWindow* w = holder_ ? gtk_widget_get_window(holder_) : nullptr) ids.push_back(GDK_WINDOW_XID(w));
  Display* x = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  return std::ranges::any_of(X11Windows::selfAndAncestors(x, focus),
                             [&](Window window) { return std::ranges::find(ids, window) != ids.end(); });
}

// ---- the pointer and the keys -------------------------------------------------------------

int MenuSession::levelAt(double x, double y) const {
  // Deepest first: a submenu may lie over its parent.
  for (int i = static_cast<int>(levels_.size()) - 1; i >= 0; --i) {
    const NSRect& f = levels_[static_cast<std::size_t>(i)]->frame;
    if (x >= f.minX() && x < f.maxX() && y >= f.minY() && y < f.maxY()) return i;
  }
  return -1;
}

long MenuSession::itemAt(const Level& level, double x, double y) const {
  long index = MenuRenderer::indexOfItemAtPoint(*level.menu, {x - level.frame.minX(), y - level.frame.minY()});
  if (index >= 0 && !selectable(*level.menu->itemAtIndex(index))) return -1;
  return index;
}

void MenuSession::setHighlight(std::size_t level, long index) {
  Level& l = *levels_[level];
  if (l.highlighted == index) return;
  l.highlighted = index;
  render(l);
}

void MenuSession::openSubmenuOf(std::size_t level, long index, bool highlightFirst) {
  auto item = levels_[level]->menu->itemAtIndex(index);
  if (!item || !opensSubmenu(*item)) return;
  if (levels_.size() <= level + 1 || levels_[level + 1]->openedFrom != index) {
    closeLevelsAfter(level);
    const Level& parent = *levels_[level];
    const NSRect row = MenuRenderer::itemFrames(*parent.menu)[static_cast<std::size_t>(index)];
    const NSRect anchor = NSMakeRect(parent.frame.minX(), parent.frame.minY() + row.minY(), parent.frame.width(),
                                     row.height());
    openLevel(item->submenu(), anchor, true, index);
  }
  if (highlightFirst && levels_.back()->highlighted < 0) moveHighlight(1);
}

void MenuSession::hover(double x, double y) {
  const int at = levelAt(x, y);
  if (at < 0) {
    // Off the menus, the deepest one shows nothing selected; the items that opened the
    // open submenus stay selected.
    setHighlight(levels_.size() - 1, -1);
    return;
  }
  const auto level = static_cast<std::size_t>(at);
  const long index = itemAt(*levels_[level], x, y);
  const bool keepsSubmenu = index >= 0 && levels_.size() > level + 1 && levels_[level + 1]->openedFrom == index;
  if (!keepsSubmenu) closeLevelsAfter(level);
  setHighlight(level, index);
  if (index >= 0) openSubmenuOf(level, index, false);
}

void MenuSession::moveHighlight(int step) {
  const std::size_t level = levels_.size() - 1;
  Level& l = *levels_[level];
  const long count = l.menu->numberOfItems();
  long i = l.highlighted >= 0 ? l.highlighted + step : (step > 0 ? 0 : count - 1);
  for (; i >= 0 && i < count; i += step) {
    if (selectable(*l.menu->itemAtIndex(i))) {
      setHighlight(level, i);
      return;
    }
  }
}

void MenuSession::activate(std::size_t level, long index) {
  auto item = levels_[level]->menu->itemAtIndex(index);
  if (!item || !selectable(*item)) return;
  if (item->hasSubmenu()) {
    openSubmenuOf(level, index, true);
    return;
  }
  choose(level, index);
}

void MenuSession::choose(std::size_t level, long index) {
  if (choosing_) return;
  choosing_ = true;
  // The choice is made on the run loop's next turn, outside the desktop's event dispatch:
  // an action may run a loop of its own (a modal window), and the desktop paints nothing
  // while one of its event handlers waits for that to end.
  NSRunLoop::main()->perform([self = shared_from_this(), menu = levels_[level]->menu, level, index] {
    self->choosing_ = false;
    if (self->ended_) return;
    // NSMenu closes the menu (which ends this session) before it sends the action.
    if (!menu->performActionForItemAtIndex(index) && !self->ended_ && level < self->levels_.size()) {
      // Nobody handles the action any more: the item shows disabled and stays unchosen.
      self->levels_[level]->highlighted = -1;
      self->render(*self->levels_[level]);
    }
  });
}

void MenuSession::press(const GdkEventButton& event) {
  owner_.notePress(event.time);
  heldButtons_ |= HostKeys::buttonMask(event.button);
  if (ended_ || choosing_) return;
  pressedDuring_ = true;
  if (levelAt(event.x_root, event.y_root) < 0) {
    cancel();
    return;
  }
  hover(event.x_root, event.y_root);
}

void MenuSession::release(const GdkEventButton& event) {
  heldButtons_ &= ~HostKeys::buttonMask(event.button);
  if (ended_) {
    if (heldButtons_ == 0) finish();
    return;
  }
  if (choosing_) return;
  // The release of the click that opened the menu chooses nothing.
  if (!pressedDuring_ && !draggedFromOpening_) return;
  const int at = levelAt(event.x_root, event.y_root);
  if (at < 0) return;
  const auto level = static_cast<std::size_t>(at);
  const long index = itemAt(*levels_[level], event.x_root, event.y_root);
  if (index < 0 || levels_[level]->menu->itemAtIndex(index)->hasSubmenu()) return;
  choose(level, index);
}

void MenuSession::key(guint keyval) {
  const std::size_t level = levels_.size() - 1;
  switch (keyval) {
    case GDK_KEY_Escape: cancel(); break;
    case GDK_KEY_Down: case GDK_KEY_KP_Down: moveHighlight(1); break;
    case GDK_KEY_Up: case GDK_KEY_KP_Up: moveHighlight(-1); break;
    case GDK_KEY_Right: case GDK_KEY_KP_Right:
      if (levels_[level]->highlighted >= 0) openSubmenuOf(level, levels_[level]->highlighted, true);
      break;
    case GDK_KEY_Left: case GDK_KEY_KP_Left:
      if (level > 0) closeLevelsAfter(level - 1);
      break;
    case GDK_KEY_Return: case GDK_KEY_KP_Enter: case GDK_KEY_ISO_Enter: case GDK_KEY_space:
      if (levels_[level]->highlighted >= 0) activate(level, levels_[level]->highlighted);
      break;
    default: break;
  }
}

gboolean MenuSession::onButton(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<MenuSession*>(data);
  auto keep = self->shared_from_this();
  // The desktop's extra double- and triple-press events are no presses of their own.
  if (event->type == GDK_BUTTON_PRESS) self->press(*event);
  if (event->type == GDK_BUTTON_RELEASE) self->release(*event);
  return TRUE;
}

gboolean MenuSession::onMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  auto* self = static_cast<MenuSession*>(data);
  auto keep = self->shared_from_this();
  if (self->heldButtons_ && !self->pressedDuring_ &&
      std::hypot(event->x_root - self->openX_, event->y_root - self->openY_) > kDragSlop) {
    self->draggedFromOpening_ = true;
  }
  if (!self->ended_ && !self->choosing_) self->hover(event->x_root, event->y_root);
  return TRUE;
}

gboolean MenuSession::onKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<MenuSession*>(data);
  auto keep = self->shared_from_this();
  if (!self->ended_ && !self->choosing_) self->key(event->keyval);
  return TRUE;
}

gboolean MenuSession::onGrabBroken(GtkWidget*, GdkEvent*, gpointer data) {
  auto* self = static_cast<MenuSession*>(data);
  auto keep = self->shared_from_this();
  // Another grab of ours took the pointer or keyboard, or the desktop took them away.
  self->grabbed_ = false;
  if (!self->ended_) self->cancel();
  self->finish();
  return TRUE;
}

// ---- the presenter ----------------------------------------------------------------------

std::shared_ptr<HostMenu> HostMenu::install(DesktopHost& host) {
  auto menus = std::make_shared<HostMenu>(host);
  NSMenu::setPresenter(menus);
  menus->installed_ = true;
  return menus;
}

HostMenu::~HostMenu() { uninstall(); }

void HostMenu::uninstall() {
  if (installed_) NSMenu::setPresenter(nullptr);
  installed_ = false;
  auto sessions = sessions_;
  for (auto& session : sessions) {
    if (session->isOpen()) session->cancel();
    session->finish();
  }
  sessions_.clear();
}

void HostMenu::menuDidOpen(const std::shared_ptr<NSMenu>& menu, NSPoint screenLocation,
                           const std::shared_ptr<NSView>& view) {
  auto keep = shared_from_this();
  for (auto& session : std::vector(sessions_)) session->end();
  // The window the menu belongs to, for desktops that place pop-ups relative to one.
  GtkWindow* parent = nullptr;
  auto window = view ? view->window() : NSApplication::sharedApplication()->keyWindow();
  if (auto hw = window ? host_.hostWindowFor(window.get()) : nullptr) parent = GTK_WINDOW(hw->toplevel());
  auto session = std::make_shared<MenuSession>(*this, menu);
  sessions_.push_back(session);
  // A menu that cannot have the pointer and keyboard (another program holds them) does not
  // open, as the desktop's own menus do not.
  if (!session->begin(host_.desktopPointFromScreen(screenLocation), parent)) session->cancel();
}

void HostMenu::menuDidClose(const std::shared_ptr<NSMenu>& menu) {
  auto keep = shared_from_this();
  for (auto& session : std::vector(sessions_)) {
    if (session->isOpen() && session->menu() == menu) session->end();
  }
}

bool HostMenu::isOpen() const {
  return std::ranges::any_of(sessions_, [](const auto& session) { return session->isOpen(); });
}

std::vector<unsigned long> HostMenu::nativeWindowIds() const {
  for (const auto& session : sessions_) {
    if (session->isOpen()) return session->nativeWindowIds();
  }
  return {};
}

bool HostMenu::tookPress(std::uint32_t time) const {
  return isOpen() || std::ranges::find(takenPresses_, time) != takenPresses_.end();
}

void HostMenu::notePress(std::uint32_t time) {
  takenPresses_.push_back(time);
  while (takenPresses_.size() > kRememberedPresses) takenPresses_.pop_front();
}

void HostMenu::forget(const MenuSession* session) {
  std::erase_if(sessions_, [session](const auto& s) { return s.get() == session; });
}
