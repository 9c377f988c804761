// One copy of the application per session, checked with real processes: a later launch finds
// the first on the session bus, asks it to show itself and ends; without a bus it finds the
// first one's lock in the data folder, which also keeps a copy on another bus off the same
// data, whatever is done to the lock file meanwhile. A copy that has ended leaves its place to
// the next.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

#include "platform/foundation/NSRunLoop.h"
#include "platform/host/SingleInstance.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A first copy in a process of its own: claims the id over the folder, writes down how, and
// serves until it has been asked to show itself and the test lets it end (with a third
// argument, until it is killed). Ending as soon as it was asked, it could leave before its
// answer did, and the launch that asked would find the name free and run.
int firstCopy(const std::vector<std::string>& arguments) {
  if (arguments.size() < 2) return 2;
  const fs::path folder = arguments[1];
  const bool forever = arguments.size() > 2;
  bool activated = false;
  auto claim = SingleInstance::claim(arguments[0], folder, [&] {
    activated = true;
    std::ofstream(folder / "activated") << "shown";
  });
  if (!claim) return 3;
  std::ofstream(folder / "claimed") << (claim->ownsBusName() ? "bus" : "lock");
  NSRunLoop::main()->runUntil([&] { return activated && !forever && fs::exists(folder / "may-end"); },
                              forever ? 600.0 : 60.0);
  return activated ? 0 : 4;
}

const bool firstCopyScenario = ChildProcess::add("single-instance-first-copy", firstCopy);

// One of several launches at once: writes down whether its claim held, then serves until it is
// killed, or ends when another copy runs.
int racingCopy(const std::vector<std::string>& arguments) {
  if (arguments.size() < 2) return 2;
  const fs::path folder = arguments[1];
  auto claim = SingleInstance::claim(arguments[0], folder, [] {});
  std::ofstream(folder / ("outcome-" + std::to_string(::getpid()))) << (claim ? "runs" : "ends");
  if (!claim) return 3;
  NSRunLoop::main()->runUntil([] { return false; }, 600.0);
  return 0;
}

const bool racingCopyScenario = ChildProcess::add("single-instance-racing-copy", racingCopy);

// Variables of this process set for a while.
class SetVariables {
 public:
  explicit SetVariables(const ChildProcess::Environment& variables) {
    for (const auto& [name, value] : variables) {
      const char* old = std::getenv(name.c_str());
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  ~SetVariables() {
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class SingleInstanceTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    folder = home() / "data";
    fs::create_directories(folder);
    static int cases = 0;
    id = "com.glimdeck.Test" + std::to_string(::getpid()) + "n" + std::to_string(++cases);
  }
  // Starts a first copy and waits until it holds its claim.
  pid_t startFirst(const std::vector<std::string>& extra, const ChildProcess::Environment& environment) {
    std::vector<std::string> arguments{id, folder.string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    pid_t child = ChildProcess::start("single-instance-first-copy", arguments, environment);
    EXPECT_GT(child, 0);
    EXPECT_TRUE(runUntil([&] { return !contents(folder / "claimed").empty(); }, 30.0)) << "the first copy claims";
    return child;
  }
  // The variables of a launch without a session bus.
  ChildProcess::Environment noBus() {
    fs::create_directories(home() / "runtime");
    return {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", (home() / "runtime").string()}};
  }
  bool printedContaining(const std::string& text) {
    for (const auto& line : printedLines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  // Starts a copy of its own, as a launch at the same time as others, and waits until it
  // has written down whether it runs or ends.
  std::pair<pid_t, std::string> startRacing() {
    pid_t copy = ChildProcess::start("single-instance-racing-copy", {id, folder.string()}, noBus());
    EXPECT_GT(copy, 0);
    const auto outcome = folder / ("outcome-" + std::to_string(copy));
    EXPECT_TRUE(runUntil([&] { return !contents(outcome).empty(); }, 60.0)) << "the copy claims or ends";
    return {copy, contents(outcome)};
  }
  static void stop(pid_t copy) {
    ::kill(copy, SIGKILL);
    ChildProcess::wait(copy);
  }

  fs::path folder;
  std::string id;
};

TEST_F(SingleInstanceTest, ALaterLaunchAsksTheFirstOnTheBusToShowItselfAndEnds) {
  pid_t first = startFirst({}, {});
  EXPECT_EQ(contents(folder / "claimed"), "bus");

  int activatedHere = 0;
  EXPECT_EQ(SingleInstance::claim(id, folder, [&] { ++activatedHere; }), nullptr);
  EXPECT_TRUE(printedContaining("already runs: it was asked to show itself.")) << ::testing::PrintToString(printedLines());
  std::ofstream(folder / "may-end") << "yes";
  auto ending = ChildProcess::wait(first);
  EXPECT_TRUE(ending.exited && ending.code == 0) << ending.description();
  EXPECT_EQ(contents(folder / "activated"), "shown");

  // Gone, the first copy leaves the name and the lock to the next launch.
  auto next = SingleInstance::claim(id, folder, [&] { ++activatedHere; });
  ASSERT_NE(next, nullptr);
  EXPECT_TRUE(next->ownsBusName());
  EXPECT_EQ(activatedHere, 0);
  EXPECT_EQ(SingleInstance::objectPathForApplicationId("com.glimdeck.Glim-deck"), "/com/glimdeck/Glim_deck");
}

// Without a bus the first copy's lock keeps every later launch off, also when something else
// lay under the lock file's name (a folder, a link, a pipe): it is set aside for a fresh lock,
// and the file a link led to stays as it was.
TEST_F(SingleInstanceTest, WithoutABusTheFirstCopysLockKeepsEveryLaterLaunchOff) {
  const fs::path lock = folder / "instance.lock";
  std::vector<std::optional<PlantedFiles::Kind>> planted{std::nullopt};
  planted.insert(planted.end(), std::begin(PlantedFiles::kinds), std::end(PlantedFiles::kinds));
  int round = 0;
  for (const auto& kind : planted) {
    SCOPED_TRACE(kind ? PlantedFiles::describe(*kind) : "nothing");
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto outside = home() / ("outside-" + std::to_string(++round));
    if (kind) PlantedFiles::plant(lock, *kind, outside);
    pid_t first = startFirst({"forever"}, noBus());
    EXPECT_EQ(contents(folder / "claimed"), "lock");
    const auto before = printedLines().size();
    {
      SetVariables withoutBus(noBus());
      EXPECT_EQ(SingleInstance::claim(id, folder, [] {}), nullptr);
    }
    const auto all = printedLines();
    const std::vector<std::string> lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                              return line.find("already runs (another copy holds " + lock.string()) != std::string::npos;
                            }),
              1)
        << ::testing::PrintToString(lines);
    // A launch on a bus (another session of the same user) is kept off the same data too.
    EXPECT_EQ(SingleInstance::claim(id, folder, [] {}), nullptr);

    ::kill(first, SIGKILL);
    ChildProcess::wait(first);
    if (kind) {
      EXPECT_EQ(fs::symlink_status(lock).type(), fs::file_type::regular);
      EXPECT_EQ(PlantedFiles::setAsideCopies(lock).size(), 1u);
    }
    if (kind == PlantedFiles::Kind::link) {
      EXPECT_EQ(PlantedFiles::contents(outside), PlantedFiles::outsideText);
    }
    // However the first copy ended, its lock went with it.
    SetVariables withoutBus(noBus());
    auto next = SingleInstance::claim(id, folder, [] {});
    ASSERT_NE(next, nullptr);
    EXPECT_FALSE(next->ownsBusName());
  }
}

// Launches at once, all finding a folder under the lock file's name: exactly one runs. None
// sets aside the lock another has just made and taken.
TEST_F(SingleInstanceTest, OfLaunchesAtOnceOverAFolderUnderTheLockFilesNameOneRuns) {
  constexpr int launches = 6;
  fs::create_directories(folder / "instance.lock");
  std::vector<pid_t> copies;
  for (int i = 0; i < launches; ++i) copies.push_back(ChildProcess::start("single-instance-racing-copy", {id, folder.string()}, noBus()));
  const auto outcomes = [&] {
    std::vector<std::string> seen;
    for (pid_t copy : copies) {
      if (auto text = contents(folder / ("outcome-" + std::to_string(copy))); !text.empty()) seen.push_back(text);
    }
    return seen;
  };
  EXPECT_TRUE(runUntil([&] { return outcomes().size() == launches; }, 60.0)) << ::testing::PrintToString(outcomes());
  const auto seen = outcomes();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "runs"), 1) << ::testing::PrintToString(seen);
  for (pid_t copy : copies) {
    ::kill(copy, SIGKILL);
    ChildProcess::wait(copy);
  }
}

// Whatever is done to the lock file while a copy runs, it keeps later launches off: moved
// elsewhere or deleted, the name is free for a fresh file, but the running copy also holds
// the data folder itself, which nothing done to the names inside takes away. Launches on no
// bus and on another bus alike end, and once the copy has ended the next one runs.
TEST_F(SingleInstanceTest, WhateverIsDoneToTheLockFileWhileACopyRunsLaterLaunchesEnd) {
  const fs::path lock = folder / "instance.lock";
  const struct {
    const char* what;
    std::function<void()> act;
  } cases[] = {
      {"moved elsewhere", [&] { fs::rename(lock, home() / "moved.lock"); }},
      {"deleted", [&] { fs::remove(lock); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder);
    fs::create_directories(folder);
    pid_t first = startFirst({"forever"}, noBus());
    ASSERT_EQ(contents(folder / "claimed"), "lock");
    c.act();
    {
      SetVariables withoutBus(noBus());
      EXPECT_EQ(SingleInstance::claim(id, folder, [] {}), nullptr);
    }
    EXPECT_TRUE(printedContaining("already runs (another copy holds " + folder.string() + ")"))
        << ::testing::PrintToString(printedLines());
    EXPECT_EQ(SingleInstance::claim(id, folder, [] {}), nullptr) << "a launch on another bus";

    stop(first);
    SetVariables withoutBus(noBus());
    EXPECT_NE(SingleInstance::claim(id, folder, [] {}), nullptr);
  }
}

// A launch that cannot have a lock file (a plain file lies where the data folder should be)
// says so and ends: without its lock it could write the store beside another copy.
TEST_F(SingleInstanceTest, ALaunchThatCannotHaveItsLockFileSaysSoAndEnds) {
  const fs::path notAFolder = home() / "not-a-folder";
  std::ofstream(notAFolder) << "a file";
  SetVariables withoutBus(noBus());
  EXPECT_EQ(SingleInstance::claim(id, notAFolder, [] {}), nullptr);
  EXPECT_TRUE(printedContaining("cannot take its lock " + (notAFolder / "instance.lock").string()))
      << ::testing::PrintToString(printedLines());
}

// What lies under the lock file's name is set aside only under the data folder's own lock, so
// that no launch moves away the lock another has just made. While somebody else holds the
// folder (a launch setting something aside, a running copy), a launch leaves the name as it
// is and ends; once the folder is let go, the next launch sets the thing aside and runs.
TEST_F(SingleInstanceTest, NothingIsSetAsideWhileAnotherHoldsTheDataFolder) {
  const fs::path lock = folder / "instance.lock";
  PlantedFiles::plant(lock, PlantedFiles::Kind::folder, {});
  const int held = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  SetVariables withoutBus(noBus());
  EXPECT_EQ(SingleInstance::claim(id, folder, [] {}), nullptr);
  EXPECT_EQ(fs::symlink_status(lock).type(), fs::file_type::directory);
  EXPECT_TRUE(PlantedFiles::setAsideCopies(lock).empty());
  EXPECT_TRUE(printedContaining("cannot take its lock " + lock.string())) << ::testing::PrintToString(printedLines());

  ::close(held);
  EXPECT_NE(SingleInstance::claim(id, folder, [] {}), nullptr);
  EXPECT_EQ(fs::symlink_status(lock).type(), fs::file_type::regular);
  EXPECT_EQ(PlantedFiles::setAsideCopies(lock).size(), 1u);
}

// Setting aside never fails for want of a free name: with every name the coming seconds would
// give taken (2,000 of them, as many set-aside launches or anybody might leave), a launch
// still sets the folder under the lock file's name aside, under a name of its own, and runs.
TEST_F(SingleInstanceTest, ALaunchSetsAsideThoughTheNamesOfTheComingSecondsAreTaken) {
  const fs::path lock = folder / "instance.lock";
  PlantedFiles::plant(lock, PlantedFiles::Kind::folder, {});
  std::set<fs::path> taken;
  const std::time_t now = std::time(nullptr);
  for (std::time_t second = now; second < now + 20; ++second) {
    std::tm parts{};
    gmtime_r(&second, &parts);
    char moment[32];
    std::strftime(moment, sizeof moment, "%Y%m%d-%H%M%S", &parts);
    for (int n = 0; n < 100; ++n) {
      fs::path name = lock;
      name += ".set-aside-" + std::string(moment) + (n == 0 ? "" : "-" + std::to_string(n));
      std::ofstream(name) << "taken";
      taken.insert(name);
    }
  }
  auto [copy, outcome] = startRacing();
  EXPECT_EQ(outcome, "runs");
  EXPECT_EQ(fs::symlink_status(lock).type(), fs::file_type::regular);
  const auto copies = PlantedFiles::setAsideCopies(lock);
  ASSERT_EQ(copies.size(), taken.size() + 1);
  for (const auto& name : copies) {
    if (!taken.contains(name)) {
      EXPECT_EQ(fs::symlink_status(name).type(), fs::file_type::directory) << name;
    }
  }
  stop(copy);
}

}  // namespace
