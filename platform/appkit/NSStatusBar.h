#pragma once
// The status bar and its items. Each item is a strip of the bar as long as it asks, shown
// by a small borderless window of its own whose content is the item's view, so the view
// draws, takes clicks and drops, and anchors popovers as any view does. Headless, the bar
// runs along the top of the main display, items packed from the right edge; a desktop host
// shows each item's window as a tray icon instead and moves it to where the icon is.

#include <memory>
#include <vector>

#include "platform/appkit/NSWindow.h"

class NSStatusItem;

// The window that shows one status item; hosts tell it from other windows by its class.
class NSStatusBarWindow : public NSWindow {
 public:
  std::shared_ptr<NSStatusItem> statusItem() const { return item_.lock(); }
  bool canBecomeKeyWindow() const override { return false; }
  GLIMDECK_OBJECT(NSStatusBarWindow)

 private:
  friend class NSStatusBar;
  NSStatusBarWindow() = default;
  std::weak_ptr<NSStatusItem> item_;
};

class NSStatusItem : public NSObject {
 public:
  double length() const { return length_; }
  void setLength(double length);
  // The custom view drawn in the item; it fills the item's window.
  std::shared_ptr<NSView> view() const;
  void setView(const std::shared_ptr<NSView>& view);
  std::shared_ptr<NSStatusBarWindow> window() const { return window_; }
  // Draws the bar's background behind the item; the bar is transparent, so only a
  // highlight paints anything.
  void drawStatusBarBackgroundInRect(NSRect rect, bool highlight);

  GLIMDECK_OBJECT(NSStatusItem)

 private:
  friend class NSStatusBar;
  NSStatusItem() = default;

  double length_ = 0;
  std::shared_ptr<NSStatusBarWindow> window_;
};

class NSStatusBar : public NSObject {
 public:
  struct Constants {
    static constexpr double thickness = 22.0;
    // Above normal windows, as the menu bar is.
    static constexpr long windowLevel = 25;
  };

  static std::shared_ptr<NSStatusBar> systemStatusBar();
  // A fresh bar with no items (between tests).
  static void resetSystemStatusBar();

  double thickness() const { return Constants::thickness; }
  std::shared_ptr<NSStatusItem> statusItemWithLength(double length);
  void removeStatusItem(const std::shared_ptr<NSStatusItem>& item);
  const std::vector<std::shared_ptr<NSStatusItem>>& items() const { return items_; }
  // Puts the items back in their places along the bar (after a length or a screen change).
  void layoutItems();

  GLIMDECK_OBJECT(NSStatusBar)
  ~NSStatusBar() override;

 private:
  NSStatusBar() = default;
  std::vector<std::shared_ptr<NSStatusItem>> items_;
};
