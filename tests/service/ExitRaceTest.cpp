// A program that leaves while grid media is still downloading: by returning from main, or
// by the application's terminate. Each run is a child process of its own, so the exit is
// real (exit handlers and static destructors run) and the sanitizers watch it.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "platform/appkit/NSApplication.h"
#include "platform/foundation/DispatchQueue.h"
#include "service/CollectionViewGifDownloader.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/StandinFixture.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDownloadsPerRun = 40;
constexpr int kRuns = 24;
constexpr int kRunsAtOnce = 4;

// Counts finished downloads and wakes whoever waits for a number of them.
class FinishCounter : public CollectionViewGifDownloaderDelegate {
 public:
  void didProgress(const std::shared_ptr<NSURL>&, double) override {}
  void downloadCompletedWithUrl(const std::shared_ptr<NSURL>&, const std::optional<std::string>&,
                                std::optional<DownloadFileType>, DownloadCompleteStatus) override {
    {
      std::lock_guard lock(mutex_);
      ++finished_;
    }
    changed_.notify_all();
    if (onFinish) onFinish(finished_);
  }
  bool waitFor(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return finished_ >= count; });
  }
  std::function<void(int)> onFinish;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int finished_ = 0;
};

// Arguments: the stand-in's base URL, the run's number, how many downloads finish before
// the exit, and "return" or "terminate".
int leaveWithDownloadsInFlight(const std::vector<std::string>& arguments) {
  if (arguments.size() != 4) return 2;
  const std::string& base = arguments[0];
  const int finishedBeforeExit = std::stoi(arguments[2]);
  const bool terminate = arguments[3] == "terminate";
  // Held as an application holds its grids: until the static objects go.
  static std::shared_ptr<FinishCounter> counter = std::make_shared<FinishCounter>();
  static std::shared_ptr<CollectionViewGifDownloader> downloader = CollectionViewGifDownloader::make();
  downloader->setDelegate(counter);
  if (terminate) {
    counter->onFinish = [finishedBeforeExit](int finished) {
      if (finished == finishedBeforeExit) DispatchQueue::main()->async([] { NSApp()->terminate(nullptr); });
    };
  }
  for (int i = 0; i < kDownloadsPerRun; ++i) {
    const std::string path = "/_standin/slow/run" + arguments[1] + "-" + std::to_string(i) + ".gif";
    downloader->downloadMedia(NSURL::URLWithString(base + path), DownloadFileType::gif);
  }
  if (terminate) {
    if (finishedBeforeExit == 0) DispatchQueue::main()->async([] { NSApp()->terminate(nullptr); });
    NSApp()->run();
  } else if (!counter->waitFor(finishedBeforeExit)) {
    return 3;
  }
  return 0;
}

const bool registered = ChildProcess::add("leave-with-downloads-in-flight", leaveWithDownloadsInFlight);

class ExitRaceTest : public StandinTest {};

TEST_F(ExitRaceTest, LeavingWithDownloadsInFlightEndsTheProcessCleanly) {
  ASSERT_TRUE(registered);
  for (int first = 0; first < kRuns; first += kRunsAtOnce) {
    std::vector<std::pair<int, pid_t>> children;
    for (int run = first; run < first + kRunsAtOnce; ++run) {
      const fs::path home = this->home() / ("run" + std::to_string(run));
      for (const char* folder : {".local/share", ".cache", ".config", "tmp"}) fs::create_directories(home / folder);
      // From no finished download to a few: the exit lands at different points of the flight.
      const std::vector<std::string> arguments{standin().baseURL(), std::to_string(run), std::to_string(run % 6),
                                               run % 2 ? "terminate" : "return"};
      const pid_t child = ChildProcess::start("leave-with-downloads-in-flight", arguments,
                                              {{"HOME", home.string()},
                                               {"XDG_DATA_HOME", (home / ".local/share").string()},
                                               {"XDG_CACHE_HOME", (home / ".cache").string()},
                                               {"XDG_CONFIG_HOME", (home / ".config").string()},
                                               {"TMPDIR", (home / "tmp").string()}});
      ASSERT_GT(child, 0);
      children.emplace_back(run, child);
    }
    for (const auto& [run, child] : children) {
      const auto ending = ChildProcess::wait(child);
      EXPECT_TRUE(ending.exited && ending.code == 0) << "run " << run << " " << ending.description();
      // Nor does it leave download files behind.
      const fs::path temporary = this->home() / ("run" + std::to_string(run)) / "tmp";
      EXPECT_TRUE(fs::is_empty(temporary)) << "run " << run;
    }
  }
  // The downloads really were in flight: the server saw them, and the runs left before all
  // of them could finish.
  std::size_t asked = 0;
  for (const auto& request : standin().requests()) asked += request.path.starts_with("/_standin/slow/");
  EXPECT_GT(asked, static_cast<std::size_t>(kRuns * 6));
  EXPECT_LT(asked, static_cast<std::size_t>(kRuns * kDownloadsPerRun));
}

}  // namespace
