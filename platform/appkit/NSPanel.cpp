#include "platform/appkit/NSPanel.h"

std::shared_ptr<NSPanel> NSPanel::initWithContentRect(NSRect contentRect, NSWindowStyleMask style,
                                                      NSBackingStoreType, bool) {
  auto panel = std::shared_ptr<NSPanel>(new NSPanel());
  panel->setUp(contentRect, style);
  panel->hidesOnDeactivate = true;
  return panel;
}
