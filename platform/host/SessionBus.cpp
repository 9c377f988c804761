#include "platform/host/SessionBus.h"

#include <cstdlib>
#include <filesystem>

namespace SessionBus {

bool named() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code error;
  return runtime && *runtime && std::filesystem::exists(std::filesystem::path(runtime) / "bus", error);
}

}  // namespace SessionBus
