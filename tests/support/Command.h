#pragma once
// Runs another program to its end, keeping what it writes to standard output, while the
// caller's own loop keeps serving (a tool that reads our clipboard waits for our answer).

#include <functional>
#include <string>
#include <vector>

struct CommandResult {
  int status = -1;  // the exit status; -1 when it did not exit normally
  std::string output;
};

// Waits until the condition holds or `timeout` seconds pass, serving the caller's loop
// meanwhile; answers the condition.
using CommandWait = std::function<bool(const std::function<bool()>& condition, double timeout)>;

// Starts argv[0] (looked up on PATH) and waits for its end with `wait`. A program that runs
// past the timeout is killed and fails the test, as does one that cannot be started.
CommandResult runCommand(const std::vector<std::string>& argv, double timeout, const CommandWait& wait);
