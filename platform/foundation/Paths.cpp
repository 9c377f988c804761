#include "platform/foundation/Paths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {
std::filesystem::path fromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  // The XDG rules ignore relative paths.
  if (value && *value == '/') return value;
  return {};
}
}  // namespace

namespace Paths {

std::filesystem::path home() {
  if (auto h = fromEnvironment("HOME"); !h.empty()) return h;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

std::filesystem::path dataHome() {
  auto p = fromEnvironment("XDG_DATA_HOME");
  return p.empty() ? home() / ".local/share" : p;
}

std::filesystem::path cacheHome() {
  auto p = fromEnvironment("XDG_CACHE_HOME");
  return p.empty() ? home() / ".cache" : p;
}

std::filesystem::path configHome() {
  auto p = fromEnvironment("XDG_CONFIG_HOME");
  return p.empty() ? home() / ".config" : p;
}

std::filesystem::path applicationSupport() { return dataHome() / kApplicationFolder; }
std::filesystem::path caches() { return cacheHome() / kApplicationFolder; }
std::filesystem::path preferences() { return configHome() / kApplicationFolder; }

std::filesystem::path temporary() {
  auto p = fromEnvironment("TMPDIR");
  return p.empty() ? std::filesystem::path("/tmp") : p;
}

}  // namespace Paths
