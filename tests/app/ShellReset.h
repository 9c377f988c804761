#pragma once
// Puts the application shell's process-wide parts back to their first state, so that each
// test launches the application as a fresh process would.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSDraggingSession.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSStatusBar.h"
#include "platform/services/MASShortcutBinder.h"
#include "platform/services/MASShortcutMonitor.h"

inline void resetShellState() {
  MASShortcutBinder::resetSharedBinder();
  MASShortcutMonitor::resetSharedMonitor();
  NSStatusBar::resetSystemStatusBar();
  NSDraggingSession::resetSessions();
  NSPasteboard::resetPasteboards();
  NSApplication::resetSharedApplication();
  NSScreen::resetScreens();
}
