#pragma once
// For benchmarks that show real windows through the desktop host: without a display the
// program runs itself again inside an X server and a session bus of its own (the desktop
// host tests' script), the application's folders are put in a temporary place, the main
// run loop is played on the real clock and its stretches away from the loop are measured.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/appkit/NSApplication.h"
#include "platform/foundation/NSRunLoop.h"

namespace bench {

// Returns only when there is a display (or the session could not start: then it exits).
inline void ensureDesktopSession(int argc, char** argv, const char* sourceDir) {
  if (std::getenv("DISPLAY") || std::getenv("GLIMDECK_BENCH_IN_SESSION")) return;
  std::string script = std::string(sourceDir) + "/tests/platform/host/in-x-session.sh";
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::vector<char*> arguments{script.data(), self.data()};
  for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
  arguments.push_back(nullptr);
  setenv("GLIMDECK_BENCH_IN_SESSION", "1", 1);
  execv(script.c_str(), arguments.data());
  std::perror("cannot start an X session");
  std::exit(1);
}

// HOME and the XDG folders in a new folder of the temporary directory, answered.
inline std::filesystem::path useFoldersOfItsOwn(const std::string& stem) {
  const auto home = std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(::getpid()));
  for (const auto& [name, sub] : std::vector<std::pair<const char*, const char*>>{
           {"HOME", ""}, {"XDG_CACHE_HOME", ".cache"}, {"XDG_DATA_HOME", ".local/share"}, {"XDG_CONFIG_HOME", ".config"}}) {
    std::filesystem::create_directories(home / sub);
    setenv(name, (home / sub).c_str(), 1);
  }
  return home;
}

// The whole of a desktop benchmark's main: the session, folders of its own (named after
// `stem`, removed at the end), `prepare` once they are there, the application, then the
// benchmarks.
inline int runOnDesktop(int argc, char** argv, const char* sourceDir, const std::string& stem,
                        const std::function<void()>& prepare = nullptr) {
  ensureDesktopSession(argc, argv, sourceDir);
  const auto home = useFoldersOfItsOwn(stem);
  if (prepare) prepare();
  NSApplication::sharedApplication();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(home);
  return 0;
}

// Runs the main run loop for that many seconds of the real clock.
inline void play(double seconds) {
  auto loop = NSRunLoop::main();
  auto stop = loop->scheduleAfter(seconds, [loop] { loop->stop(); });
  loop->run();
}

// The longest the main thread was away from its run loop: a probe due every 5 ms notes how
// late it ran.
class StretchProbe {
 public:
  void start() {
    stopped_ = false;
    schedule();
  }
  void stop() {
    stopped_ = true;
    if (token_) token_->cancel();
  }
  double longestMilliseconds() const { return longest_ * 1000; }

 private:
  void schedule() {
    const auto due = std::chrono::steady_clock::now() + kStep;
    token_ = NSRunLoop::main()->scheduleAfter(std::chrono::duration<double>(kStep).count(), [this, due] {
      const double late = std::chrono::duration<double>(std::chrono::steady_clock::now() - due).count();
      longest_ = std::max(longest_, late);
      if (!stopped_) schedule();
    });
  }
  static constexpr std::chrono::milliseconds kStep{5};
  std::shared_ptr<RunLoopTimerToken> token_;
  double longest_ = 0;
  bool stopped_ = true;
};

}  // namespace bench
