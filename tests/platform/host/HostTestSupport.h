#pragma once
// The fixture of the desktop host's tests: they run in a real X server (the test program is
// started under Xvfb by its ctest entry), drive it with the X tools a person's desktop
// would see (xdotool, xclip, ImageMagick's import) and pump our run loop meanwhile, since a
// tool that reads our clipboard waits for our answer.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "tests/support/Command.h"
#include "tests/support/TestEnvironment.h"

class DesktopHost;
class NSWindow;

// A screenshot's pixels (straight RGB) with the window's size in pixels.
struct Screenshot {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  bool valid() const { return width > 0; }
  // The pixel at (x, y) from the top left, as 0xRRGGBB.
  std::uint32_t at(int x, int y) const;
};

class HostTest : public GlimdeckTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs a program to its end while our loop keeps serving the desktop; fails the test
  // when it runs longer than the timeout.
  CommandResult run(const std::vector<std::string>& argv, double timeout = 15.0);
  // Shows the window (key and front) and waits until the desktop has shown its painting.
  void showAndWait(const std::shared_ptr<NSWindow>& window);
  // Waits for the desktop to show the window's canvas again after `since` frames.
  bool waitForFrame(const std::shared_ptr<NSWindow>& window, std::size_t since);
  std::string windowId(const std::shared_ptr<NSWindow>& window);
  // ImageMagick's picture of the window as the X server has it, kept under build/screenshots.
  Screenshot screenshot(const std::shared_ptr<NSWindow>& window, const std::string& name);
  // The same of any window on the display, by its X id.
  Screenshot screenshot(const std::string& xid, const std::string& name);
  // A pointer click with xdotool at a point in the window's base coordinates.
  void clickAt(const std::shared_ptr<NSWindow>& window, NSPoint base);
  static std::filesystem::path screenshotDir();

  std::shared_ptr<DesktopHost> host;
};
