#pragma once
// Checks what a desktop would show against a full painting: installed as the window server,
// it keeps the pixels of every window it is asked to display as a desktop host keeps them
// (WindowPainter, painting only what changed) and compares them with a fresh painting of
// the whole view tree.

#include <map>
#include <memory>
#include <string>

#include "platform/appkit/WindowPainter.h"
#include "platform/appkit/WindowServer.h"

class NSWindow;

class RepaintCheck : public WindowServer {
 public:
  // Installs a new one as the process's window server (taken away again by uninstall).
  static std::shared_ptr<RepaintCheck> install(double scale = 1.0);
  static void uninstall();
  ~RepaintCheck() override;

  bool windowWillDisplay(const std::shared_ptr<NSWindow>& window, bool whole) override;
  void windowDidOrderOut(const std::shared_ptr<NSWindow>& window) override;

  // Runs the window's display pass and tells where its kept pixels differ from a full
  // painting by more than `tolerance` (of 255) in a channel: empty when they agree.
  std::string mismatch(const std::shared_ptr<NSWindow>& window, int tolerance = 1);
  // The share of the window painted by the passes since the last call (1.0: all of it).
  double paintedShare(const std::shared_ptr<NSWindow>& window);
  // Writes the kept pixels of the window and a full painting (stem-kept.png, stem-full.png),
  // for a look at a failure.
  void writePictures(const std::shared_ptr<NSWindow>& window, const std::string& stem);

 private:
  struct Kept {
    std::unique_ptr<WindowPainter> painter;
    double painted = 0;
  };
  explicit RepaintCheck(double scale) : scale_(scale) {}
  double scale_;
  std::map<const NSWindow*, Kept> kept_;
};
