#pragma once
// Another program a test starts as a process of its own, with its output kept in a file.

#include <sys/types.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class Program {
 public:
  // Starts argv[0] (found on PATH unless it has a slash) with the variables set on top of
  // the test's own environment.
  static std::unique_ptr<Program> start(const std::vector<std::string>& argv,
                                        const std::vector<std::pair<std::string, std::string>>& environment,
                                        const std::filesystem::path& output);
  ~Program();
  pid_t pid() const { return pid_; }
  // Whether it still runs (collecting its status once it has ended).
  bool running();
  // How it ended: its exit status, or minus the signal that ended it; none while it runs.
  std::optional<int> ending() const { return ending_; }
  // Asks it to end with the signal, then kills it when it has not ended within the timeout.
  void stop(double timeout, int signal = SIGTERM);
  std::string output() const;

 private:
  Program() = default;
  pid_t pid_ = -1;
  std::optional<int> ending_;
  std::filesystem::path outputPath_;
};
