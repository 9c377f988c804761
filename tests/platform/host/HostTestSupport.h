#pragma once
// The fixture of the desktop host's tests: they run in a real X server (the test program is
// started under Xvfb by its ctest entry), drive it with the X tools a person's desktop
// would see (xdotool, xclip, ImageMagick's import) and pump our run loop meanwhile, since a
// tool that reads our clipboard waits for our answer.

#include <gio/gio.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
  // Moves the pointer to (x, y) of the X window (the root window when empty), or by (dx, dy),
  // and waits until the X server has it there; false when it never gets there.
  bool movePointerTo(const std::string& xid, int x, int y);
  bool movePointerBy(int dx, int dy);
  // Our loop's `runUntil`, for helpers that wait.
  CommandWait waiter();
  static std::filesystem::path screenshotDir();

  std::shared_ptr<DesktopHost> host;
};

// A service of its own connection and thread on the test's session bus (as a desktop
// service is another process): it owns a name and serves one object, whose interface the
// introspection XML gives, handing each call to `answer` on its own thread.
class TestBusService {
 public:
  using Answer = std::function<void(TestBusService& service, const std::string& method, GVariant* parameters,
                                    GDBusMethodInvocation* invocation)>;
  using Property = std::function<GVariant*(const std::string& property)>;
  TestBusService(std::string name, std::string path, const char* introspection, Answer answer,
                 Property property = nullptr);
  // Gives up the name and ends the thread.
  ~TestBusService();
  TestBusService(const TestBusService&) = delete;
  TestBusService& operator=(const TestBusService&) = delete;

  bool serving() const { return owned_; }
  // The service's connection, for its own thread.
  GDBusConnection* bus() const { return bus_; }
  // Emits a signal of the object (on the service's thread; takes a floating `parameters`).
  void emit(const std::string& interface, const std::string& signal, GVariant* parameters);
  // Runs the work on the service's thread.
  void invoke(std::function<void()> work);

 private:
  void serve(const char* introspection);
  static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                                 GError**, gpointer self);

  std::string name_, path_;
  Answer answer_;
  Property property_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ready_;
  bool started_ = false;
  std::atomic<bool> owned_{false};
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* bus_ = nullptr;
};
