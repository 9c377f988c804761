#pragma once
// The fixture of the end-to-end cases: the real `glimdeck` program against the real
// `glimdeck-standin` program, both started as processes of their own inside the X server
// and session bus that the ctest entry makes (with trayer as the desktop's tray), on a
// fresh HOME per case. The cases act only as a person at the desktop would: the pointer
// and the keyboard through xdotool. They look only from outside: the X window list, X's
// pictures of the windows (ImageMagick's import), the clipboard (xclip), the stand-in's log
// and state, the store (sqlite3) and how the program ended.
//
// After each step a case can ask for the application's repaint hook: the program stops
// at one moment and writes a fresh full repaint of each window it shows; X's picture of
// the window must then be the same, but for small anti-aliasing differences. Pictures
// stay in build/screenshots/e2e/<case>/.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSGeometry.h"
#include "tests/support/Command.h"
#include "tests/support/PNGPixels.h"
#include "tests/support/Program.h"

// A window of the X server as xwininfo lists it.
struct XWindow {
  std::string id;  // decimal, as xdotool takes it
  std::string name;
  NSRect frame;  // desktop pixels, from the top left of the screen
};

using Picture = PNGPixels;

class DesktopUserTest : public ::testing::Test {
 protected:
  // The panel's size in points (pixels on this display).
  static constexpr double panelWidth = 400, panelHeight = 600;

  void SetUp() override;
  void TearDown() override;

  // ---- the programs
  // Starts the application on the case's HOME (again after it quit: the HOME stays) and
  // waits until its panel shows.
  void launch();
  // Starts the application as launch() does, on the case's HOME, desktop and stand-in, with
  // the variables given on top, its output in the file of that name in the HOME; it may be
  // a copy beside the one launch() started.
  std::unique_ptr<Program> startAnotherCopy(const std::vector<std::pair<std::string, std::string>>& environment,
                                            const std::string& output);
  // The same without a session bus to find the running copy on (as from another session's
  // terminal) nor a display.
  std::unique_ptr<Program> startCopyWithoutBus(const std::string& output);
  // Waits for the application to end by itself; its exit status, or none on a timeout.
  std::optional<int> waitForExit(double timeout = 30.0);
  Program& app() { return *app_; }
  const std::filesystem::path& home() const { return home_; }

  // ---- waiting: polls the condition (serving the case's own GTK windows meanwhile)
  bool eventually(const std::function<bool()>& condition, double timeout = 30.0);
  CommandResult run(const std::vector<std::string>& argv, double timeout = 30.0);
  // `eventually`, for helpers that wait.
  CommandWait waiter();

  // ---- what X shows
  // The application's windows on screen (its tray icon left out), top-level ones only.
  std::vector<XWindow> appWindows();
  std::optional<XWindow> panel();
  bool panelShown() { return panel().has_value(); }
  // A shown window of the application other than the panel whose name contains `name`.
  std::optional<XWindow> windowNamed(const std::string& name);
  // The open menu's window ("Glimdeck menu"; a submenu's is "Glimdeck submenu").
  std::optional<XWindow> menuWindow(const std::string& name = "Glimdeck menu");
  // The middle of a menu's row `index`, for a menu laid out as `rows` says: 'i' an item,
  // '-' a separator ("ii-i" is two items, a separator and an item).
  static NSPoint menuRow(const std::string& rows, std::size_t index);
  static double menuHeight(const std::string& rows);
  // Opens the menu by clicking at the point of the panel, then clicks its row and waits
  // for the menu to close.
  void chooseFromPanelMenu(NSPoint opener, const std::string& rows, std::size_t index, int button = 1);
  // X's picture of a window, kept as build/screenshots/e2e/<case>/<name>.png.
  Picture picture(const XWindow& window, const std::string& name);
  // The pixel of the panel at a point of the panel (top-left origin), from a picture kept
  // under `name`.
  std::uint32_t panelPixel(NSPoint point, const std::string& name);
  // The same read straight from the X server, for waits that look many times; none when
  // the panel is not shown.
  std::optional<std::uint32_t> panelPixelNow(NSPoint point);
  // Waits until the panel's pixel at the point passes the test and has settled there (a
  // quick look does not wait for the settling).
  enum class Look { settled, quick };
  bool panelShows(NSPoint point, const std::function<bool(std::uint32_t)>& test, double timeout = 30.0,
                  Look look = Look::settled);

  // ---- acting as the user: points are in the window, from its top left
  void click(const XWindow& window, NSPoint point, int button = 1);
  void clickPanel(NSPoint point, int button = 1);
  // Moves the pointer to the point and waits until the X server has it there; false when it
  // never gets there.
  bool movePointer(const XWindow& window, NSPoint point);
  bool movePointerBy(double dx, double dy);
  void typeText(const std::string& text);
  void pressKeys(const std::string& keys);
  void clickTrayIcon();
  // Asks the window to close as a desktop's close button does (WM_DELETE_WINDOW).
  void closeWindow(const XWindow& window);
  // Wheel clicks (button 4 up, 5 down, 6 left, 7 right) with the pointer at a point of the panel.
  void wheel(NSPoint point, int button, int clicks);
  // Presses at the point of the panel and moves on a little at a time, as a hand does, until
  // a drag has begun (the panel closes); the button stays held.
  void beginDragFromPanel(NSPoint from);
  // beginDragFromPanel, then over another program's window (its X id) until that window has
  // heard the drag; the button stays held.
  void dragFromPanelOver(NSPoint from, const std::string& windowId, const std::function<bool()>& heard);
  // Whether the panel has the desktop's keyboard focus.
  bool panelHasKeys();
  // Whether GTK's drag icon shows: a top-level window of the application's name but without
  // its class, on the screen (a given-up drag's icon goes back to where the drag began first).
  bool dragIconShown();
  // Whether the focused field's whole text, as Control-A and Control-C copy it, is `text`.
  bool focusedFieldHolds(const std::string& text);

  // ---- journeys many cases begin with
  // OK on the first-run terms screen, which covers the panel.
  void acceptTerms();
  // A first launch taken as far as home, the trending strip's first GIF shown.
  void launchHome();
  // The term typed into the search field and searched for: the service is asked for it and
  // the first result shows.
  void searchFor(const std::string& term);
  // The shortcut closes the panel and opens it again.
  void closeAndOpenPanel();
  // A new account through the sign-up form, from a panel that shows home signed out; waits
  // until the service has the user and the application is signed in.
  void signUp(const std::string& username, const std::string& password);
  // A new pack through the profile's create-pack form, from home signed in; the profile
  // shows when it returns. `whileFormShows` runs once the form is up.
  void createPack(const std::string& name, const std::function<void()>& whileFormShows = nullptr);
  // A first launch taken as far as home, signed in with a new account.
  void launchSignedUp(const std::string& username, const std::string& password);

  // ---- the invariant: the screen shows what a fresh full repaint of the view tree draws
  // (in the area of each window not covered by another of the application's windows).
  void expectScreenMatchesRepaint(const std::string& step);
  // Holds the application still at one moment (its repaint hook) while `look` runs, so that
  // X's pictures taken meanwhile show that moment; `look` gets the hook's list of repainted
  // windows. The application's time goes on from that moment afterwards, not counting the
  // look's, so what it shows for a few seconds lasts through looks however slow. False (a
  // failure added) when the application did not hold still.
  bool holdStill(const std::function<void(const std::string& listing)>& look);

  // ---- the stand-in
  std::string standinURL() const { return standinURL_; }
  std::shared_ptr<NSDictionary> standinState();
  // The first record of one of the state's lists ("users", "collections") whose text field
  // has the value; none when there is none.
  std::shared_ptr<NSDictionary> standinRecord(const std::string& list, const std::string& field,
                                              const std::string& value);
  std::vector<std::shared_ptr<NSDictionary>> standinRequests();
  // Whether the stand-in has received a request for the path (with the query item, if given).
  bool standinReceived(const std::string& path, const std::string& queryName = "",
                       const std::string& queryValue = "");
  // Whether it has received a request for the path with a query item (name, value) that
  // passes the test.
  bool standinReceivedQuery(const std::string& path,
                            const std::function<bool(const std::string& name, const std::string& value)>& item);
  // How many requests for the path the stand-in has received.
  int standinRequestCount(std::string_view path);

  // The paths of the requests the stand-in received, in order, for failure messages.
  std::string receivedPaths();

  // ---- the store and the clipboard
  std::filesystem::path storePath() const;
  // sqlite3's answer to the query on the store, lines of "|"-separated columns.
  std::string queryStore(const std::string& sql);
  std::string clipboard(const std::string& target = "UTF8_STRING");
  // Another program (xclip) copies the text, as a person copies from a document; returns
  // once the clipboard offers it.
  void copyInAnotherProgram(const std::string& text);
  // The web addresses the application opened, in order: the case's HOME names a program of
  // its own as the default application for http and https, which writes them down.
  std::vector<std::string> openedAddresses();

  std::filesystem::path screenshotFolder() const { return shots_; }

  // Variables set for the application on top of the usual ones at the next launch.
  std::vector<std::pair<std::string, std::string>> launchEnvironment;

  // The pixels of the panel inside a rectangle (from its top left) that pass the test, in a
  // picture kept under `name`; -1 when the panel is not shown.
  int panelPixelsIn(const NSRect& area, const std::function<bool(std::uint32_t)>& test, const std::string& name);

  // Stops the case's stand-in and starts the program of `argv` in its place (with the
  // variables given on top, its output in that file of the HOME), as a person restarts a
  // service; waits until it says where it listens. The helpers above and the next launch then
  // use it. Answers how the stand-in it replaced ended.
  std::optional<int> replaceStandin(const std::vector<std::string>& argv,
                                    const std::vector<std::pair<std::string, std::string>>& environment,
                                    const std::string& output);

 private:
  std::filesystem::path home_;
  std::filesystem::path shots_;
  std::filesystem::path repaintFolder_;
  std::unique_ptr<Program> standin_;
  std::unique_ptr<Program> app_;
  // The output files of every copy of the application the case started.
  std::set<std::filesystem::path> appOutputs_;
  std::string standinURL_;
  int repaintChecks_ = 0;
  // The application's shown windows: the top-level ones, or those inside others (the icon
  // in the tray).
  std::vector<XWindow> ourShownWindows(bool topLevel);
  // Compares X's picture of each window with the fresh repaint the hook listed.
  void compareWithRepaint(const std::string& step, const std::string& listing);
  void* display_ = nullptr;  // the case's own connection to the X server, for pixel reads
  std::string panelId_;      // the panel's window, once found
};

// Colour tests for pixels read from the screen.
bool isNearWhite(std::uint32_t rgb);
bool isBlueish(std::uint32_t rgb);
// The red of the screens' error messages (anti-aliased text included).
bool isErrorRed(std::uint32_t rgb);

inline std::optional<int> DesktopUserTest::replaceStandin(
    const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& environment,
    const std::string& output) {
  std::optional<int> ended;
  if (standin_) {
    standin_->stop(30.0);
    ended = standin_->ending();
  }
  standinURL_.clear();
  standin_ = Program::start(argv, environment, home_ / output);
  EXPECT_TRUE(standin_) << "the stand-in did not start";
  const std::string listening = "listening on ";
  EXPECT_TRUE(standin_ && eventually([&] {
    const auto text = standin_->output();
    const auto at = text.find(listening);
    const auto end = at == std::string::npos ? at : text.find('\n', at);
    if (end == std::string::npos) return false;
    standinURL_ = text.substr(at + listening.size(), end - at - listening.size());
    return true;
  })) << (standin_ ? standin_->output() : "");
  return ended;
}
