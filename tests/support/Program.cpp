#include "tests/support/Program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "tests/support/PlantedFiles.h"

extern char** environ;

std::unique_ptr<Program> Program::start(const std::vector<std::string>& argv,
                                        const std::vector<std::pair<std::string, std::string>>& environment,
                                        const std::filesystem::path& output) {
  std::map<std::string, std::string> variables;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    auto equals = entry.find('=');
    if (equals != std::string::npos) variables[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  for (const auto& [name, value] : environment) variables[name] = value;
  std::vector<std::string> entries;
  for (const auto& [name, value] : variables) entries.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  auto program = std::unique_ptr<Program>(new Program());
  program->outputPath_ = output;
  int failed = posix_spawnp(&program->pid_, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return nullptr;
  return program;
}

Program::~Program() {
  if (running()) stop(10.0);
}

bool Program::running() {
  if (ending_ || pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  ending_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return false;
}

void Program::stop(double timeout, int signal) {
  if (!running()) return;
  kill(pid_, signal);
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::duration<double>(timeout);
  while (running() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (running()) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    ending_ = -SIGKILL;
  }
}

std::string Program::output() const { return PlantedFiles::contents(outputPath_); }
