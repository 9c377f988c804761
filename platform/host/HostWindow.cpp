#include "platform/host/HostWindow.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <cmath>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSPanel.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSPopover.h"
#include "platform/appkit/WindowPainter.h"
#include "platform/quartz/CALayer.h"
#include "platform/foundation/Clock.h"
#include "platform/host/DesktopHost.h"
#include "platform/host/HostDragging.h"
#include "platform/host/HostKeys.h"
#include "platform/render/CairoContext.h"

namespace {
// Points a wheel notch scrolls.
constexpr double kWheelLine = 20.0;
// Presses closer than this (desktop pixels) and within the double-click interval count on.
constexpr double kClickSlop = 4.0;

double now() { return Clock::current().now(); }

bool layerTreeAnimates(const CALayer& layer) {
  if (layer.hasAnimations()) return true;
  for (auto& sub : layer.sublayers()) {
    if (layerTreeAnimates(*sub)) return true;
  }
  return false;
}

// The views whose layers are animating: their pictures change with the clock alone.
void collectAnimating(const std::shared_ptr<NSView>& view, std::vector<std::shared_ptr<NSView>>& views) {
  if (!view || view->isHidden()) return;
  if (auto layer = view->layer(); layer && view->wantsLayer() && layerTreeAnimates(*layer)) views.push_back(view);
  for (auto& sub : view->subviews()) collectAnimating(sub, views);
}

std::optional<NSEventModifierFlags> modifierOfKeysym(unsigned keysym) {
  switch (keysym) {
    case GDK_KEY_Shift_L: case GDK_KEY_Shift_R: return NSEventModifierFlagShift;
    case GDK_KEY_Control_L: case GDK_KEY_Control_R: return NSEventModifierFlagCommand;
    case GDK_KEY_Alt_L: case GDK_KEY_Alt_R: return NSEventModifierFlagOption;
    case GDK_KEY_Super_L: case GDK_KEY_Super_R: return NSEventModifierFlagControl;
    default: return std::nullopt;
  }
}
}  // namespace

HostWindow::HostWindow(DesktopHost& host, const std::shared_ptr<NSWindow>& window)
    : host_(host), window_(window), painter_(std::make_unique<WindowPainter>(window)) {
  toplevel_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(toplevel_);
  auto mask = window->styleMask();
  // A window without a title (the panel, a popover) goes by the application's name, so
  // that window lists, X tools and assistive technology can tell what it is.
  gtk_window_set_title(GTK_WINDOW(toplevel_), window->title.empty() ? g_get_application_name() : window->title.c_str());
  gtk_window_set_decorated(GTK_WINDOW(toplevel_), (mask & NSWindowStyleMaskTitled) != 0);
  gtk_window_set_resizable(GTK_WINDOW(toplevel_), (mask & NSWindowStyleMaskResizable) != 0);
  if (asA<NSPanel>(window)) gtk_window_set_type_hint(GTK_WINDOW(toplevel_), GDK_WINDOW_TYPE_HINT_UTILITY);
  if (window->level > 0) gtk_window_set_keep_above(GTK_WINDOW(toplevel_), TRUE);
  // A popover belongs to its status icon, not to the task bar.
  if (asA<NSPopoverWindow>(window)) {
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(toplevel_), TRUE);
    gtk_window_set_skip_pager_hint(GTK_WINDOW(toplevel_), TRUE);
  }
  if (!window->opaque) {
    GdkScreen* screen = gtk_widget_get_screen(toplevel_);
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(screen); visual && gdk_screen_is_composited(screen)) {
      gtk_widget_set_visual(toplevel_, visual);
    }
  }
  gtk_widget_set_app_paintable(toplevel_, TRUE);

  area_ = gtk_drawing_area_new();
  // The structure mask must be there before the area is realised, or it never hears of
  // being mapped.
  gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                   GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_ENTER_NOTIFY_MASK |
                                   GDK_LEAVE_NOTIFY_MASK | GDK_STRUCTURE_MASK | GDK_KEY_PRESS_MASK |
                                   GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK);
  gtk_widget_set_can_focus(area_, TRUE);
  gtk_container_add(GTK_CONTAINER(toplevel_), area_);

  g_signal_connect(area_, "draw", G_CALLBACK(onDraw), this);
  g_signal_connect(area_, "button-press-event", G_CALLBACK(onButton), this);
  g_signal_connect(area_, "button-release-event", G_CALLBACK(onButton), this);
  g_signal_connect(area_, "motion-notify-event", G_CALLBACK(onMotion), this);
  g_signal_connect(area_, "leave-notify-event", G_CALLBACK(onCrossing), this);
  g_signal_connect(area_, "scroll-event", G_CALLBACK(onScroll), this);
  g_signal_connect(area_, "notify::scale-factor", G_CALLBACK(onScaleChanged), this);
  g_signal_connect(toplevel_, "key-press-event", G_CALLBACK(onKey), this);
  g_signal_connect(toplevel_, "key-release-event", G_CALLBACK(onKey), this);
  g_signal_connect(toplevel_, "focus-in-event", G_CALLBACK(onFocus), this);
  g_signal_connect(toplevel_, "focus-out-event", G_CALLBACK(onFocus), this);
  g_signal_connect(toplevel_, "delete-event", G_CALLBACK(onDelete), this);
  g_signal_connect(toplevel_, "configure-event", G_CALLBACK(onConfigure), this);

  im_ = gtk_im_multicontext_new();
  g_signal_connect(im_, "commit", G_CALLBACK(onCommit), this);
  if (auto dragging = host.dragging()) dragging->attach(*this);
}

HostWindow::~HostWindow() {
  if (frameTick_) gtk_widget_remove_tick_callback(area_, frameTick_);
  if (im_) {
    g_signal_handlers_disconnect_by_data(im_, this);
    gtk_im_context_set_client_window(im_, nullptr);
    g_object_unref(im_);
  }
  g_signal_handlers_disconnect_by_data(area_, this);
  g_signal_handlers_disconnect_by_data(toplevel_, this);
  gtk_widget_destroy(toplevel_);
  g_object_unref(toplevel_);
}

unsigned long HostWindow::nativeId() const {
  GdkWindow* gdkWindow = gtk_widget_get_window(toplevel_);
  if (!gdkWindow || !GDK_IS_X11_WINDOW(gdkWindow)) return 0;
  return GDK_WINDOW_XID(gdkWindow);
}

NSRect HostWindow::contentRect() const {
  auto w = window();
  return w ? w->contentRectForFrameRect(w->frame()) : NSZeroRect;
}

NSPoint HostWindow::baseLocation(double x, double y) const {
  // The area shows the content rectangle, whose origin is the window's base origin.
  return {x, contentRect().height() - y};
}

void HostWindow::show() {
  NSRect content = contentRect();
  NSPoint topLeft = host_.desktopPointFromScreen({content.minX(), content.maxY()});
  int width = std::max(1, static_cast<int>(std::lround(content.width())));
  int height = std::max(1, static_cast<int>(std::lround(content.height())));
  gtk_window_set_default_size(GTK_WINDOW(toplevel_), width, height);
  if (!gtk_window_get_resizable(GTK_WINDOW(toplevel_))) gtk_widget_set_size_request(area_, width, height);
  gtk_window_move(GTK_WINDOW(toplevel_), static_cast<int>(std::lround(topLeft.x)),
                  static_cast<int>(std::lround(topLeft.y)));
  gtk_widget_show_all(toplevel_);
  // GDK tells a window manager when each frame is drawn, if one listens; where none does
  // (a bare X server), it would ask the server again at every frame, a round trip each.
  if (GdkWindow* shown = gtk_widget_get_window(toplevel_); shown && GDK_IS_X11_WINDOW(shown)) {
    GdkAtom drawn = gdk_atom_intern_static_string("_NET_WM_FRAME_DRAWN");
    gdk_x11_window_set_frame_sync_enabled(shown,
                                          gdk_x11_screen_supports_net_wm_hint(gdk_window_get_screen(shown), drawn));
  }
  gtk_im_context_set_client_window(im_, gtk_widget_get_window(area_));
  willDisplay(true);
}

void HostWindow::present() {
  if (gtk_widget_get_visible(toplevel_) && !gtk_window_is_active(GTK_WINDOW(toplevel_))) {
    gtk_window_present(GTK_WINDOW(toplevel_));
  }
}

void HostWindow::frameChangedByCode() {
  if (applyingDesktopFrame_) return;
  NSRect content = contentRect();
  NSPoint topLeft = host_.desktopPointFromScreen({content.minX(), content.maxY()});
  int width = std::max(1, static_cast<int>(std::lround(content.width())));
  int height = std::max(1, static_cast<int>(std::lround(content.height())));
  if (!gtk_window_get_resizable(GTK_WINDOW(toplevel_))) gtk_widget_set_size_request(area_, width, height);
  gtk_window_resize(GTK_WINDOW(toplevel_), width, height);
  gtk_window_move(GTK_WINDOW(toplevel_), static_cast<int>(std::lround(topLeft.x)),
                  static_cast<int>(std::lround(topLeft.y)));
}

// ---- painting -------------------------------------------------------------------------

bool HostWindow::willDisplay(bool whole) {
  auto w = window();
  if (!w) return false;
  NSSize size = contentRect().size;
  if (!(size.width > 0) || !(size.height > 0)) return false;
  double scale = gtk_widget_get_scale_factor(area_);
  w->backingScaleFactor = scale;
  // The area's own coordinates are points from its top left.
  for (NSRect r : painter_->paint(size, scale, whole)) {
    int x0 = static_cast<int>(std::floor(r.minX())), y0 = static_cast<int>(std::floor(size.height - r.maxY()));
    int x1 = static_cast<int>(std::ceil(r.maxX())), y1 = static_cast<int>(std::ceil(size.height - r.minY()));
    gtk_widget_queue_draw_area(area_, x0, y0, x1 - x0, y1 - y0);
  }
  // Layer animations move with the clock, not with changes to views: while one runs, the
  // views that show it (as the pass just met them) are painted again on the desktop's next frame.
  if ((!painter_->animating().empty() || !lastAnimating_.empty()) && !frameTick_) {
    frameTick_ = gtk_widget_add_tick_callback(area_, onFrameTick, this, nullptr);
  }
  return true;
}

gboolean HostWindow::onFrameTick(GtkWidget*, GdkFrameClock*, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  self->frameTick_ = 0;
  // Views whose animations ended are painted once more, in their final state. (An animation
  // started since the last pass shows at the pass any change brings: the walk paints every
  // animating layer it meets.)
  for (auto& weak : std::exchange(self->lastAnimating_, {})) {
    if (auto view = weak.lock()) view->setNeedsDisplay(true);
  }
  for (const auto& weak : self->painter_->animating()) {
    auto view = weak.lock();
    if (!view) continue;
    view->setNeedsDisplay(true);
    self->lastAnimating_.push_back(view);
  }
  return G_SOURCE_REMOVE;
}

void HostWindow::paintAndShowNow() {
  auto w = window();
  if (!w || !gtk_widget_get_mapped(area_)) return;
  std::vector<std::shared_ptr<NSView>> animating;
  collectAnimating(w->frameView(), animating);
  for (auto& view : animating) view->setNeedsDisplay(true);
  w->update();
  // The desktop would draw the queued areas on its next frame; draw them now.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gdk_window_process_updates(gtk_widget_get_window(toplevel_), TRUE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  gdk_display_sync(gtk_widget_get_display(toplevel_));
}

std::shared_ptr<CairoContext> HostWindow::repaintFromScratch() const {
  auto w = window();
  NSSize size = contentRect().size;
  if (!w || !(size.width > 0) || !(size.height > 0)) return nullptr;
  auto fresh = CairoContext::make(size, gtk_widget_get_scale_factor(area_));
  ViewTreeRenderer::drawWindow(w, *fresh);
  cairo_surface_flush(fresh->surface());
  return fresh;
}

gboolean HostWindow::onDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  const auto& canvas = self->painter_->canvas();
  if (!canvas || !canvas->surface()) return FALSE;
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(canvas->surface());
  cairo_matrix_t matrix;
  cairo_matrix_init_scale(&matrix, self->painter_->scale(), self->painter_->scale());
  cairo_pattern_set_matrix(pattern, &matrix);
  cairo_set_source(cr, pattern);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_pattern_destroy(pattern);
  ++self->framesShown_;
  return TRUE;
}

void HostWindow::onScaleChanged(GObject*, GParamSpec*, gpointer data) {
  static_cast<HostWindow*>(data)->willDisplay(true);
}

// ---- input ----------------------------------------------------------------------------

void HostWindow::deliver(const std::shared_ptr<NSEvent>& event) {
  // The event may close the window and so end this object: it lives until the call returns.
  auto keep = shared_from_this();
  NSApplication::sharedApplication()->handleEvent(event);
}

void HostWindow::sendMouse(NSEventType type, NSPoint base, unsigned state, long clicks, double pressure) {
  auto w = window();
  if (!w) return;
  deliver(NSEvent::mouseEventWithType(type, base, HostKeys::modifierFlagsFromDesktop(state), now(), w->windowNumber(),
                                      nullptr, ++eventNumber_, clicks, pressure));
}

long HostWindow::clickCountFor(const GdkEventButton& event) {
  auto interval = static_cast<std::uint32_t>(NSEvent::doubleClickInterval() * 1000);
  bool continues = event.button == lastPressButton_ && event.time - lastPressTime_ <= interval &&
                   std::abs(event.x - lastPressX_) <= kClickSlop && std::abs(event.y - lastPressY_) <= kClickSlop;
  clickCount_ = continues ? clickCount_ + 1 : 1;
  lastPressButton_ = event.button;
  lastPressTime_ = event.time;
  lastPressX_ = event.x;
  lastPressY_ = event.y;
  return clickCount_;
}

gboolean HostWindow::onButton(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  auto w = self->window();
  // The desktop adds its own double- and triple-press events; clicks are counted here.
  if (!w || (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE)) return TRUE;
  bool press = event->type == GDK_BUTTON_PRESS;
  // As with keys: a release whose press went elsewhere (to a drag that began from another
  // showing of the window) is not this window's click.
  const unsigned held = HostKeys::buttonMask(event->button);
  if (press) {
    self->heldButtons_ |= held;
    gtk_widget_grab_focus(self->area_);
  } else if (held && !(self->heldButtons_ & held)) {
    return TRUE;
  } else {
    self->heldButtons_ &= ~held;
  }
  NSEventType type;
  switch (event->button) {
    case 1: type = press ? NSEventType::leftMouseDown : NSEventType::leftMouseUp; break;
    case 3: type = press ? NSEventType::rightMouseDown : NSEventType::rightMouseUp; break;
    default: type = press ? NSEventType::otherMouseDown : NSEventType::otherMouseUp; break;
  }
  long clicks = press ? self->clickCountFor(*event) : self->clickCount_;
  self->sendMouse(type, self->baseLocation(event->x, event->y), event->state, clicks, press ? 1.0 : 0.0);
  return TRUE;
}

gboolean HostWindow::onMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  auto w = self->window();
  if (!w) return TRUE;
  // Only a button pressed in this window drags here.
  const unsigned buttons = event->state & self->heldButtons_;
  auto type = (buttons & GDK_BUTTON1_MASK)   ? NSEventType::leftMouseDragged
              : (buttons & GDK_BUTTON3_MASK) ? NSEventType::rightMouseDragged
              : (buttons & GDK_BUTTON2_MASK) ? NSEventType::otherMouseDragged
                                             : NSEventType::mouseMoved;
  self->sendMouse(type, self->baseLocation(event->x, event->y), event->state, 0, 0);
  return TRUE;
}

gboolean HostWindow::onCrossing(GtkWidget*, GdkEventCrossing* event, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  auto w = self->window();
  if (!w || event->detail == GDK_NOTIFY_INFERIOR || (event->state & GDK_BUTTON1_MASK)) return FALSE;
  // The pointer left: tracking areas hear of it as a move to a place outside the window.
  NSRect frame = w->frame();
  self->sendMouse(NSEventType::mouseMoved, {frame.width() + 50, frame.height() + 50}, 0, 0, 0);
  return FALSE;
}

gboolean HostWindow::onScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  auto w = self->window();
  if (!w) return TRUE;
  double dx = 0, dy = 0;
  bool precise = false;
  switch (event->direction) {
    case GDK_SCROLL_UP: dy = kWheelLine; break;
    case GDK_SCROLL_DOWN: dy = -kWheelLine; break;
    case GDK_SCROLL_LEFT: dx = kWheelLine; break;
    case GDK_SCROLL_RIGHT: dx = -kWheelLine; break;
    case GDK_SCROLL_SMOOTH:
      dx = -event->delta_x * kWheelLine;
      dy = -event->delta_y * kWheelLine;
      precise = true;
      break;
  }
  if (dx == 0 && dy == 0) return TRUE;
  auto ns = NSEvent::scrollWheelEvent(self->baseLocation(event->x, event->y),
                                      HostKeys::modifierFlagsFromDesktop(event->state), now(), w->windowNumber(), dx,
                                      dy, precise);
  self->deliver(ns);
  return TRUE;
}

void HostWindow::sendKey(NSEventType type, unsigned keysym, unsigned state, std::string characters, bool isRepeat) {
  auto w = window();
  if (!w) return;
  auto code = HostKeys::keyCodeForKeysym(keysym).value_or(0);
  std::string ignoring = characters;
  if (gunichar lower = gdk_keyval_to_unicode(gdk_keyval_to_lower(keysym)); lower && HostKeys::specialCharactersForKeysym(keysym).empty()) {
    ignoring = HostKeys::utf8(lower);
  }
  auto ns = NSEvent::keyEventWithType(type, NSZeroPoint, HostKeys::modifierFlagsFromDesktop(state), now(),
                                      w->windowNumber(), nullptr, std::move(characters), std::move(ignoring),
                                      isRepeat, code);
  deliver(ns);
}

gboolean HostWindow::onKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  auto w = self->window();
  if (!w) return FALSE;
  auto keep = self->shared_from_this();
  bool press = event->type == GDK_KEY_PRESS;
  if (auto modifier = modifierOfKeysym(event->keyval)) {
    auto flags = HostKeys::modifierFlagsFromDesktop(event->state);
    flags = press ? (flags | *modifier) : (flags & ~*modifier);
    auto ns = NSEvent::keyEventWithType(NSEventType::flagsChanged, NSZeroPoint, flags, now(), w->windowNumber(),
                                        nullptr, "", "", false, HostKeys::keyCodeForKeysym(event->keyval).value_or(0));
    self->deliver(ns);
    return TRUE;
  }
  // A release is this window's only when its press was: one whose press went elsewhere (to
  // a drag that Escape gave up, to another window before this one showed) did its work there.
  if (!press && self->heldKeys_.erase(event->hardware_keycode) == 0) return TRUE;
  if (press) {
    self->heldKeys_.insert(event->hardware_keycode);
    // Text keys go through the input method first; what it types arrives as commits.
    self->pendingKeyCode_ = HostKeys::keyCodeForKeysym(event->keyval);
    self->pendingState_ = event->state;
    bool taken = gtk_im_context_filter_keypress(self->im_, event);
    self->pendingKeyCode_.reset();
    if (taken) return TRUE;
  }
  std::string characters = HostKeys::specialCharactersForKeysym(event->keyval);
  if (characters.empty()) {
    if (gunichar u = gdk_keyval_to_unicode(event->keyval)) characters = HostKeys::utf8(u);
  }
  if (characters.empty() && !HostKeys::keyCodeForKeysym(event->keyval)) return FALSE;
  self->sendKey(press ? NSEventType::keyDown : NSEventType::keyUp, event->keyval, event->state, std::move(characters),
                false);
  return TRUE;
}

void HostWindow::onCommit(GtkIMContext*, gchar* text, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  auto w = self->window();
  if (!w || !text || !*text) return;
  auto code = self->pendingKeyCode_.value_or(0);
  unsigned state = self->pendingKeyCode_ ? self->pendingState_ : 0;
  auto ns = NSEvent::keyEventWithType(NSEventType::keyDown, NSZeroPoint, HostKeys::modifierFlagsFromDesktop(state),
                                      now(), w->windowNumber(), nullptr, text, text, false, code);
  self->deliver(ns);
}

gboolean HostWindow::onFocus(GtkWidget*, GdkEventFocus* event, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  auto w = self->window();
  if (!w) return FALSE;
  auto app = NSApplication::sharedApplication();
  if (event->in) {
    gtk_im_context_focus_in(self->im_);
    app->activateIgnoringOtherApps(true);
    // While a modal window runs, the others do not become key (their events go nowhere).
    auto modal = app->modalWindow();
    if (!w->isKeyWindow() && w->canBecomeKeyWindow() && (!modal || modal == w)) {
      self->takingDesktopFocus_ = true;
      w->makeKeyWindow();
      self->takingDesktopFocus_ = false;
    }
  } else {
    gtk_im_context_focus_out(self->im_);
    // Keys still down are released where the focus went.
    self->heldKeys_.clear();
    // Focus moving to another of our windows arrives right after; only when none has it
    // has the application lost the desktop's focus.
    g_idle_add_full(G_PRIORITY_LOW, [](gpointer) -> gboolean {
      if (auto host = DesktopHost::current(); host && !host->anyWindowHasFocus()) {
        NSApplication::sharedApplication()->deactivate();
      }
      return G_SOURCE_REMOVE;
    }, nullptr, nullptr);
  }
  return FALSE;
}

gboolean HostWindow::onDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  auto keep = self->shared_from_this();
  // The window decides (its delegate may refuse); closing orders it out, which ends this one.
  if (auto w = self->window()) w->performClose(nullptr);
  return TRUE;
}

gboolean HostWindow::onConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
  auto* self = static_cast<HostWindow*>(data);
  auto w = self->window();
  if (!w) return FALSE;
  NSPoint bottomLeft = self->host_.screenPointFromDesktop(event->x, event->y + event->height);
  NSRect content = NSMakeRect(bottomLeft.x, bottomLeft.y, event->width, event->height);
  NSRect frame = w->frameRectForContentRect(content);
  if (frame != w->frame()) {
    auto keep = self->shared_from_this();
    self->applyingDesktopFrame_ = true;
    w->setFrame(frame, false);
    self->applyingDesktopFrame_ = false;
  }
  return FALSE;
}
