#include "tests/platform/host/HostTestSupport.h"

#include <cmath>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/host/DesktopHost.h"
#include "tests/support/PNGPixels.h"

std::uint32_t Screenshot::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFFu;
  auto i = (static_cast<std::size_t>(y) * width + x) * 3;
  return (std::uint32_t{rgb[i]} << 16) | (std::uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
}

void HostTest::SetUp() {
  GlimdeckTest::SetUp();
  NSApplication::resetSharedApplication();
  host = DesktopHost::start();
  ASSERT_TRUE(host) << "the host's tests run in an X server (their ctest entry starts Xvfb)";
}

void HostTest::TearDown() {
  if (host) host->stop();
  host.reset();
  NSApplication::resetSharedApplication();
  NSScreen::resetScreens();
  GlimdeckTest::TearDown();
}

CommandResult HostTest::run(const std::vector<std::string>& argv, double timeout) {
  return runCommand(argv, timeout, [](const std::function<bool()>& condition, double seconds) {
    return NSRunLoop::main()->runUntil(condition, seconds);
  });
}

void HostTest::showAndWait(const std::shared_ptr<NSWindow>& window) {
  window->makeKeyAndOrderFront(nullptr);
  ASSERT_TRUE(runUntil([&] { return host->framesShown(window) > 0; })) << "the window never appeared";
  host->sync();
}

bool HostTest::waitForFrame(const std::shared_ptr<NSWindow>& window, std::size_t since) {
  bool shown = runUntil([&] { return host->framesShown(window) > since; });
  host->sync();
  return shown;
}

std::string HostTest::windowId(const std::shared_ptr<NSWindow>& window) {
  return std::to_string(host->nativeWindowId(window));
}

std::filesystem::path HostTest::screenshotDir() {
  // Beside the test programs' folder: build/screenshots (or build-asan/screenshots).
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "screenshots";
}

Screenshot HostTest::screenshot(const std::shared_ptr<NSWindow>& window, const std::string& name) {
  return screenshot(windowId(window), name);
}

Screenshot HostTest::screenshot(const std::string& xid, const std::string& name) {
  Screenshot shot;
  std::filesystem::create_directories(screenshotDir());
  auto path = screenshotDir() / (name + ".png");
  auto result = run({"import", "-window", xid, path.string()});
  if (result.status != 0) {
    ADD_FAILURE() << "import failed for " << name;
    return shot;
  }
  auto pixels = PNGPixels::read(path);
  shot.width = pixels.width;
  shot.height = pixels.height;
  for (auto pixel : pixels.pixels) {
    shot.rgb.push_back(static_cast<std::uint8_t>(pixel >> 16));
    shot.rgb.push_back(static_cast<std::uint8_t>(pixel >> 8));
    shot.rgb.push_back(static_cast<std::uint8_t>(pixel));
  }
  return shot;
}

void HostTest::clickAt(const std::shared_ptr<NSWindow>& window, NSPoint base) {
  NSRect content = window->contentRectForFrameRect(window->frame());
  auto x = std::to_string(static_cast<int>(std::lround(base.x)));
  auto y = std::to_string(static_cast<int>(std::lround(content.height() - base.y)));
  run({"xdotool", "mousemove", "--sync", "--window", windowId(window), x, y, "click", "1"});
}
