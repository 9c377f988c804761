// glimdeck-standin [--port N] [--seed S] [--items N]: serves the stand-in of the GIF service
// on 127.0.0.1 until it is killed; --items sizes its catalogue (benchmarks page through more
// items than the default).

#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "standin/StandinServer.h"

namespace {

void usage() { std::fprintf(stderr, "usage: glimdeck-standin [--port N] [--seed S] [--items N]\n"); }

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
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (argument == "--port" && numberFrom(value, 65535, port)) {
      ++i;
    } else if (argument == "--seed" && numberFrom(value, ~0ull, seed)) {
      ++i;
    } else if (argument == "--items" && numberFrom(value, 1'000'000, items) && items > 0) {
      ++i;
    } else {
      usage();
      return 2;
    }
  }

  // Block the stop signals before any thread starts, then wait for one of them here.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  auto server = StandinServer::make(seed, static_cast<std::size_t>(items));
  auto started = server->start(static_cast<int>(port));
  if (!started) {
    std::fprintf(stderr, "glimdeck-standin: %s\n", started.error().c_str());
    return 1;
  }
  std::printf("glimdeck-standin listening on %s\n", server->baseURL().c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  server->stop();
  return 0;
}
