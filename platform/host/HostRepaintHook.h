#pragma once
// A hook for tests that look at the desktop from outside the process: with
// GLIMDECK_REPAINT_DIR set, SIGUSR2 makes the host hold the application at one moment and
// write a full repaint of every window it shows, so that a picture of the screen can be
// set beside what the view tree draws when nothing is left over from earlier paints.
//
// On the signal the clock stops (on the display's next refresh), the work due by then runs
// (so a playing image shows the frame of that moment on screen too), every window paints
// what needs display and the desktop shows it; then `<dir>/<X window id>.png` gets a repaint of the window's whole
// content from scratch at the display's scale, and the marker `<dir>/repainted` (one line
// per window: X id, window number, width and height in pixels) appears once they are all
// written. The process stays still until the marker is removed (or half a minute passes),
// and then its clock goes on from the held moment: the time it was held does not count, so
// that however long a look from outside takes, what the application shows for a while (a
// confirmation, an animation) has not lost that time meanwhile.

#include <glib.h>

#include <filesystem>
#include <memory>

class Clock;
class DesktopHost;

class HostRepaintHook {
 public:
  struct Constants {
    static constexpr const char* directoryVariable = "GLIMDECK_REPAINT_DIR";
    static constexpr const char* markerName = "repainted";
    static constexpr double longestHold = 30.0;
  };

  // Listens for SIGUSR2 when the variable names a folder; nothing otherwise.
  static std::unique_ptr<HostRepaintHook> install(DesktopHost& host);
  ~HostRepaintHook();
  HostRepaintHook(const HostRepaintHook&) = delete;
  HostRepaintHook& operator=(const HostRepaintHook&) = delete;

 private:
  HostRepaintHook(DesktopHost& host, std::filesystem::path directory);
  static gboolean onSignal(gpointer self);
  void repaint();

  DesktopHost& host_;
  std::filesystem::path directory_;
  guint source_ = 0;
  bool pending_ = false;
  // The clock that times go on from after holds, and the one installed by the last hold.
  std::shared_ptr<Clock> base_;
  std::shared_ptr<Clock> resumed_;
};
