// One copy of the application per session, checked with real processes: a later launch finds
// the first on the session bus, asks it to show itself and ends; without a bus it finds the
// first one's lock in the data folder, which also keeps a copy on another bus off the same
// data. A copy that has ended leaves its place to the next.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
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
// serves until it has been asked to show itself (with a third argument, until it is killed).
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
  NSRunLoop::main()->runUntil([&] { return activated && !forever; }, forever ? 600.0 : 60.0);
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
  // Variables of a session without a bus, its runtime folder in the home.
  ChildProcess::Environment sessionWithoutBus() {
    fs::create_directories(home() / "runtime");
    return {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", (home() / "runtime").string()}};
  }
  bool printedContaining(const std::string& text) {
    for (const auto& line : printedLines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
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

TEST_F(SingleInstanceTest, WithoutABusTheFirstCopysLockKeepsEveryLaterLaunchOff) {
  const auto noBus = sessionWithoutBus();
  pid_t first = startFirst({"forever"}, noBus);
  EXPECT_EQ(contents(folder / "claimed"), "lock");
  {
    SetVariables withoutBus(noBus);
    EXPECT_EQ(SingleInstance::claim(id, folder, [] {}), nullptr);
  }
  EXPECT_TRUE(printedContaining("already runs (another copy holds " + (folder / "instance.lock").string()))
      << ::testing::PrintToString(printedLines());
  // A launch on a bus (another session of the same user) is kept off the same data too.
  EXPECT_EQ(SingleInstance::claim(id, folder, [] {}), nullptr);

  ::kill(first, SIGKILL);
  ChildProcess::wait(first);
  // However the first copy ended, its lock went with it.
  SetVariables withoutBus(noBus);
  auto next = SingleInstance::claim(id, folder, [] {});
  ASSERT_NE(next, nullptr);
  EXPECT_FALSE(next->ownsBusName());
}

// Whatever lies under the lock file's name (a folder, a link, a pipe), a launch without a bus
// sets it aside for a fresh lock, and a later launch finds that lock held: one copy runs. The
// file a link led to stays as it was.
TEST_F(SingleInstanceTest, WithoutABusOneCopyRunsWhateverLiesUnderTheLockFilesName) {
  const auto noBus = sessionWithoutBus();
  const fs::path lock = folder / "instance.lock";
  int round = 0;
  for (auto kind : PlantedFiles::kinds) {
    SCOPED_TRACE(PlantedFiles::describe(kind));
    fs::remove_all(folder);
    const auto outside = home() / ("outside-" + std::to_string(++round));
    PlantedFiles::plant(lock, kind, outside);
    pid_t first = startFirst({"forever"}, noBus);
    EXPECT_EQ(contents(folder / "claimed"), "lock");
    {
      SetVariables withoutBus(noBus);
      EXPECT_EQ(SingleInstance::claim(id, folder, [] {}), nullptr) << "a second copy runs";
    }
    EXPECT_TRUE(printedContaining("already runs (another copy holds " + lock.string()))
        << ::testing::PrintToString(printedLines());
    ::kill(first, SIGKILL);
    ChildProcess::wait(first);
    EXPECT_EQ(fs::symlink_status(lock).type(), fs::file_type::regular);
    EXPECT_EQ(PlantedFiles::setAsideCopies(lock).size(), 1u);
    if (kind == PlantedFiles::Kind::link) {
      EXPECT_EQ(PlantedFiles::contents(outside), PlantedFiles::outsideText);
    }
  }
}

// Launches at once, all finding a folder under the lock file's name: exactly one runs. None
// sets aside the lock another has just made and taken.
TEST_F(SingleInstanceTest, OfLaunchesAtOnceOverAFolderUnderTheLockFilesNameOneRuns) {
  const auto noBus = sessionWithoutBus();
  constexpr int launches = 6;
  fs::create_directories(folder / "instance.lock");
  std::vector<pid_t> copies;
  for (int i = 0; i < launches; ++i) copies.push_back(ChildProcess::start("single-instance-racing-copy", {id, folder.string()}, noBus));
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

}  // namespace
