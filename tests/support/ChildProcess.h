#pragma once
// Scenarios that must run in a process of their own, such as a program leaving while its
// threads still work. The test program starts itself again with "--child-scenario=<name>"
// and the scenario's arguments; main() then runs the scenario instead of the tests and
// returns its result, so the child ends as any program does (exit handlers and static
// destructors run) under the same sanitizers as the tests.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ChildProcess {

using Scenario = std::function<int(const std::vector<std::string>& arguments)>;
using Environment = std::vector<std::pair<std::string, std::string>>;

// Registers a scenario; call it from a static initialiser of the test file.
bool add(std::string name, Scenario scenario);
// For main(): the scenario's result when the program was started as a child, else nothing.
std::optional<int> runIfAsked(int argc, char** argv);

// How a child ended.
struct Ending {
  bool exited = false;  // by returning from main or exit(); else by a signal
  int code = 0;         // the exit status, or the signal
  std::string description() const;
};

// Starts this program as a child running the scenario, with the variables in `environment`
// set (others are inherited); answers its process id, or -1.
pid_t start(const std::string& name, const std::vector<std::string>& arguments, const Environment& environment);
Ending wait(pid_t child);

}  // namespace ChildProcess
