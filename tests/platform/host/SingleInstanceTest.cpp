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
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/OwnFiles.h"
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
  // A launch in this process without a session bus: its claim, none when it ends.
  std::unique_ptr<SingleInstance> claimWithoutBus(const fs::path& where) {
    SetVariables withoutBus(noBus());
    return SingleInstance::claim(id, where, [] {});
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
// and the file a link led to stays as it was. So it does whatever is done to the lock file
// while the copy runs: moved elsewhere or deleted, the name is free for a fresh file, but the
// running copy also holds the data folder itself, which nothing done to the names inside
// takes away. Launches on no bus and on another bus alike end, and once the copy has ended
// the next one runs.
TEST_F(SingleInstanceTest, WithoutABusTheFirstCopyKeepsEveryLaterLaunchOffWhateverIsDoneToItsLock) {
  const fs::path lock = folder / "instance.lock";
  struct Row {
    std::string what;
    std::optional<PlantedFiles::Kind> planted;  // under the lock file's name before the launch
    std::function<void()> meanwhile;            // done to the lock file while the copy runs
    fs::path held;                              // what a later launch finds held
  };
  std::vector<Row> rows{{"nothing", std::nullopt, nullptr, lock},
                        {"moved elsewhere", std::nullopt, [&] { fs::rename(lock, home() / "moved.lock"); }, folder},
                        {"deleted", std::nullopt, [&] { fs::remove(lock); }, folder}};
  for (auto kind : PlantedFiles::kinds) rows.push_back({PlantedFiles::describe(kind), kind, nullptr, lock});
  int round = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto outside = home() / ("outside-" + std::to_string(++round));
    if (row.planted) PlantedFiles::plant(lock, *row.planted, outside);
    pid_t first = startFirst({"forever"}, noBus());
    ASSERT_EQ(contents(folder / "claimed"), "lock");
    if (row.meanwhile) row.meanwhile();
    const auto before = printedLines().size();
    EXPECT_EQ(claimWithoutBus(folder), nullptr);
    const auto lines = printedLines(before);
    const std::string says = "already runs (another copy holds " + row.held.string() + ")";
    EXPECT_EQ(std::ranges::count_if(lines, [&](const std::string& line) { return line.contains(says); }), 1)
        << ::testing::PrintToString(lines);
    // A launch on a bus (another session of the same user) is kept off the same data too.
    EXPECT_EQ(SingleInstance::claim(id, folder, [] {}), nullptr);

    stop(first);
    if (row.planted) {
      EXPECT_EQ(fs::symlink_status(lock).type(), fs::file_type::regular);
      EXPECT_EQ(PlantedFiles::setAsideCopies(lock).size(), 1u);
    }
    if (row.planted == PlantedFiles::Kind::link) {
      EXPECT_EQ(PlantedFiles::contents(outside), PlantedFiles::outsideText);
    }
    // However the first copy ended, its lock went with it.
    auto next = claimWithoutBus(folder);
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
  for (pid_t copy : copies) stop(copy);
}

// A launch that cannot have its lock says so and ends: without it, it could write the store
// beside another copy. So does one that finds something other than a plain file under the
// lock file's name while somebody else holds the data folder (a launch setting something
// aside, a running copy): that is set aside only under the folder's lock, so that no launch
// moves away the lock another has just made. Once the folder is let go, the next launch sets
// it aside and runs.
TEST_F(SingleInstanceTest, ALaunchThatCannotHaveItsLockSaysSoAndEnds) {
  const fs::path notAFolder = home() / "not-a-folder";
  std::ofstream(notAFolder) << "a file";
  EXPECT_EQ(claimWithoutBus(notAFolder), nullptr);
  EXPECT_TRUE(printedContaining("cannot take its lock " + (notAFolder / "instance.lock").string()))
      << ::testing::PrintToString(printedLines());

  const fs::path lock = folder / "instance.lock";
  PlantedFiles::plant(lock, PlantedFiles::Kind::folder, {});
  const int held = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(claimWithoutBus(folder), nullptr);
  EXPECT_EQ(fs::symlink_status(lock).type(), fs::file_type::directory);
  EXPECT_TRUE(PlantedFiles::setAsideCopies(lock).empty());
  EXPECT_TRUE(printedContaining("cannot take its lock " + lock.string())) << ::testing::PrintToString(printedLines());

  ::close(held);
  EXPECT_NE(claimWithoutBus(folder), nullptr);
  EXPECT_EQ(fs::symlink_status(lock).type(), fs::file_type::regular);
  EXPECT_EQ(PlantedFiles::setAsideCopies(lock).size(), 1u);
}

// Setting aside never fails for want of a free name: with every name the moment gives taken
// (100 of them, as many set-aside launches or anybody might leave), a launch still sets the
// folder under the lock file's name aside, under a name of its own, and runs.
TEST_F(SingleInstanceTest, ALaunchSetsAsideThoughTheNamesOfTheMomentAreTaken) {
  const fs::path lock = folder / "instance.lock";
  PlantedFiles::plant(lock, PlantedFiles::Kind::folder, {});
  std::set<fs::path> taken;
  for (int n = 0; n < 100; ++n) {
    fs::path name = lock;
    name += ".set-aside-" + OwnFiles::stamp() + (n == 0 ? "" : "-" + std::to_string(n));
    std::ofstream(name) << "taken";
    taken.insert(name);
  }
  EXPECT_NE(claimWithoutBus(folder), nullptr);
  EXPECT_EQ(fs::symlink_status(lock).type(), fs::file_type::regular);
  const auto copies = PlantedFiles::setAsideCopies(lock);
  ASSERT_EQ(copies.size(), taken.size() + 1);
  for (const auto& name : copies) {
    if (!taken.contains(name)) {
      EXPECT_EQ(fs::symlink_status(name).type(), fs::file_type::directory) << name;
    }
  }
}

}  // namespace
