#pragma once
// A panel: an auxiliary window that may float above others and may take the key only when
// a view in it needs the keyboard.

#include <memory>

#include "platform/appkit/NSWindow.h"

constexpr NSWindowStyleMask NSWindowStyleMaskUtilityWindow = 1 << 4;
constexpr NSWindowStyleMask NSWindowStyleMaskHUDWindow = 1 << 13;

class NSPanel : public NSWindow {
 public:
  static std::shared_ptr<NSPanel> initWithContentRect(NSRect contentRect, NSWindowStyleMask style,
                                                      NSBackingStoreType backing = NSBackingStoreType::buffered,
                                                      bool defer = false);
  bool floatingPanel = false;
  bool becomesKeyOnlyIfNeeded = false;
  bool worksWhenModal = false;

  // Panels never become the main window.
  bool canBecomeMainWindow() const override { return false; }
  GLIMDECK_OBJECT(NSPanel)

 protected:
  NSPanel() = default;
};
