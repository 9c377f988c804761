#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

extern char** environ;

namespace {

constexpr std::string_view kFlag = "--child-scenario=";

std::map<std::string, ChildProcess::Scenario>& scenarios() {
  static auto& all = *new std::map<std::string, ChildProcess::Scenario>();
  return all;
}

}  // namespace

namespace ChildProcess {

bool add(std::string name, Scenario scenario) {
  scenarios()[std::move(name)] = std::move(scenario);
  return true;
}

std::optional<int> runIfAsked(int argc, char** argv) {
  if (argc < 2 || !std::string_view(argv[1]).starts_with(kFlag)) return std::nullopt;
  const std::string name(std::string_view(argv[1]).substr(kFlag.size()));
  auto found = scenarios().find(name);
  if (found == scenarios().end()) return 2;
  return found->second(std::vector<std::string>(argv + 2, argv + argc));
}

std::string Ending::description() const {
  return exited ? "exited with status " + std::to_string(code) : "killed by signal " + std::to_string(code);
}

pid_t start(const std::string& name, const std::vector<std::string>& arguments, const Environment& environment) {
  std::vector<std::string> words{"/proc/self/exe", std::string(kFlag) + name};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  std::vector<std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view text(*entry);
    const auto name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const auto& [key, value] : environment) replaced = replaced || key == name;
    if (!replaced) variables.emplace_back(text);
  }
  for (const auto& [key, value] : environment) variables.push_back(key + "=" + value);
  std::vector<char*> envp;
  for (auto& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  // What the child prints is its own business; its sanitizer reports (stderr) stay visible.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : child;
}

Ending wait(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return {true, WEXITSTATUS(status)};
  return {false, WIFSIGNALED(status) ? WTERMSIG(status) : -1};
}

}  // namespace ChildProcess
