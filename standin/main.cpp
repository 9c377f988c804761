// glimdeck-standin [--port N] [--seed S] [--items N] [--keep-state | --state-file PATH [--fresh]]:
// serves the stand-in of the GIF service on 127.0.0.1 until it is killed; --items sizes its
// catalogue (benchmarks page through more items than the default). Its accounts, packs,
// favourites and uploads live in memory, for tests and benchmarks that want a new service
// each time, unless --state-file keeps them in that file from one run to the next (see
// StandinStateFile), or --keep-state in the user's data folder as `make run` does; --fresh
// starts it empty, discarding what the file kept. It ends with status 1 when the last changes
// could not be saved in that file.

#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "standin/StandinServer.h"
#include "standin/StandinStateFile.h"

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: glimdeck-standin [--port N] [--seed S] [--items N] [--keep-state | --state-file PATH [--fresh]]\n");
}

bool numberFrom(const char* text, unsigned long long limit, unsigned long long& out) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtoull(text, &end, 10);
  return errno == 0 && *end == '\0' && out <= limit;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long port = 0;
  unsigned long long seed = Catalogue::defaultSeed;
  unsigned long long items = Catalogue::defaultItemCount;
  std::optional<std::string> statePath;
  auto start = StandinStateFile::Start::kept;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (argument == "--port" && numberFrom(value, 65535, port)) {
      ++i;
    } else if (argument == "--seed" && numberFrom(value, ~0ull, seed)) {
      ++i;
    } else if (argument == "--items" && numberFrom(value, 1'000'000, items) && items > 0) {
      ++i;
    } else if (argument == "--state-file" && value != nullptr && *value != '\0' && !statePath) {
      statePath = value;
      ++i;
    } else if (argument == "--keep-state" && !statePath) {
      statePath = StandinStateFile::defaultPath().string();
    } else if (argument == "--fresh") {
      start = StandinStateFile::Start::fresh;
    } else {
      usage();
      return 2;
    }
  }
  if (start == StandinStateFile::Start::fresh && !statePath) {
    usage();
    return 2;
  }

  // Block the stop signals before any thread starts, then wait for one of them here.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  auto server = StandinServer::make(seed, static_cast<std::size_t>(items));
  // Read before the first request, so that no client meets an empty service.
  std::shared_ptr<StandinStateFile> stateFile;
  if (statePath) {
    auto opened = StandinStateFile::open(*statePath, server->sharedState(), start);
    if (!opened) {
      std::fprintf(stderr, "glimdeck-standin: %s\n", opened.error().c_str());
      return 1;
    }
    stateFile = *opened;
  }
  auto started = server->start(static_cast<int>(port));
  if (!started) {
    std::fprintf(stderr, "glimdeck-standin: %s\n", started.error().c_str());
    return 1;
  }
  std::printf("glimdeck-standin listening on %s\n", server->baseURL().c_str());
  if (stateFile) std::printf("glimdeck-standin keeps its state in %s\n", stateFile->path().c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  server->stop();
  // The changes of the last requests are saved before the process ends; changes it could not
  // save (said in one line) make it end with a failure.
  if (stateFile && !stateFile->close()) return 1;
  return 0;
}
