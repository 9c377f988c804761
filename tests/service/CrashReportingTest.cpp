#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "sdk/crash/VVDLog.h"
#include "sdk/crash/Veverovodod.h"
#include "sdk/foundation/Murvane.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

// Starts the kit as the application does, logs two lines and fails in the way asked.
int crashAfterLogging(const std::vector<std::string>& arguments) {
  Murvane::with({Veverovodod::kitClass()});
  VVDLog("first line %d", 1);
  VVDLog("second line: %s", "before the crash");
  if (arguments.at(0) == "protected-page") {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) return 2;
    *static_cast<volatile int*>(page) = 1;
  } else if (arguments.at(0) == "abort") {
    std::abort();
  }
  return 3;
}

const bool registeredCrash = ChildProcess::add("crash-after-logging", crashAfterLogging);

class CountingKit : public MurvaneKit {
 public:
  std::string_view kitName() const override { return "CountingKit"; }
  void start() override { ++starts; }
  int starts = 0;
};

class CrashReportingTest : public GlimdeckTest {};

TEST_F(CrashReportingTest, AFatalSignalLeavesAReportWithTheLogAndStillEndsTheProcess) {
  ASSERT_TRUE(registeredCrash);
  const struct {
    const char* failure;
    int signal;
    const char* signalLine;
  } cases[] = {
      {"protected-page", SIGSEGV, "Signal: 11 (SIGSEGV)"},
      {"abort", SIGABRT, "Signal: 6 (SIGABRT)"},
  };
  const fs::path folder = Veverovodod::reportsFolder();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    fs::remove_all(folder);
    const pid_t child = ChildProcess::start("crash-after-logging", {c.failure}, {});
    ASSERT_GT(child, 0);
    const auto ending = ChildProcess::wait(child);
    EXPECT_FALSE(ending.exited) << ending.description();
    EXPECT_EQ(ending.code, c.signal) << ending.description();

    std::vector<fs::path> reports;
    if (fs::exists(folder)) {
      for (const auto& entry : fs::directory_iterator(folder)) reports.push_back(entry.path());
    }
    ASSERT_EQ(reports.size(), 1u);
    std::ifstream file(reports[0]);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], c.signalLine);
    EXPECT_TRUE(lines[1].starts_with("Time: 20") && lines[1].ends_with("Z")) << lines[1];
    EXPECT_EQ(lines[2], "Process: " + std::to_string(child));
    EXPECT_EQ(lines[3], "Log:");
    EXPECT_EQ(lines[4], "first line 1");
    EXPECT_EQ(lines[5], "second line: before the crash");
  }
}

TEST_F(CrashReportingTest, EachKitStartsOnceHoweverOftenTheSDKIsStarted) {
  static CountingKit first;
  static CountingKit second;
  const auto shared = Murvane::with({&first, &first});
  EXPECT_EQ(Murvane::with({&second, &first}), shared);
  EXPECT_EQ(Murvane::with({&first, nullptr}), shared);
  EXPECT_EQ(first.starts, 1);
  EXPECT_EQ(second.starts, 1);
  EXPECT_TRUE(shared->hasStarted(&first));
  EXPECT_FALSE(shared->hasStarted(Veverovodod::kitClass()));
}

TEST_F(CrashReportingTest, WritingTheLogForAReportMatchesItsLines) {
  VVDCrashLog::clear();
  const std::string longLine(VVDCrashLog::capacityBytes / 3, 'y');
  for (int i = 0; i < 5; ++i) VVDLog("%d %s", i, longLine.c_str());
  const fs::path path = home() / "log.txt";
  {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    VVDCrashLog::writeLinesTo(fileno(file));
    std::fclose(file);
  }
  std::ifstream file(path);
  std::vector<std::string> written;
  for (std::string line; std::getline(file, line);) written.push_back(line);
  EXPECT_EQ(written, VVDCrashLog::lines());
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written.back(), "4 " + longLine);
  VVDCrashLog::clear();
}

// Reports go into the reports folder itself: a link put in its place (to a folder or a file
// outside) or a pipe is set aside at start for a folder of the kit's own, and nothing lands
// where the link led.
TEST_F(CrashReportingTest, AReportGoesIntoAFolderOfItsOwnWhateverLiesUnderItsName) {
  const fs::path folder = Veverovodod::reportsFolder();
  const fs::path outsideFolder = home() / "outside-folder";
  const fs::path outsideFile = home() / "outside-file";
  const struct {
    const char* what;
    std::function<void()> plant;
  } cases[] = {
      {"a link to a folder outside", [&] { fs::create_symlink(outsideFolder, folder); }},
      {"a link to a file outside", [&] { fs::create_symlink(outsideFile, folder); }},
      {"a named pipe", [&] { PlantedFiles::plant(folder, PlantedFiles::Kind::pipe, {}); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder.parent_path());
    fs::remove_all(outsideFolder);
    fs::create_directories(folder.parent_path());
    fs::create_directories(outsideFolder);
    std::ofstream(outsideFile) << PlantedFiles::outsideText;
    c.plant();
    const pid_t child = ChildProcess::start("crash-after-logging", {"abort"}, {});
    ASSERT_GT(child, 0);
    const auto ending = ChildProcess::wait(child);
    EXPECT_EQ(ending.code, SIGABRT) << ending.description();

    EXPECT_TRUE(fs::is_empty(outsideFolder));
    EXPECT_EQ(PlantedFiles::contents(outsideFile), PlantedFiles::outsideText);
    ASSERT_EQ(fs::symlink_status(folder).type(), fs::file_type::directory);
    std::size_t reports = 0;
    for (const auto& entry : fs::directory_iterator(folder)) reports += entry.path().filename().string().starts_with("crash-");
    EXPECT_EQ(reports, 1u);
    EXPECT_EQ(PlantedFiles::setAsideCopies(folder).size(), 1u);
  }
}

}  // namespace
