#pragma once
// The open panel as the desktop's file chooser (GTK's native chooser: the desktop portal's
// where one runs, GTK's own dialog otherwise). The chooser runs inside our run loop, as
// modal windows of ours do, so timers, queued blocks and the other windows go on meanwhile.

class HostOpenPanel {
 public:
  static void install();
  static void uninstall();
};
