#include "ui/NSWindowExtensions.h"

#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSWindow.h"

void setFrameOriginToCenterOfScreen(NSWindow& window) {
  auto screen = window.screen();
  if (!screen) return;
  NSSize display = screen->frame().size;
  NSSize own = window.frame().size;
  window.setFrameOrigin(NSMakePoint((display.width - own.width) * 0.5, (display.height - own.height) * 0.5));
}
