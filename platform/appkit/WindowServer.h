#pragma once
// The desktop's side of the kit's windows. Headless, there is none: windows only draw into
// their backing stores. A desktop host installs one to show each ordered-in window as a
// real window, paint it and feed its input back through NSApplication's event path.

#include <memory>

class NSWindow;

class WindowServer {
 public:
  virtual ~WindowServer() = default;

  static std::shared_ptr<WindowServer> current();
  // Installs the server for the process; empty goes back to headless.
  static void setCurrent(std::shared_ptr<WindowServer> server);

  virtual void windowDidOrderFront(const std::shared_ptr<NSWindow>& /*window*/) {}
  virtual void windowDidOrderOut(const std::shared_ptr<NSWindow>& /*window*/) {}
  // The frame changed by code (a move or a resize).
  virtual void windowDidChangeFrame(const std::shared_ptr<NSWindow>& /*window*/) {}
  // A display pass is about to draw: the views that need display still say so; `whole`
  // when every view is drawn again. Answers true when the server painted the window from
  // its views itself: the pass then records nothing into the backing store.
  virtual bool windowWillDisplay(const std::shared_ptr<NSWindow>& /*window*/, bool /*whole*/) { return false; }
  virtual void windowDidBecomeKey(const std::shared_ptr<NSWindow>& /*window*/) {}
};
