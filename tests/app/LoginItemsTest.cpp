// Launch at login in the user's autostart folder, read back the way the desktop reads it:
// GLib's key-file reader, its command-line splitting and its launcher (which expands the
// field codes), and a shell for the quoting rules GLib does not expand. Programs whose
// paths hold spaces, quotes, dollars, backticks, backslashes, per cents, tabs and line
// feeds start from their entries; entries the session turned off do not count; an entry
// without a program is never written.

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/LoginUtilities.h"
#include "app/PreferencesWindowController.h"
#include "platform/appkit/NSApplication.h"
#include "platform/foundation/NSBundle.h"
#include "platform/services/LoginItems.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/UISimulator.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// What the desktop makes of one entry.
struct Reading {
  std::string problem;        // empty when every reader agreed
  std::string program;        // the first argument, field codes expanded
  std::string shellArgument;  // that argument as a POSIX shell reads the same quoting
};

class LoginItemsTest : public GlimdeckTest {
 protected:
  // A program at `path` that writes the path it was started as into `out`.
  void makeProgram(const std::filesystem::path& path, const std::filesystem::path& out) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\nprintf '%s' \"$0\" > '" << out.string() << "'\n";
    ::chmod(path.c_str(), 0755);
  }

  Reading read(const std::filesystem::path& entry) {
    Reading reading;
    GKeyFile* file = g_key_file_new();
    GError* error = nullptr;
    if (!g_key_file_load_from_file(file, entry.c_str(), G_KEY_FILE_NONE, &error)) {
      reading.problem = std::string("key file: ") + error->message;
      g_error_free(error);
      g_key_file_free(file);
      return reading;
    }
    gchar* exec = g_key_file_get_string(file, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC, &error);
    g_key_file_free(file);
    if (!exec) {
      reading.problem = std::string("Exec: ") + error->message;
      g_error_free(error);
      return reading;
    }
    gint argc = 0;
    gchar** argv = nullptr;
    if (!g_shell_parse_argv(exec, &argc, &argv, &error)) {
      reading.problem = std::string("arguments: ") + error->message;
      g_error_free(error);
      g_free(exec);
      return reading;
    }
    // "%%" is the field code of a per cent sign; "env" starts the program that follows.
    std::string first = argc > 1 && std::string(argv[0]) == "env" ? argv[1] : argv[0];
    for (std::size_t at = 0; (at = first.find("%%", at)) != std::string::npos; ++at) first.erase(at, 1);
    reading.program = first;
    g_strfreev(argv);

    // The line as written (one quoted program), given to a shell, which expands what is left
    // unescaped.
    std::string quoted(exec);
    g_free(exec);
    for (std::size_t at = 0; (at = quoted.find("%%", at)) != std::string::npos; ++at) quoted.erase(at, 1);
    const std::string script = "set -- " + quoted + "; [ \"$1\" = env ] && shift; printf '%s' \"$1\"";
    gchar* shellArgv[] = {const_cast<gchar*>("/bin/sh"), const_cast<gchar*>("-c"), const_cast<gchar*>(script.c_str()),
                          nullptr};
    gchar* output = nullptr;
    gint status = 0;
    // In the test's own folder: an unescaped command substitution would run there.
    if (g_spawn_sync(home().c_str(), shellArgv, nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &output, nullptr,
                     &status, nullptr)) {
      reading.shellArgument = output ? output : "";
    }
    g_free(output);
    return reading;
  }

  // Starts the entry as GLib's launcher does and answers the path the program was started as.
  std::string launch(const std::filesystem::path& entry, const std::filesystem::path& out) {
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(entry.c_str());
    if (!info) return "(not a valid entry, or its program is not there)";
    GError* error = nullptr;
    const bool started = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
    g_object_unref(info);
    if (!started) {
      std::string why = error ? error->message : "?";
      if (error) g_error_free(error);
      return "(not started: " + why + ")";
    }
    // The program writes its answer in its own time.
    if (!runUntil([&] { return std::filesystem::exists(out) && !readFile(out).empty(); }, 30.0)) return "(no answer)";
    return readFile(out);
  }
};

TEST_F(LoginItemsTest, ProgramsOfEveryPathStartFromTheirEntriesAsTheDesktopReadsThem) {
  auto list = LoginItemsList::sessionLoginItems();
  ASSERT_TRUE(list);
  const std::vector<std::string> names = {
      "glimdeck",       "Glim deck",        "100%",         "50%f of %u",   "\"quoted\" 'single'",
      "$HOME and ${X}", "`touch nothing`",  "back\\slash\\", "line\nfeed",   "tab\tand\rreturn",
      "ünïcödé ✓",      "  spaced  ",       "a;b|c&d<e>f",  "*?[glob]",     "#hash=equals",
  };
  int n = 0;
  for (const auto& name : names) {
    const auto program = home() / "programs" / name / "bin" / "glimdeck";
    const auto out = home() / ("started-" + std::to_string(++n));
    makeProgram(program, out);
    auto item = list->insertItemURL(program);
    ASSERT_TRUE(item) << name;
    Reading reading = read((*item)->entryPath());
    EXPECT_EQ(reading.problem, "") << name;
    EXPECT_EQ(reading.program, program.string()) << name;
    EXPECT_EQ(reading.shellArgument, program.string()) << name;
    EXPECT_EQ(launch((*item)->entryPath(), out), program.string()) << name;
    EXPECT_EQ((*item)->resolve(), program) << name;
    EXPECT_TRUE(list->removeItem(*item)) << name;
  }
}

TEST_F(LoginItemsTest, OnlyEntriesThatStartAnExistingProgramAndAreTurnedOnCount) {
  auto list = LoginItemsList::sessionLoginItems();
  ASSERT_TRUE(list);
  auto program = home() / "bin" / "tool";
  makeProgram(program, home() / "unused");
  auto write = [&](const std::string& name, const std::string& body) {
    std::filesystem::create_directories(list->folder());
    std::ofstream(list->folder() / name) << body;
  };
  const std::string exec = "Exec=" + program.string();
  write("a-hidden.desktop", "[Desktop Entry]\n" + exec + "\nHidden=true\n");
  write("b-gone.desktop", "[Desktop Entry]\nExec=/nowhere/tool --flag\n");
  write("c-first.desktop", "[Desktop Entry]\n" + exec + " --start\n");
  write("d-second.desktop", "[Desktop Entry]\nType=Application\nExec=\"" + program.string() + "\"\n");
  write("e-nogroup.desktop", exec + "\n");
  // The session's settings turn an entry off by this key, not by removing it.
  write("f-off.desktop", "[Desktop Entry]\n" + exec + "\nX-GNOME-Autostart-enabled=false\n");
  write("g-on.desktop", "[Desktop Entry]\n" + exec + "\nX-GNOME-Autostart-enabled=true\n");
  write("h-off-elsewhere.desktop", "[Desktop Entry]\n" + exec + "\n[Other]\nX-GNOME-Autostart-enabled=false\n");
  std::vector<std::string> resolving;
  for (auto& entry : list->snapshot()) {
    if (entry->resolve() == program) resolving.push_back(entry->entryPath().filename().string());
  }
  EXPECT_EQ(resolving, (std::vector<std::string>{"c-first.desktop", "d-second.desktop", "g-on.desktop",
                                                 "h-off-elsewhere.desktop"}));

  // Our own item: added after the others, found, and removed again.
  EXPECT_FALSE(LoginUtilities::isLaunchAtStartup());
  LoginUtilities::toggleLaunchAtStartup();
  EXPECT_TRUE(LoginUtilities::isLaunchAtStartup());
  EXPECT_EQ(read(LoginUtilities::itemRefInLoginItems()->entryPath()).program,
            std::filesystem::weakly_canonical(NSBundle::mainBundle()->executablePath()).string());
  LoginUtilities::toggleLaunchAtStartup();
  EXPECT_FALSE(LoginUtilities::isLaunchAtStartup());
  EXPECT_EQ(list->snapshot().size(), 8u);
}

TEST_F(LoginItemsTest, AnEntryThatWouldStartNothingIsNeverWritten) {
  auto list = LoginItemsList::sessionLoginItems();
  ASSERT_TRUE(list);
  const std::vector<std::filesystem::path> programs = {"", "glimdeck", "bin/glimdeck",
                                                       std::string("/opt/\xff\xfe/glimdeck")};
  for (const auto& program : programs) {
    auto item = list->insertItemURL(program);
    ASSERT_FALSE(item) << program;
    EXPECT_EQ(item.error()->domain(), LoginItemsList::Constants::errorDomain);
    EXPECT_FALSE(item.error()->localizedDescription().empty());
  }
  EXPECT_TRUE(list->snapshot().empty());
}

// One entry starts the application at login, whichever of its copies wrote it: the box shows
// the entry another copy (a build tree's program, say) left; clearing it takes away every
// entry of the application, the numbered ones earlier versions wrote beside it included; and
// ticking it points the application's entry at the running program, leaving no other. An
// entry under the application's name that starts another program, or one that is gone, is
// no login item of the application's: the box shows it cleared, and ticking replaces it.
// Entries of other programs are never touched.
TEST_F(LoginItemsTest, OneEntryStartsTheApplicationWhicheverOfItsCopiesWroteIt) {
  auto list = LoginItemsList::sessionLoginItems();
  ASSERT_TRUE(list);
  const auto running = std::filesystem::weakly_canonical(NSBundle::mainBundle()->executablePath()).string();
  const auto otherCopy = home() / "src" / "glimdeck" / "build" / "glimdeck";
  makeProgram(otherCopy, home() / "unused");
  const auto someTool = home() / "bin" / "tool";
  makeProgram(someTool, home() / "unused");
  auto entry = [](const std::filesystem::path& program, const std::string& more = "") {
    return "[Desktop Entry]\nType=Application\nName=Glimdeck\nExec=" + LoginItemsList::execValueForProgram(program) +
           "\n" + more;
  };
  const std::string tool = "[Desktop Entry]\nExec=" + someTool.string() + "\n";
  // A link that bears the application's program's name and leads to another program.
  const auto disguised = home() / "links" / "glimdeck";
  std::filesystem::create_directories(disguised.parent_path());
  std::filesystem::create_symlink(someTool, disguised);
  const auto gone = home() / "gone" / "glimdeck";
  using Files = std::map<std::string, std::string>;
  struct Row {
    const char* name;
    Files before;
    bool shown;  // the box's state when the window opens
  };
  const Row rows[] = {
      {"another copy's entry", {{"glimdeck.desktop", entry(otherCopy)}}, true},
      {"another copy's entry and the one an earlier version wrote beside it",
       {{"glimdeck.desktop", entry(otherCopy)}, {"glimdeck-2.desktop", entry(running)}}, true},
      {"a numbered entry alone", {{"glimdeck-3.desktop", entry(otherCopy)}}, true},
      {"an entry whose program is gone", {{"glimdeck.desktop", entry(gone)}}, false},
      {"an entry the session turned off", {{"glimdeck.desktop", entry(otherCopy, "X-GNOME-Autostart-enabled=false\n")}},
       false},
      {"an entry under our name that starts another program", {{"glimdeck.desktop", entry(someTool)}}, false},
      {"an entry that starts another program through a link of our program's name",
       {{"glimdeck.desktop", entry(disguised)}}, false},
      {"a numbered entry that starts another program", {{"glimdeck-2.desktop", entry(someTool)}}, false},
      {"another program's entry under our name beside one that starts this program",
       {{"glimdeck.desktop", entry(someTool)}, {"my-launcher.desktop", entry(running)}}, true},
      // Ticked, the box takes away what lies beside the entry it writes.
      {"a numbered entry the user hid beside an entry whose program is gone",
       {{"glimdeck.desktop", entry(gone)}, {"glimdeck-2.desktop", entry(running, "Hidden=true\n")}}, false},
      {"a numbered entry the session turned off beside one whose program is gone",
       {{"glimdeck-2.desktop", entry(gone)}, {"glimdeck-3.desktop", entry(otherCopy, "X-GNOME-Autostart-enabled=false\n")}},
       false},
      {"one the user made for this program", {{"my-launcher.desktop", entry(running)}}, true},
      {"nothing", {}, false},
  };
  auto files = [&] {
    Files found;
    for (const auto& item : list->snapshot()) found[item->entryPath().filename().string()] = readFile(item->entryPath());
    return found;
  };
  // Other programs' entries, one under a name that is not one of the application's.
  const Files others = {{"other-tool.desktop", tool}, {"glimdeck-notes.desktop", tool}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(list->folder());
    std::filesystem::create_directories(list->folder());
    for (const auto* planted : {&row.before, &others}) {
      for (const auto& [name, text] : *planted) std::ofstream(list->folder() / name) << text;
    }

    EXPECT_EQ(LoginUtilities::isLaunchAtStartup(), row.shown);
    if (row.shown) {
      LoginUtilities::toggleLaunchAtStartup();
      EXPECT_FALSE(LoginUtilities::isLaunchAtStartup()) << "cleared, the application starts no more at login";
      EXPECT_EQ(files(), others);
    }
    LoginUtilities::toggleLaunchAtStartup();
    EXPECT_TRUE(LoginUtilities::isLaunchAtStartup());
    Files ticked = others;
    ticked["glimdeck.desktop"] = readFile(list->folder() / "glimdeck.desktop");
    EXPECT_EQ(files(), ticked) << "one entry of the application";
    EXPECT_EQ(read(list->folder() / "glimdeck.desktop").program, running) << "it starts the running program";
    LoginUtilities::toggleLaunchAtStartup();
    EXPECT_EQ(files(), others);
  }
}

// Under the entry's name, anything but a plain file (a pipe, a link to a file outside, a
// folder) is neither read, written through nor waited for: the entry takes its place as a
// plain file and the file outside stays as it was.
TEST_F(LoginItemsTest, TheEntryIsWrittenAsAPlainFileWhateverLiesUnderItsName) {
  auto list = LoginItemsList::sessionLoginItems();
  ASSERT_TRUE(list);
  const auto entry = list->folder() / "glimdeck.desktop";
  int round = 0;
  for (auto kind : PlantedFiles::kinds) {
    SCOPED_TRACE(PlantedFiles::describe(kind));
    std::filesystem::remove_all(list->folder());
    const auto outside = home() / ("outside-" + std::to_string(++round));
    PlantedFiles::plant(entry, kind, outside);
    bool on = false;
    EXPECT_TRUE(PlantedFiles::endsWithin(
        PlantedFiles::boundSeconds,
        [&] {
          EXPECT_FALSE(LoginUtilities::isLaunchAtStartup());
          LoginUtilities::toggleLaunchAtStartup();
          on = LoginUtilities::isLaunchAtStartup();
        },
        {entry}))
        << "the pipe was waited for";
    EXPECT_TRUE(on);
    ASSERT_TRUE(LoginUtilities::itemRefInLoginItems());
    EXPECT_EQ(LoginUtilities::itemRefInLoginItems()->entryPath(), entry);
    EXPECT_EQ(std::filesystem::symlink_status(entry).type(), std::filesystem::file_type::regular);
    if (kind == PlantedFiles::Kind::link) {
      EXPECT_EQ(PlantedFiles::contents(outside), PlantedFiles::outsideText);
    }
    LoginUtilities::toggleLaunchAtStartup();
    EXPECT_FALSE(LoginUtilities::isLaunchAtStartup());
  }
}

// ---- the Preferences' box ----------------------------------------------------------------

class LaunchAtLoginBoxTest : public UITest {};

// The box shows whether an entry will start the application, never the flip of what it showed:
// after each click, whatever another program did to the folder just before (the click does what
// the folder calls for, not the box), and whenever the window comes forward again, from behind
// another window of ours or after another program was used.
TEST_F(LaunchAtLoginBoxTest, TheBoxShowsWhatTheFolderWillStartAfterEachClickAndWhenTheWindowComesForward) {
  auto list = LoginItemsList::sessionLoginItems();
  ASSERT_TRUE(list);
  const auto folder = list->folder();
  const auto running = std::filesystem::weakly_canonical(NSBundle::mainBundle()->executablePath());
  // Another program's entry starts this one through a link to it.
  const auto link = home() / "bin" / "launch-it";
  std::filesystem::create_directories(link.parent_path());
  std::filesystem::create_symlink(running, link);
  const auto someTool = home() / "bin" / "tool";
  std::ofstream(someTool) << "#!/bin/sh\n";
  ::chmod(someTool.c_str(), 0755);
  auto plant = [&](const std::string& name, const std::filesystem::path& program) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name) << "[Desktop Entry]\nType=Application\nExec="
                                 << LoginItemsList::execValueForProgram(program) << "\n";
  };
  auto names = [&] {
    std::vector<std::string> found;
    for (const auto& item : list->snapshot()) found.push_back(item->entryPath().filename().string());
    return found;
  };

  auto preferences = PreferencesWindowController::make();
  auto window = preferences->window();
  window->makeKeyAndOrderFront(nullptr);
  NSApp()->activateIgnoringOtherApps(true);
  auto box = preferences->autoLaunchCheckbox.lock();
  ASSERT_TRUE(box);
  auto other = NSWindow::initWithContentRect(NSMakeRect(600, 300, 200, 100), NSWindowStyleMaskTitled);
  auto behindAnotherWindow = [&](const std::function<void()>& meanwhile) {
    other->makeKeyAndOrderFront(nullptr);
    meanwhile();
    window->makeKeyAndOrderFront(nullptr);
  };
  auto whileAnotherProgramIsUsed = [&](const std::function<void()>& meanwhile) {
    NSApp()->deactivate();
    meanwhile();
    NSApp()->activateIgnoringOtherApps(true);
  };
  auto click = [&] { ui.click(box); };

  struct Step {
    const char* what;
    std::function<void()> act;
    bool shown;
    std::vector<std::string> entries;
  };
  const Step steps[] = {
      {"the window opens", [] {}, false, {}},
      {"another program adds its entry, then a click",
       [&] {
         plant("launch-it.desktop", link);
         click();
       },
       false, {}},
      {"a click", click, true, {"glimdeck.desktop"}},
      {"another program writes our entry to start itself while it is used",
       [&] { whileAnotherProgramIsUsed([&] { plant("glimdeck.desktop", someTool); }); }, false, {"glimdeck.desktop"}},
      {"a click", click, true, {"glimdeck.desktop"}},
      {"a click", click, false, {}},
      {"another program adds its entry behind another window",
       [&] { behindAnotherWindow([&] { plant("launch-it.desktop", link); }); }, true, {"launch-it.desktop"}},
      {"a click", click, false, {}},
      {"a click", click, true, {"glimdeck.desktop"}},
      {"our entry is removed behind another window",
       [&] { behindAnotherWindow([&] { std::filesystem::remove(folder / "glimdeck.desktop"); }); }, false, {}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(box->state() == NSControlStateValueOn, step.shown);
    EXPECT_EQ(LoginUtilities::isLaunchAtStartup(), step.shown);
    EXPECT_EQ(names(), step.entries);
    if (step.shown) {
      EXPECT_EQ(LoginUtilities::itemRefInLoginItems()->resolve(), running);
    }
  }
}

}  // namespace
