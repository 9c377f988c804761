#include "tests/support/Command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

CommandResult runCommand(const std::vector<std::string>& argv, double timeout, const CommandWait& wait) {
  CommandResult result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipe";
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    ADD_FAILURE() << "cannot start " << argv[0];
    return result;
  }
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  auto readAvailable = [&] {
    char buffer[65536];
    for (;;) {
      ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      result.output.append(buffer, static_cast<std::size_t>(n));
    }
  };
  int status = 0;
  bool ended = wait(
      [&] {
        readAvailable();
        return waitpid(pid, &status, WNOHANG) == pid;
      },
      timeout);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << argv[0] << " " << (argv.size() > 1 ? argv[1] : "") << " did not finish";
  }
  readAvailable();
  close(fds[0]);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}
