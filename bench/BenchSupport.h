#pragma once
// What several benchmark programs share: one in-process stand-in, a countdown of
// completions that the benchmark thread waits for, and side-by-side timing of a path and
// its baseline.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
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

// Runs `subject` and `baseline` one after the other in every iteration, in alternating
// order so that neither always finds the caches warm, on the same loaded machine at the same
// moment. The benchmark's time is the subject's (register with UseManualTime()); the
// counter "ratio" is the median of the per-iteration ratios subject / baseline, and
// "baseline_us" the baseline's median time. Each callable returns false to stop the run.
// `settle`, untimed, runs after each pair: work that the path leaves for later (a cache's
// archive write after a burst) is done there rather than inside the next timed run.
template <typename Subject, typename Baseline, typename Settle>
void compareWithBaseline(benchmark::State& state, Subject&& subject, Baseline&& baseline, Settle&& settle) {
  using Clock = std::chrono::steady_clock;
  auto timed = [](auto& run, bool& ok) {
    const auto start = Clock::now();
    ok = run() && ok;
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  std::vector<double> ratios;
  std::vector<double> baselines;
  bool subjectFirst = true;
  for (auto _ : state) {
    bool ok = true;
    double subjectSeconds = 0;
    double baselineSeconds = 0;
    if (subjectFirst) {
      subjectSeconds = timed(subject, ok);
      baselineSeconds = timed(baseline, ok);
    } else {
      baselineSeconds = timed(baseline, ok);
      subjectSeconds = timed(subject, ok);
    }
    subjectFirst = !subjectFirst;
    settle();
    state.SetIterationTime(subjectSeconds);
    if (!ok) {
      state.SkipWithError("a run failed");
      break;
    }
    ratios.push_back(subjectSeconds / baselineSeconds);
    baselines.push_back(baselineSeconds);
  }
  auto median = [](std::vector<double>& values) {
    if (values.empty()) return 0.0;
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
  };
  state.counters["ratio"] = median(ratios);
  state.counters["baseline_us"] = median(baselines) * 1e6;
}

template <typename Subject, typename Baseline>
void compareWithBaseline(benchmark::State& state, Subject&& subject, Baseline&& baseline) {
  compareWithBaseline(state, std::forward<Subject>(subject), std::forward<Baseline>(baseline), [] {});
}

}  // namespace bench
