#include "platform/appkit/WindowServer.h"

#include <mutex>

namespace {
std::mutex serverMutex;
std::shared_ptr<WindowServer>& installedServer() {
  static std::shared_ptr<WindowServer> server;
  return server;
}
}  // namespace

std::shared_ptr<WindowServer> WindowServer::current() {
  std::lock_guard lock(serverMutex);
  return installedServer();
}

void WindowServer::setCurrent(std::shared_ptr<WindowServer> server) {
  std::lock_guard lock(serverMutex);
  installedServer() = std::move(server);
}
