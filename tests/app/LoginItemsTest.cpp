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
#include "platform/foundation/NSBundle.h"
#include "platform/services/LoginItems.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TestEnvironment.h"

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
// ticking it points the application's entry at the running program, leaving no other. Entries
// of other programs are never touched.
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
      {"an entry whose program is gone", {{"glimdeck.desktop", entry(home() / "gone" / "glimdeck")}}, false},
      {"an entry the session turned off", {{"glimdeck.desktop", entry(otherCopy, "X-GNOME-Autostart-enabled=false\n")}},
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

}  // namespace
