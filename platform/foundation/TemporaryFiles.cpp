#include "platform/foundation/TemporaryFiles.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <unordered_set>

namespace {

struct TrackedFiles {
  std::mutex mutex;
  std::unordered_set<std::string> paths;
};

TrackedFiles& trackedFiles() {
  // Never destroyed: a network thread may still untrack a file while the exit handlers run.
  static auto* files = new TrackedFiles();
  return *files;
}

}  // namespace

void TemporaryFiles::track(const std::string& path) {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit([] { TemporaryFiles::removeAll(); }); });
  auto& files = trackedFiles();
  std::lock_guard lock(files.mutex);
  files.paths.insert(path);
}

void TemporaryFiles::untrack(const std::string& path) {
  auto& files = trackedFiles();
  std::lock_guard lock(files.mutex);
  files.paths.erase(path);
}

// A file no longer tracked was moved or handed over: its path is not looked up again (in a
// busy folder that costs as much as deleting a file), nor whatever now has its name deleted.
void TemporaryFiles::remove(const std::string& path) {
  if (path.empty()) return;
  auto& files = trackedFiles();
  std::lock_guard lock(files.mutex);
  if (files.paths.erase(path) > 0) ::unlink(path.c_str());
}

void TemporaryFiles::removeAll() {
  auto& files = trackedFiles();
  std::lock_guard lock(files.mutex);
  for (const auto& path : files.paths) ::unlink(path.c_str());
  files.paths.clear();
}

std::vector<std::string> TemporaryFiles::tracked() {
  auto& files = trackedFiles();
  std::lock_guard lock(files.mutex);
  return {files.paths.begin(), files.paths.end()};
}
