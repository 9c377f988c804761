#pragma once
// What several benchmark programs share: the stand-in in-process or in a process of its own,
// a countdown of completions that the benchmark thread waits for, side-by-side timing of a
// path and its baseline, and the heap in use.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "standin/StandinServer.h"

namespace bench {

inline StandinServer& server() {
  static std::shared_ptr<StandinServer> instance = [] {
    auto made = StandinServer::make();
    if (!made->start(0)) std::abort();
    return made;
  }();
  return *instance;
}

class Countdown {
 public:
  explicit Countdown(int count) : left_(count) {}
  void done() {
    std::lock_guard lock(mutex_);
    if (--left_ == 0) finished_.notify_all();
  }
  void wait() {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return left_ <= 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  int left_;
};

// The stand-in as the service is, in a process of its own (`glimdeck-standin` beside the
// benchmark's folder), so that what the benchmark's process spends is the client's alone.
// It shares the machine's CPUs with the client, as the scheduler places them: the client is
// charged what a reply's wake-ups cost it wherever they land.
// One per catalogue size, started on first use and stopped when the program ends. Answers
// its base URL. GLIMDECK_BENCH_STANDIN names one already running instead (to profile the
// benchmark alone).
inline const std::string& standinProcess(std::size_t items = 0) {
  static const std::string given = [] {
    const char* url = std::getenv("GLIMDECK_BENCH_STANDIN");
    return std::string(url ? url : "");
  }();
  if (!given.empty()) return given;
  struct Child {
    pid_t pid = 0;
    std::string baseURL;
    ~Child() {
      if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
      }
    }
  };
  static std::map<std::size_t, Child> children;
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  auto& child = children[items];
  if (child.pid > 0) return child.baseURL;
  const auto program = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "glimdeck-standin";
  int out[2];
  if (::pipe(out) != 0) std::abort();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> arguments = {program.string(), "--port", "0"};
  if (items > 0) arguments.insert(arguments.end(), {"--items", std::to_string(items)});
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "could not start %s\n", program.c_str());
    std::abort();
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  // Its first line names the address it listens on.
  std::string line;
  char c = 0;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  const auto at = line.find("http://");
  if (at == std::string::npos) {
    std::fprintf(stderr, "the stand-in did not start: %s\n", line.c_str());
    std::abort();
  }
  child.baseURL = line.substr(at);
  return child.baseURL;
}

// CPU time of the whole process (every thread), in seconds.
inline double processCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU time of the calling thread alone, in seconds.
inline double threadCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Context switches of the whole process so far, voluntary and not.
inline double processContextSwitches() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw);
}

// Bytes the heap holds for the program, small blocks and mapped ones.
inline double heapBytesInUse() {
  const auto info = ::mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd);
}

// Runs `subject` and `baseline` one after the other in every iteration, in alternating
// order so that neither always finds the caches warm, on the same loaded machine at the same
// moment. The benchmark's time is the subject's (register with UseManualTime()). Counters:
// "ratio", the subject's mean wall time over the baseline's; "cpu_ratio", the same of the
// process's CPU time (every thread: with the stand-in in another process, the client's);
// "baseline_us" and "baseline_cpu_us", the baseline's means. Each callable returns false to
// stop the run. `settle`, untimed, runs after each pair, for work that is no part of either.
template <typename Subject, typename Baseline, typename Settle>
void compareWithBaseline(benchmark::State& state, Subject&& subject, Baseline&& baseline, Settle&& settle) {
  using Clock = std::chrono::steady_clock;
  struct Totals {
    double wall = 0;
    double cpu = 0;
  } subjectTotal, baselineTotal;
  auto timed = [](auto& run, bool& ok, Totals& total) {
    const double cpuStart = processCpuSeconds();
    const auto start = Clock::now();
    ok = run() && ok;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    total.wall += wall;
    total.cpu += processCpuSeconds() - cpuStart;
    return wall;
  };
  std::size_t runs = 0;
  bool subjectFirst = true;
  for (auto _ : state) {
    bool ok = true;
    double subjectSeconds = 0;
    if (subjectFirst) {
      subjectSeconds = timed(subject, ok, subjectTotal);
      timed(baseline, ok, baselineTotal);
    } else {
      timed(baseline, ok, baselineTotal);
      subjectSeconds = timed(subject, ok, subjectTotal);
    }
    subjectFirst = !subjectFirst;
    settle();
    state.SetIterationTime(subjectSeconds);
    if (!ok) {
      state.SkipWithError("a run failed");
      break;
    }
    ++runs;
  }
  if (runs == 0 || baselineTotal.wall <= 0) return;
  state.counters["ratio"] = subjectTotal.wall / baselineTotal.wall;
  state.counters["cpu_ratio"] = baselineTotal.cpu > 0 ? subjectTotal.cpu / baselineTotal.cpu : 0.0;
  state.counters["baseline_us"] = baselineTotal.wall / static_cast<double>(runs) * 1e6;
  state.counters["cpu_us"] = subjectTotal.cpu / static_cast<double>(runs) * 1e6;
  state.counters["baseline_cpu_us"] = baselineTotal.cpu / static_cast<double>(runs) * 1e6;
}

template <typename Subject, typename Baseline>
void compareWithBaseline(benchmark::State& state, Subject&& subject, Baseline&& baseline) {
  compareWithBaseline(state, std::forward<Subject>(subject), std::forward<Baseline>(baseline), [] {});
}

// One side of a batch comparison: `run` does one unit of its work (a page, a round of
// downloads) and answers false when it failed; `drain`, run once at the end of the side's
// batch and inside its window, waits until the work the units left behind on other threads
// (results released, queued writes) is done, so that the side is charged all of it.
struct BatchSide {
  std::function<bool()> run;
  std::function<void()> drain = [] {};
};

// Charges each side all the CPU its work causes: in every iteration each side runs a batch of
// `units` units back to back, the order of the sides alternating from one iteration to the
// next, and the process's CPU (every thread) and the wall time are read at the start of the
// side's batch and after its drain. What one unit leaves to other threads lands in the next
// unit's window of the same side, and the last one's in the drain; the other side's batch
// never starts before it is done. The benchmark's time is the subject's batch, per unit
// (register with UseManualTime()). Counters, per unit: "cpu_us" and "baseline_cpu_us", the
// sides' process CPU; "baseline_us", the baseline's wall time; "switches" and
// "baseline_switches", context switches; and the ratios of the sides' totals, "ratio" in wall
// time and "cpu_ratio" in CPU.
inline void compareBatches(benchmark::State& state, int units, const BatchSide& subject, const BatchSide& baseline) {
  using Clock = std::chrono::steady_clock;
  struct Totals {
    double wall = 0;
    double cpu = 0;
    double switches = 0;
  } subjectTotal, baselineTotal;
  auto batch = [units](const BatchSide& side, Totals& total) {
    const double switchesStart = processContextSwitches();
    const double cpuStart = processCpuSeconds();
    const auto start = Clock::now();
    bool ok = true;
    for (int i = 0; i < units && ok; ++i) ok = side.run();
    side.drain();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    total.cpu += processCpuSeconds() - cpuStart;
    total.switches += processContextSwitches() - switchesStart;
    total.wall += wall;
    return std::pair{ok, wall};
  };
  double runs = 0;
  bool subjectFirst = true;
  for (auto _ : state) {
    std::pair<bool, double> mine, theirs;
    if (subjectFirst) {
      mine = batch(subject, subjectTotal);
      theirs = batch(baseline, baselineTotal);
    } else {
      theirs = batch(baseline, baselineTotal);
      mine = batch(subject, subjectTotal);
    }
    subjectFirst = !subjectFirst;
    state.SetIterationTime(mine.second / units);
    if (!mine.first || !theirs.first) {
      state.SkipWithError("a run failed");
      return;
    }
    runs += units;
  }
  if (runs == 0 || baselineTotal.wall <= 0) return;
  state.counters["units"] = runs;
  state.counters["ratio"] = subjectTotal.wall / baselineTotal.wall;
  state.counters["cpu_ratio"] = baselineTotal.cpu > 0 ? subjectTotal.cpu / baselineTotal.cpu : 0.0;
  state.counters["baseline_us"] = baselineTotal.wall / runs * 1e6;
  state.counters["cpu_us"] = subjectTotal.cpu / runs * 1e6;
  state.counters["baseline_cpu_us"] = baselineTotal.cpu / runs * 1e6;
  state.counters["switches"] = subjectTotal.switches / runs;
  state.counters["baseline_switches"] = baselineTotal.switches / runs;
}

}  // namespace bench
