#include "platform/foundation/Paths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"

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

std::string applicationName() {
  auto bundle = NSBundle::mainBundle();
  if (auto name = asA<NSString>(bundle->objectForInfoDictionaryKey("CFBundleName"))) {
    const std::string& text = name->string();
    // A folder name: never a path of its own.
    if (!text.empty() && text != "." && text != ".." && text.find('/') == std::string::npos) return text;
  }
  return bundle->executablePath().filename().string();
}

std::filesystem::path applicationSupport() { return dataHome() / applicationName(); }
std::filesystem::path caches() { return cacheHome() / applicationName(); }
std::filesystem::path preferences() { return configHome() / applicationName(); }

std::filesystem::path temporary() {
  auto p = fromEnvironment("TMPDIR");
  return p.empty() ? std::filesystem::path("/tmp") : p;
}

}  // namespace Paths
