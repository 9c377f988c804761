#include "tests/e2e/DesktopUser.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <glib.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "tests/support/HttpGet.h"
#include "tests/support/PointerMoves.h"

namespace fs = std::filesystem;

namespace {

using SteadyClock = std::chrono::steady_clock;

// Generous: the ASan build on a loaded machine starts the application in seconds.
constexpr double kLaunchTimeout = 90.0;
// How far a channel of X's picture may stray from the fresh repaint's (anti-aliasing).
constexpr int kChannelTolerance = 12;
// The desktop entry of the program that writes down the web pages opened.
constexpr std::string_view kBrowserEntry = "glimdeck-test-browser.desktop";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The desktop's tray: one trayer for the whole program, up before any application starts
// (an XEmbed tray that comes later does not take icons already made).
class DesktopTray : public ::testing::Environment {
 public:
  void SetUp() override {
    std::vector<std::string> argv = {"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                                     "--width", "100", "--heighttype", "pixel", "--height", "30",
                                     "--SetDockType", "true"};
    trayer_ = Program::start(argv, {}, "/dev/null");
    ASSERT_TRUE(trayer_) << "trayer did not start";
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "the end-to-end cases run in an X server (their ctest entry starts Xvfb)";
    Atom selection = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
    auto until = SteadyClock::now() + std::chrono::seconds(30);
    while (XGetSelectionOwner(display, selection) == None && SteadyClock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bool owned = XGetSelectionOwner(display, selection) != None;
    XCloseDisplay(display);
    ASSERT_TRUE(owned) << "trayer took no tray selection";
  }
  void TearDown() override {
    if (trayer_) trayer_->stop(5.0);
    trayer_.reset();
  }

 private:
  std::unique_ptr<Program> trayer_;
};

[[maybe_unused]] auto* const tray = ::testing::AddGlobalTestEnvironment(new DesktopTray);

fs::path screenshotRoot() {
  // Beside the test programs' folder: build/screenshots/e2e (or build-asan/...).
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "screenshots" / "e2e";
}

std::string caseName() {
  auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "." + info->name();
}

std::string fileSafe(std::string text) {
  for (char& c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') c = '-';
  }
  return text;
}

// The lines of a program's output that carry a critical warning ("Gtk-CRITICAL **: ...",
// "GLib-GObject-CRITICAL", ...), each with its line break.
std::string criticalLines(const std::string& output) {
  std::string lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (line.find("-CRITICAL") != std::string::npos) lines += line + "\n";
  }
  return lines;
}

int channelDistance(std::uint32_t a, std::uint32_t b) {
  int most = 0;
  for (int shift : {0, 8, 16}) {
    most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  }
  return most;
}

}  // namespace

// ---- the fixture -----------------------------------------------------------------------

void DesktopUserTest::SetUp() {
  static const fs::path temporaryBase = fs::temp_directory_path();
  std::string pattern = (temporaryBase / "glimdeck-e2e-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  home_ = pattern;
  for (const char* folder : {".local/share", ".cache", ".config", "bin", "repaint"}) fs::create_directories(home_ / folder);
  repaintFolder_ = home_ / "repaint";
  // The web pages the application opens are written down instead of starting a browser: a
  // program of the case's own is the user's default application for http and https, in the
  // desktop entry and the mime-application list every desktop program reads.
  {
    std::ofstream recorder(home_ / "bin" / "record-address");
    recorder << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << (home_ / "opened-addresses").string() << "'\n";
  }
  fs::permissions(home_ / "bin" / "record-address", fs::perms::owner_all);
  fs::create_directories(home_ / ".local/share/applications");
  std::ofstream(home_ / ".local/share/applications" / std::string(kBrowserEntry))
      << "[Desktop Entry]\nType=Application\nName=Address recorder\nNoDisplay=true\nExec="
      << (home_ / "bin" / "record-address").string() << " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n";
  std::ofstream(home_ / ".config" / "mimeapps.list") << "[Default Applications]\nx-scheme-handler/http="
                                                      << kBrowserEntry << "\nx-scheme-handler/https=" << kBrowserEntry
                                                      << "\n";

  shots_ = screenshotRoot() / fileSafe(caseName());
  std::error_code ignored;
  fs::remove_all(shots_, ignored);
  fs::create_directories(shots_);

  standin_ = Program::start({GLIMDECK_STANDIN_PATH, "--port", "0"}, {}, home_ / "standin.log");
  ASSERT_TRUE(standin_) << "the stand-in did not start";
  const std::string listening = "listening on ";
  ASSERT_TRUE(eventually([&] {
    auto text = standin_->output();
    auto at = text.find(listening);
    auto end = text.find('\n', at);
    if (at == std::string::npos || end == std::string::npos) return false;
    standinURL_ = text.substr(at + listening.size(), end - at - listening.size());
    return true;
  })) << standin_->output();
}

void DesktopUserTest::TearDown() {
  if (display_) XCloseDisplay(static_cast<Display*>(display_));
  display_ = nullptr;
  if (app_) {
    bool crashed = !app_->running() && app_->ending().value_or(0) < 0;
    EXPECT_FALSE(crashed) << "the application died of signal " << -*app_->ending();
    if (!crashed) {
      app_->stop(30.0);
      EXPECT_EQ(app_->ending(), 0) << "the application ends cleanly when asked to";
    }
  }
  // Whatever the case did, a critical warning of GTK, GDK or GLib in the output of a copy of
  // the application it started is a fault: the program went on after a broken assumption.
  for (const auto& output : appOutputs_) {
    auto lines = criticalLines(readFile(output));
    EXPECT_TRUE(lines.empty()) << "the application printed criticals into " << output.filename().string() << ":\n"
                               << lines;
  }
  if (app_ && HasFailure()) {
    auto output = app_->output();
    std::cerr << "---- the application's output (last 4000 characters):\n"
              << output.substr(output.size() > 4000 ? output.size() - 4000 : 0) << "\n----\n";
  }
  app_.reset();
  if (standin_) standin_->stop(10.0);
  standin_.reset();
  std::error_code ignored;
  if (!home_.empty()) fs::remove_all(home_, ignored);
}

void DesktopUserTest::launch() {
  ASSERT_FALSE(app_ && app_->running()) << "the application still runs";
  app_ = startAnotherCopy(launchEnvironment, "app.log");
  ASSERT_TRUE(app_) << "the application did not start";
  ASSERT_TRUE(eventually([&] { return panelShown() || !app_->running(); }, kLaunchTimeout) && app_->running())
      << "the panel never showed";
}

std::unique_ptr<Program> DesktopUserTest::startAnotherCopy(const std::vector<std::pair<std::string, std::string>>& environment,
                                                           const std::string& output) {
  std::vector<std::pair<std::string, std::string>> variables = {
      {"HOME", home_.string()},
      {"XDG_DATA_HOME", (home_ / ".local/share").string()},
      {"XDG_CACHE_HOME", (home_ / ".cache").string()},
      {"XDG_CONFIG_HOME", (home_ / ".config").string()},
      {"TMPDIR", home_.string()},
      {"PATH", (home_ / "bin").string() + ":" + std::getenv("PATH")},
      {"GLIMDECK_SERVICE_URL", standinURL_},
      {"GLIMDECK_REPAINT_DIR", repaintFolder_.string()}};
  variables.insert(variables.end(), environment.begin(), environment.end());
  appOutputs_.insert(home_ / output);
  return Program::start({GLIMDECK_APP_PATH}, variables, home_ / output);
}

std::unique_ptr<Program> DesktopUserTest::startCopyWithoutBus(const std::string& output) {
  fs::create_directories(home_ / "runtime");
  return startAnotherCopy(
      {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", (home_ / "runtime").string()}, {"DISPLAY", ""}}, output);
}

std::optional<int> DesktopUserTest::waitForExit(double timeout) {
  if (!app_) return std::nullopt;
  eventually([&] { return !app_->running(); }, timeout);
  return app_->ending();
}

bool DesktopUserTest::eventually(const std::function<bool()>& condition, double timeout) {
  auto until = SteadyClock::now() + std::chrono::duration<double>(timeout);
  for (;;) {
    if (condition()) return true;
    if (SteadyClock::now() >= until) return false;
    // The case's own windows (a drop target) are served meanwhile.
    for (int i = 0; i < 64 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

CommandWait DesktopUserTest::waiter() {
  return [this](const std::function<bool()>& condition, double seconds) { return eventually(condition, seconds); };
}

CommandResult DesktopUserTest::run(const std::vector<std::string>& argv, double timeout) {
  return runCommand(argv, timeout, waiter());
}

// ---- what X shows ------------------------------------------------------------------------

namespace {

struct ListedWindow {
  XWindow window;
  std::size_t depth = 0;
  bool ours = false;
};

// xwininfo's tree: "     0x400017 "name": ("glimdeck" "Glimdeck")  400x600+880+395  +880+395".
std::vector<ListedWindow> parseWindowTree(const std::string& tree) {
  static const std::regex line(
      R"re(^(\s*)(0x[0-9a-f]+) (?:\(has no name\)|"(.*)"): \((.*)\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)\s*$)re");
  std::vector<ListedWindow> windows;
  std::istringstream in(tree);
  std::string text;
  while (std::getline(in, text)) {
    std::smatch m;
    if (!std::regex_match(text, m, line)) continue;
    ListedWindow listed;
    listed.depth = m[1].length();
    listed.window.id = std::to_string(std::stoul(m[2].str(), nullptr, 16));
    listed.window.name = m[3].str();
    listed.ours = m[4].str().starts_with("\"glimdeck\"");
    listed.window.frame = NSMakeRect(std::stod(m[9].str()), std::stod(m[10].str()), std::stod(m[5].str()),
                                     std::stod(m[6].str()));
    windows.push_back(listed);
  }
  return windows;
}

// The windows of xwininfo's tree whose ids xdotool listed as shown, top-level ones or those
// inside others.
std::vector<ListedWindow> shownWindows(const std::string& shownIds, const std::string& tree, bool topLevel) {
  std::set<std::string> shown;
  std::istringstream ids(shownIds);
  for (std::string id; ids >> id;) shown.insert(id);
  auto listed = parseWindowTree(tree);
  std::size_t topDepth = std::string::npos;
  for (const auto& l : listed) topDepth = std::min(topDepth, l.depth);
  std::erase_if(listed, [&](const ListedWindow& l) {
    return (l.depth == topDepth) != topLevel || !shown.contains(l.window.id);
  });
  return listed;
}

}  // namespace

std::vector<XWindow> DesktopUserTest::ourShownWindows(bool topLevel) {
  std::vector<XWindow> windows;
  for (const auto& l : shownWindows(run({"xdotool", "search", "--onlyvisible", "--classname", "^glimdeck$"}).output,
                                    run({"xwininfo", "-root", "-tree"}).output, topLevel)) {
    if (l.ours) windows.push_back(l.window);
  }
  return windows;
}

// Top-level windows only: the tray icon lives inside the tray's window.
std::vector<XWindow> DesktopUserTest::appWindows() { return ourShownWindows(true); }

std::optional<XWindow> DesktopUserTest::panel() {
  for (auto& window : appWindows()) {
    if (window.frame.size == NSSize{panelWidth, panelHeight}) return window;
  }
  return std::nullopt;
}

std::optional<XWindow> DesktopUserTest::menuWindow(const std::string& name) {
  for (auto& window : appWindows()) {
    if (window.name == name) return window;
  }
  return std::nullopt;
}

NSPoint DesktopUserTest::menuRow(const std::string& rows, std::size_t index) {
  // The menu renderer's rows: 22 points an item, 11 a separator, 5 of padding at the top.
  double top = 5;
  for (std::size_t i = 0; i < index && i < rows.size(); ++i) top += rows[i] == '-' ? 11 : 22;
  return {40, top + 11};
}

double DesktopUserTest::menuHeight(const std::string& rows) { return menuRow(rows, rows.size()).y - 11 + 5; }

void DesktopUserTest::chooseFromPanelMenu(NSPoint opener, const std::string& rows, std::size_t index, int button) {
  clickPanel(opener, button);
  std::optional<XWindow> menu;
  ASSERT_TRUE(eventually([&] { return (menu = menuWindow()).has_value(); })) << "the menu opens";
  ASSERT_EQ(menu->frame.height(), menuHeight(rows)) << "the menu has the rows " << rows;
  click(*menu, menuRow(rows, index));
  ASSERT_TRUE(eventually([&] { return !menuWindow(); })) << "the menu closes on the choice";
}

std::optional<XWindow> DesktopUserTest::windowNamed(const std::string& name) {
  for (auto& window : appWindows()) {
    if (window.frame.size != NSSize{panelWidth, panelHeight} && window.name.find(name) != std::string::npos) {
      return window;
    }
  }
  return std::nullopt;
}

Picture DesktopUserTest::picture(const XWindow& window, const std::string& name) {
  auto path = shots_ / (fileSafe(name) + ".png");
  auto result = run({"import", "-window", window.id, path.string()});
  if (result.status != 0) {
    ADD_FAILURE() << "import failed for " << name;
    return {};
  }
  return Picture::read(path);
}

std::uint32_t DesktopUserTest::panelPixel(NSPoint point, const std::string& name) {
  auto shown = panel();
  if (!shown) {
    ADD_FAILURE() << "no panel for " << name;
    return 0;
  }
  auto shot = picture(*shown, name);
  int x = static_cast<int>(point.x), y = static_cast<int>(point.y);
  if (!shot.valid() || x < 0 || y < 0 || x >= shot.width || y >= shot.height) return 0;
  return shot.at(x, y);
}

std::optional<std::uint32_t> DesktopUserTest::panelPixelNow(NSPoint point) {
  if (!display_) display_ = XOpenDisplay(nullptr);
  auto* display = static_cast<Display*>(display_);
  if (!display) return std::nullopt;
  // A window that went meanwhile makes an X error, which must not end the program.
  auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  auto read = [&]() -> std::optional<std::uint32_t> {
    if (panelId_.empty()) return std::nullopt;
    Window window = std::stoul(panelId_);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) return std::nullopt;
    XImage* image =
        XGetImage(display, window, static_cast<int>(point.x), static_cast<int>(point.y), 1, 1, AllPlanes, ZPixmap);
    if (!image) return std::nullopt;
    auto pixel = static_cast<std::uint32_t>(XGetPixel(image, 0, 0) & 0xFFFFFF);
    XDestroyImage(image);
    return pixel;
  };
  // The panel's window is found once and read straight from the server after that.
  auto pixel = read();
  if (!pixel) {
    auto shown = panel();
    panelId_ = shown ? shown->id : "";
    pixel = read();
  }
  XSync(display, False);
  XSetErrorHandler(previous);
  return pixel;
}

bool DesktopUserTest::panelShows(NSPoint point, const std::function<bool(std::uint32_t)>& test, double timeout,
                                 Look look) {
  // Settled, so that a fade has ended (and what ends with it has happened) before the next
  // click: the same pixel for a fifth of a second, or (where a GIF plays) the test passed
  // for longer than the longest fade.
  std::optional<std::uint32_t> last, seen;
  auto passing = SteadyClock::now(), same = SteadyClock::now();
  bool passed = false;
  bool settled = eventually(
      [&] {
        auto pixel = seen = panelPixelNow(point);
        auto now = SteadyClock::now();
        if (!pixel || !test(*pixel)) {
          passed = false;
          last.reset();
          return false;
        }
        if (look == Look::quick) return true;
        if (!passed) passing = now, passed = true;
        if (pixel != last) last = pixel, same = now;
        return now - same >= std::chrono::milliseconds(200) || now - passing >= std::chrono::milliseconds(700);
      },
      timeout);
  if (!settled) {
    // What the panel showed instead, for the one who reads the failure.
    std::string name = "timed-out-" + std::to_string(++repaintChecks_);
    if (auto shown = panel()) picture(*shown, name);
    std::ostringstream message;
    message << "the panel's pixel at (" << point.x << ", " << point.y << ") was ";
    if (seen) message << "0x" << std::hex << *seen; else message << "unreadable";
    ADD_FAILURE() << message.str() << "; see " << (shots_ / (name + ".png")).string();
  }
  return settled;
}

bool isNearWhite(std::uint32_t rgb) {
  return ((rgb >> 16) & 0xFF) > 225 && ((rgb >> 8) & 0xFF) > 225 && (rgb & 0xFF) > 225;
}

bool isBlueish(std::uint32_t rgb) {
  int r = (rgb >> 16) & 0xFF, b = rgb & 0xFF;
  return b > r + 40;
}

// ---- acting as the user --------------------------------------------------------------------

namespace {
std::string coordinate(double value) { return std::to_string(static_cast<int>(std::lround(value))); }
}  // namespace

// No --sync: it waits for the pointer to move, for ever when it is there already; the
// server takes the move and the click in the order sent anyway.
void DesktopUserTest::click(const XWindow& window, NSPoint point, int button) {
  run({"xdotool", "mousemove", "--window", window.id, coordinate(point.x), coordinate(point.y), "click",
       std::to_string(button)});
}

void DesktopUserTest::clickPanel(NSPoint point, int button) {
  // The panel's window as last found, when it still shows.
  if (!panelPixelNow({0, 0})) {
    ADD_FAILURE() << "the panel is not shown";
    return;
  }
  click(XWindow{panelId_, "", NSZeroRect}, point, button);
}

bool DesktopUserTest::movePointer(const XWindow& window, NSPoint point) {
  return movePointerTo(window.id, static_cast<int>(std::lround(point.x)), static_cast<int>(std::lround(point.y)),
                       waiter());
}

bool DesktopUserTest::movePointerBy(double dx, double dy) {
  return ::movePointerBy(static_cast<int>(std::lround(dx)), static_cast<int>(std::lround(dy)), waiter());
}

void DesktopUserTest::typeText(const std::string& text) { run({"xdotool", "type", "--delay", "20", "--", text}); }

void DesktopUserTest::pressKeys(const std::string& keys) {
  run({"xdotool", "key", "--clearmodifiers", "--", keys});
}

void DesktopUserTest::clickTrayIcon() {
  auto inside = ourShownWindows(false);
  ASSERT_FALSE(inside.empty()) << "no tray icon of the application";
  NSRect f = inside.front().frame;
  run({"xdotool", "mousemove", coordinate(f.midX()), coordinate(f.midY()), "click", "1"});
}

void DesktopUserTest::closeWindow(const XWindow& window) {
  if (!display_) display_ = XOpenDisplay(nullptr);
  auto* display = static_cast<Display*>(display_);
  ASSERT_TRUE(display);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = std::stoul(window.id);
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
  XSync(display, False);
}

// ---- the invariant --------------------------------------------------------------------------

bool DesktopUserTest::holdStill(const std::function<void(const std::string& listing)>& look) {
  if (!app_ || !app_->running()) {
    ADD_FAILURE() << "the application is not running";
    return false;
  }
  auto marker = repaintFolder_ / "repainted";
  std::error_code ignored;
  fs::remove(marker, ignored);
  if (kill(app_->pid(), SIGUSR2) != 0 ||
      !(eventually([&] { return fs::exists(marker) || !app_->running(); }, 60.0) && app_->running())) {
    ADD_FAILURE() << "the application did not hold still";
    return false;
  }
  // The application holds still until the marker goes, whatever happens here.
  struct Release {
    fs::path marker;
    ~Release() {
      std::error_code ignored;
      fs::remove(marker, ignored);
    }
  } release{marker};
  look(readFile(marker));
  return true;
}

void DesktopUserTest::expectScreenMatchesRepaint(const std::string& step) {
  ASSERT_TRUE(app_ && app_->running()) << step << ": the application is not running";
  SCOPED_TRACE(step);
  // A drag's icon is the toolkit's window, never in our painting; given up, it slides back
  // over the panel before it goes.
  EXPECT_TRUE(eventually([&] { return !dragIconShown(); })) << step << ": the drag's icon goes";
  holdStill([&](const std::string& listing) { compareWithRepaint(step, listing); });
}

void DesktopUserTest::compareWithRepaint(const std::string& step, const std::string& listed) {
  std::error_code ignored;
  auto prefix = [&] {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", ++repaintChecks_);
    return std::string(number) + "-" + fileSafe(step);
  }();
  auto windows = appWindows();
  std::istringstream listing(listed);
  std::string id;
  long windowNumber = 0;
  int width = 0, height = 0;
  int compared = 0;
  while (listing >> id >> windowNumber >> width >> height) {
    auto shown = std::ranges::find_if(windows, [&](const XWindow& w) { return w.id == id; });
    if (shown == windows.end()) continue;  // not on screen (yet): nothing to compare
    ++compared;
    std::string name = prefix + "-window" + std::to_string(windowNumber);
    auto screen = picture(*shown, name + "-screen");
    auto repaintPath = shots_ / (name + "-repaint.png");
    fs::copy_file(repaintFolder_ / (id + ".png"), repaintPath, fs::copy_options::overwrite_existing, ignored);
    auto fresh = Picture::read(repaintPath);
    ASSERT_TRUE(screen.valid() && fresh.valid()) << step;
    ASSERT_EQ(std::make_pair(screen.width, screen.height), std::make_pair(fresh.width, fresh.height))
        << step << ": window " << windowNumber;
    // Where another of our windows lies over this one, X's picture shows that one.
    std::vector<NSRect> covered;
    for (const auto& other : windows) {
      if (other.id == id) continue;
      NSRect over = NSIntersectionRect(other.frame, shown->frame);
      if (!over.isEmpty()) covered.push_back(NSOffsetRect(over, -shown->frame.minX(), -shown->frame.minY()));
    }
    Picture diff = screen;
    int differing = 0;
    int minX = width, minY = height, maxX = -1, maxY = -1;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        bool hidden = std::ranges::any_of(covered, [&](const NSRect& r) { return NSPointInRect({x + 0.5, y + 0.5}, r); });
        auto& shownPixel = diff.pixels[static_cast<std::size_t>(y) * width + x];
        if (!hidden && channelDistance(screen.at(x, y), fresh.at(x, y)) > kChannelTolerance) {
          ++differing;
          minX = std::min(minX, x), minY = std::min(minY, y), maxX = std::max(maxX, x), maxY = std::max(maxY, y);
          shownPixel = 0xFF0000;
        } else {
          // Dimmed, so that the differences stand out.
          shownPixel = (shownPixel >> 2) & 0x3F3F3F;
        }
      }
    }
    if (differing > 0) {
      diff.write(shots_ / (name + "-differences.png"));
      ADD_FAILURE() << step << ": " << differing << " pixels of window " << windowNumber
                    << " on screen differ from a fresh repaint, between (" << minX << ", " << minY << ") and ("
                    << maxX << ", " << maxY << "); see " << (shots_ / (name + "-differences.png")).string();
    }
  }
  EXPECT_GT(compared, 0) << step << ": no window of the application was compared";
}

// ---- the stand-in, the store, the clipboard ----------------------------------------------------

namespace {
std::shared_ptr<NSDictionary> jsonObject(const std::string& text) {
  auto parsed = NSJSONSerialization::JSONObjectWithBytes(text);
  return parsed ? asA<NSDictionary>(*parsed) : nullptr;
}
}  // namespace

std::shared_ptr<NSDictionary> DesktopUserTest::standinState() {
  auto reply = httpGet(standinURL_ + "/_standin/state");
  auto state = jsonObject(reply.body);
  EXPECT_TRUE(state) << "the stand-in's state: " << reply.status << " " << reply.body;
  return state ? state : NSDictionary::make();
}

std::shared_ptr<NSDictionary> DesktopUserTest::standinRecord(const std::string& list, const std::string& field,
                                                            const std::string& value) {
  auto records = asA<NSArray>(standinState()->objectForKey(list));
  for (const auto& entry : records ? records->objects() : std::vector<id>{}) {
    auto record = asA<NSDictionary>(entry);
    auto text = record ? asA<NSString>(record->objectForKey(field)) : nullptr;
    if (text && text->string() == value) return record;
  }
  return nullptr;
}

std::vector<std::shared_ptr<NSDictionary>> DesktopUserTest::standinRequests() {
  std::vector<std::shared_ptr<NSDictionary>> requests;
  auto log = jsonObject(httpGet(standinURL_ + "/_standin/log").body);
  auto list = log ? asA<NSArray>(log->objectForKey("requests")) : nullptr;
  if (!list) return requests;
  for (const auto& entry : list->objects()) {
    if (auto request = asA<NSDictionary>(entry)) requests.push_back(request);
  }
  return requests;
}

bool DesktopUserTest::standinReceived(const std::string& path, const std::string& queryName,
                                      const std::string& queryValue) {
  if (queryName.empty()) return standinReceivedQuery(path, nullptr);
  return standinReceivedQuery(path, [&](const std::string& name, const std::string& value) {
    return name == queryName && (queryValue.empty() || value == queryValue);
  });
}

bool DesktopUserTest::standinReceivedQuery(
    const std::string& path, const std::function<bool(const std::string& name, const std::string& value)>& item) {
  for (const auto& request : standinRequests()) {
    auto requestPath = asA<NSString>(request->objectForKey("path"));
    if (!requestPath || requestPath->string() != path) continue;
    // Without a test, any request for the path.
    if (!item) return true;
    auto items = asA<NSArray>(request->objectForKey("queryItems"));
    if (!items) continue;
    for (const auto& entry : items->objects()) {
      auto pair = asA<NSArray>(entry);
      if (!pair || pair->count() != 2) continue;
      auto name = asA<NSString>(pair->objectAtIndex(0));
      auto value = asA<NSString>(pair->objectAtIndex(1));
      if (name && value && item(name->string(), value->string())) return true;
    }
  }
  return false;
}

int DesktopUserTest::standinRequestCount(std::string_view path) {
  int count = 0;
  for (const auto& request : standinRequests()) {
    auto target = asA<NSString>(request->objectForKey("path"));
    count += target && target->string() == path;
  }
  return count;
}

std::string DesktopUserTest::receivedPaths() {
  std::string paths;
  for (const auto& request : standinRequests()) {
    auto target = asA<NSString>(request->objectForKey("path"));
    if (target && !target->string().starts_with("/media/")) paths += (paths.empty() ? "" : " ") + target->string();
  }
  return paths;
}

fs::path DesktopUserTest::storePath() const { return home_ / ".local/share" / "Glimdeck" / "zg.sqlite"; }

std::string DesktopUserTest::queryStore(const std::string& sql) {
  // Read-only: the command-line tool would otherwise make an empty store where none is yet.
  return run({"sqlite3", "-readonly", storePath().string(), sql}).output;
}

std::string DesktopUserTest::clipboard(const std::string& target) {
  return run({"xclip", "-o", "-selection", "clipboard", "-t", target}).output;
}

void DesktopUserTest::copyInAnotherProgram(const std::string& text) {
  const auto path = home_ / "copied.txt";
  std::ofstream(path, std::ios::binary) << text;
  ASSERT_EQ(run({"xclip", "-selection", "clipboard", "-i", path.string()}).status, 0);
  ASSERT_TRUE(eventually([&] { return clipboard() == text; }));
}

std::vector<std::string> DesktopUserTest::openedAddresses() {
  std::vector<std::string> addresses;
  std::istringstream in(readFile(home_ / "opened-addresses"));
  for (std::string line; std::getline(in, line);) addresses.push_back(line);
  return addresses;
}

void DesktopUserTest::wheel(NSPoint point, int button, int clicks) {
  auto shown = panel();
  ASSERT_TRUE(shown) << "the panel is not shown";
  run({"xdotool", "mousemove", "--window", shown->id, coordinate(point.x), coordinate(point.y), "click", "--repeat",
       std::to_string(clicks), "--delay", "40", std::to_string(button)});
}

void DesktopUserTest::beginDragFromPanel(NSPoint from) {
  auto shown = panel();
  ASSERT_TRUE(shown) << "the panel is not shown";
  ASSERT_TRUE(movePointer(*shown, from));
  run({"xdotool", "mousedown", "1"});
  for (int i = 0; i < 20 && panelShown(); ++i) {
    ASSERT_TRUE(movePointerBy(4, 4));
    eventually([&] { return !panelShown(); }, 0.5);
  }
  ASSERT_FALSE(panelShown()) << "the panel closes as the drag begins";
}

bool DesktopUserTest::panelHasKeys() {
  auto shown = panel();
  return shown && run({"xdotool", "getwindowfocus"}, 10.0).output == shown->id + "\n";
}

bool DesktopUserTest::dragIconShown() {
  auto shown = shownWindows(run({"xdotool", "search", "--onlyvisible", "--name", "^Glimdeck$"}).output,
                            run({"xwininfo", "-root", "-tree"}).output, true);
  return std::ranges::any_of(shown, [](const ListedWindow& l) {
    return !l.ours && l.window.frame.minX() >= 0 && l.window.frame.minY() >= 0;
  });
}

bool DesktopUserTest::focusedFieldHolds(const std::string& text) {
  pressKeys("ctrl+a");
  pressKeys("ctrl+c");
  return eventually([&] { return clipboard() == text; }, 10.0);
}

void DesktopUserTest::dragFromPanelOver(NSPoint from, const std::string& windowId, const std::function<bool()>& heard) {
  ASSERT_NO_FATAL_FAILURE(beginDragFromPanel(from));
  run({"xdotool", "mousemove", "--window", windowId, "100", "100"});
  for (int i = 0; i < 50 && !heard(); ++i) {
    run({"xdotool", "mousemove_relative", "--", i % 2 ? "-3" : "3", "2"});
    eventually(heard, 0.2);
  }
  ASSERT_TRUE(heard()) << "the other program's window hears the drag";
}

int DesktopUserTest::panelPixelsIn(const NSRect& area, const std::function<bool(std::uint32_t)>& test,
                                   const std::string& name) {
  auto shown = panel();
  if (!shown) return -1;
  auto shot = picture(*shown, name);
  int found = 0;
  for (int y = std::max(0, static_cast<int>(area.minY())); y < area.maxY() && y < shot.height; ++y) {
    for (int x = std::max(0, static_cast<int>(area.minX())); x < area.maxX() && x < shot.width; ++x) {
      if (test(shot.at(x, y))) ++found;
    }
  }
  return found;
}

bool isErrorRed(std::uint32_t rgb) {
  int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return r > 170 && g < 120 && b < 120;
}
