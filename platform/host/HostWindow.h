#pragma once
// One kit window on the desktop: a GTK top-level holding a drawing area of the window's
// content size. The area shows a canvas that our renderer paints at the display's scale,
// only where the picture changed (WindowPainter); its input becomes NSEvents.

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/appkit/NSEvent.h"
#include "platform/foundation/NSGeometry.h"

class NSView;
class NSWindow;
class CairoContext;
class WindowPainter;
class DesktopHost;

class HostWindow : public std::enable_shared_from_this<HostWindow> {
 public:
  HostWindow(DesktopHost& host, const std::shared_ptr<NSWindow>& window);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  std::shared_ptr<NSWindow> window() const { return window_.lock(); }
  DesktopHost& host() const { return host_; }
  // A point of the drawing area (desktop pixels from its top left) in the window's base coordinates.
  NSPoint baseLocation(double x, double y) const;
  GtkWidget* toplevel() const { return toplevel_; }
  GtkWidget* area() const { return area_; }
  unsigned long nativeId() const;

  void show();
  void frameChangedByCode();
  // Paints the window's canvas where its views changed (all of it when `whole`); false when
  // there was nothing to paint on (no window, no area).
  bool willDisplay(bool whole);
  void present();
  // Whether the window is becoming key because the desktop gave it the focus (it needs no
  // presenting then: asking for the focus again would answer a change with another).
  bool takingDesktopFocus() const { return takingDesktopFocus_; }
  std::size_t framesShown() const { return framesShown_; }
  // The pixels the area shows, as kept between passes.
  const WindowPainter& painter() const { return *painter_; }
  // Paints what needs display now (views showing layer animations included) and has the
  // desktop show it before returning.
  void paintAndShowNow();
  // The window's whole content drawn afresh on a canvas of its own at the display's scale,
  // as the desktop would show it if nothing were left from earlier paints.
  std::shared_ptr<CairoContext> repaintFromScratch() const;

 private:
  static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer self);
  static gboolean onButton(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer self);
  static gboolean onCrossing(GtkWidget*, GdkEventCrossing* event, gpointer self);
  static gboolean onScroll(GtkWidget*, GdkEventScroll* event, gpointer self);
  static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean onFocus(GtkWidget*, GdkEventFocus* event, gpointer self);
  static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean onConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self);
  static void onScaleChanged(GObject*, GParamSpec*, gpointer self);
  static void onCommit(GtkIMContext*, gchar* text, gpointer self);
  static gboolean onFrameTick(GtkWidget*, GdkFrameClock*, gpointer self);

  NSRect contentRect() const;
  void deliver(const std::shared_ptr<NSEvent>& event);
  void sendMouse(NSEventType type, NSPoint base, unsigned state, long clicks, double pressure);
  void sendKey(NSEventType type, unsigned keysym, unsigned state, std::string characters, bool isRepeat);
  long clickCountFor(const GdkEventButton& event);

  DesktopHost& host_;
  std::weak_ptr<NSWindow> window_;
  GtkWidget* toplevel_ = nullptr;
  GtkWidget* area_ = nullptr;
  GtkIMContext* im_ = nullptr;
  std::unique_ptr<WindowPainter> painter_;
  bool applyingDesktopFrame_ = false;
  bool takingDesktopFocus_ = false;
  // The key being handled while the input method decides what it types.
  std::optional<std::uint16_t> pendingKeyCode_;
  unsigned pendingState_ = 0;
  // The keys (hardware codes) pressed while this window had the keys, not yet released.
  std::set<std::uint16_t> heldKeys_;
  // Click counting on the desktop's own event times (milliseconds).
  std::uint32_t lastPressTime_ = 0;
  guint lastPressButton_ = 0;
  double lastPressX_ = -1000, lastPressY_ = -1000;
  long clickCount_ = 0;
  // The desktop's state bits of the pointer buttons pressed in this window, not yet released.
  unsigned heldButtons_ = 0;
  long eventNumber_ = 0;
  std::size_t framesShown_ = 0;
  guint frameTick_ = 0;
  std::vector<std::weak_ptr<NSView>> lastAnimating_;
};
