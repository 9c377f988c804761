#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>

#include "standin/GifMaker.h"
#include "tests/standin/ServiceCalls.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TestEnvironment.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace ServiceCalls;

namespace {

// The stand-in program, started as `make run` starts it or bare, in a process of its own on
// the case's HOME (with XDG_DATA_HOME unset, so that the default data folder is the one used).
class MakeRunStandinTest : public GlimdeckTest {
 protected:
  struct Running {
    pid_t pid = -1;
    int port = 0;
    fs::path output;
  };

  void TearDown() override {
    for (auto& running : started_) {
      if (running.pid > 0) stop(running, SIGKILL);
    }
    GlimdeckTest::TearDown();
  }

  // scripts/run-standin.sh, as scripts/run.sh runs it, on a free port instead of make run's.
  Running& startAsMakeRun(std::vector<std::pair<std::string, std::string>> environment = {}) {
    return start({"bash", std::string(GLIMDECK_TESTS_DIR) + "/../scripts/run-standin.sh", GLIMDECK_STANDIN_BUILD_DIR, "0"},
                 std::move(environment));
  }
  Running& startBare() {
    return start({std::string(GLIMDECK_STANDIN_BUILD_DIR) + "/glimdeck-standin", "--port", "0"}, {});
  }

  // Ends it with the signal and answers how it ended: its exit status, or minus the signal.
  int stop(Running& running, int signal) {
    ::kill(running.pid, signal);
    int status = 0;
    ::waitpid(running.pid, &status, 0);
    running.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  std::string output(const Running& running) const { return PlantedFiles::contents(running.output); }
  fs::path dataFolder() const { return home() / ".local/share/glimdeck-standin"; }

 private:
  Running& start(const std::vector<std::string>& argv, std::vector<std::pair<std::string, std::string>> environment) {
    auto& running = started_.emplace_back();
    running.output = home() / ("standin-" + std::to_string(started_.size()) + ".out");
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
      const std::string entry = *variable;
      if (entry.starts_with("XDG_DATA_HOME=") || entry.starts_with("STANDIN_FRESH=")) continue;
      variables.push_back(entry);
    }
    for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
    std::vector<char*> args, envp;
    for (const auto& argument : argv) args.push_back(const_cast<char*>(argument.c_str()));
    args.push_back(nullptr);
    for (auto& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, running.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int failed = posix_spawnp(&running.pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
      ADD_FAILURE() << "cannot start " << argv[0];
      running.pid = -1;
      return running;
    }
    const std::string listening = "listening on http://127.0.0.1:";
    EXPECT_TRUE(runUntil([&] { return output(running).find(listening) != std::string::npos; }, 30.0)) << output(running);
    const auto text = output(running);
    if (auto at = text.find(listening); at != std::string::npos) running.port = std::stoi(text.substr(at + listening.size()));
    return running;
  }

  std::deque<Running> started_;
};

TEST_F(MakeRunStandinTest, TwoRunsInARowMeetTheSameService) {
  const auto gif = GifMaker::animated(GifMaker::Look{});
  auto& first = startAsMakeRun();
  EXPECT_NE(output(first).find("keeps its state in " + (dataFolder() / "state.json").string()), std::string::npos)
      << output(first);
  const auto token = signUp(first.port, "amy", "secret");
  const auto pack = makePack(first.port, token, "Cats");
  const auto uploaded = uploadInto(first.port, token, pack, gif);
  // As scripts/run.sh stops it when the application quits.
  EXPECT_EQ(stop(first, SIGTERM), 0) << output(first);

  auto& second = startAsMakeRun();
  EXPECT_EQ(accountOf(second.port, token), "amy");
  EXPECT_EQ(packItems(second.port, pack), std::vector<std::string>{uploaded});
  EXPECT_TRUE(httpGet(api(second.port, "/uploads/" + uploaded + ".gif")).body == gif);
  // Each change is kept as it happens: a stand-in killed outright has lost none of them.
  const std::string liked = "1234";
  EXPECT_EQ(httpGet(legacyWeb(second.port, "/quorb.like?token=" + token + "&pid=" + liked + "&remove=false")).status, 200);
  EXPECT_TRUE(runUntil([&] { return PlantedFiles::contents(dataFolder() / "state.json").contains("\"" + liked + "\""); }, 20.0));
  stop(second, SIGKILL);

  auto& third = startAsMakeRun();
  EXPECT_EQ(accountOf(third.port, token), "amy");
  EXPECT_TRUE(httpGet(api(third.port, "/_standin/state")).body.contains("\"liked\":{\"700\":[\"" + liked + "\"]}"));
  EXPECT_EQ(stop(third, SIGTERM), 0);

  // Started empty on request, and empty from then on.
  auto& fresh = startAsMakeRun({{"STANDIN_FRESH", "1"}});
  EXPECT_EQ(accountOf(fresh.port, token), "invalid token");
  EXPECT_EQ(stop(fresh, SIGTERM), 0);
  auto& after = startAsMakeRun({{"STANDIN_FRESH", "0"}});
  EXPECT_EQ(accountOf(after.port, token), "invalid token");
  EXPECT_EQ(httpGet(api(after.port, "/v1/collection?id=" + std::to_string(pack))).status, 404);
  const auto again = signUp(after.port, "bob", "secret");
  EXPECT_EQ(stop(after, SIGTERM), 0);

  // A bare stand-in, as tests and benchmarks start it, neither reads nor writes that file.
  const auto kept = PlantedFiles::contents(dataFolder() / "state.json");
  auto& bare = startBare();
  EXPECT_EQ(accountOf(bare.port, again), "invalid token");
  signUp(bare.port, "carl", "secret");
  EXPECT_EQ(stop(bare, SIGTERM), 0);
  EXPECT_TRUE(PlantedFiles::contents(dataFolder() / "state.json") == kept);
}

TEST_F(MakeRunStandinTest, ADamagedFileIsSetAsideWithOneLineAndTheServiceStartsEmpty) {
  fs::create_directories(dataFolder());
  std::ofstream(dataFolder() / "state.json") << "{\"format\": 1, \"users\": [";
  auto& run = startAsMakeRun();
  const auto text = output(run);
  EXPECT_NE(text.find("Set aside \"" + (dataFolder() / "state.json").string() + "\": it was a plain file, not a state the "
                      "stand-in can read (not JSON"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("so the stand-in starts empty; it is now \"state.json.set-aside-"), std::string::npos) << text;
  const auto token = signUp(run.port, "amy", "secret");
  EXPECT_EQ(stop(run, SIGTERM), 0);
  auto& next = startAsMakeRun();
  EXPECT_EQ(accountOf(next.port, token), "amy");
  EXPECT_EQ(output(next).find("Set aside"), std::string::npos) << output(next);
}

}  // namespace
