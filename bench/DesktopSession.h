#pragma once
// For benchmarks that show real windows through the desktop host: without a display the
// program runs itself again inside an X server and a session bus of its own (the desktop
// host tests' script), and the application's folders are put in a temporary place.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Returns only when there is a display (or the session could not start: then it exits).
inline void ensureDesktopSession(int argc, char** argv, const char* sourceDir) {
  if (std::getenv("DISPLAY") || std::getenv("GLIMDECK_BENCH_IN_SESSION")) return;
  std::string script = std::string(sourceDir) + "/tests/platform/host/in-x-session.sh";
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::vector<char*> arguments{script.data(), self.data()};
  for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
  arguments.push_back(nullptr);
  setenv("GLIMDECK_BENCH_IN_SESSION", "1", 1);
  execv(script.c_str(), arguments.data());
  std::perror("cannot start an X session");
  std::exit(1);
}

// HOME and the XDG folders in a new folder of the temporary directory, answered.
inline std::filesystem::path useFoldersOfItsOwn(const std::string& stem) {
  const auto home = std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(::getpid()));
  for (const auto& [name, sub] : std::vector<std::pair<const char*, const char*>>{
           {"HOME", ""}, {"XDG_CACHE_HOME", ".cache"}, {"XDG_DATA_HOME", ".local/share"}, {"XDG_CONFIG_HOME", ".config"}}) {
    std::filesystem::create_directories(home / sub);
    setenv(name, (home / sub).c_str(), 1);
  }
  return home;
}

}  // namespace bench
