#include "platform/appkit/NSWorkspace.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/Unicode.h"

extern char** environ;

std::shared_ptr<NSWorkspace> NSWorkspace::sharedWorkspace() {
  static auto workspace = std::shared_ptr<NSWorkspace>(new NSWorkspace());
  return workspace;
}

bool NSWorkspace::isOpenableWebAddress(const NSURL& url) {
  const std::string scheme = Unicode::lowercase(url.scheme());
  if (scheme != "http" && scheme != "https") return false;
  if (url.host().empty()) return false;
  // The parser refuses spaces and controls already; the opener gets none whatever made the URL.
  for (unsigned char c : url.absoluteString()) {
    if (c <= 0x20 || c == 0x7f) return false;
  }
  return true;
}

bool NSWorkspace::openURL(const std::shared_ptr<NSURL>& url) {
  if (!url || !isOpenableWebAddress(*url)) return false;
  auto opener = opener_;
  return opener ? opener(url) : openWithXdgOpen(url);
}

void NSWorkspace::setOpener(Opener opener) { opener_ = std::move(opener); }

bool NSWorkspace::openWithXdgOpen(const std::shared_ptr<NSURL>& url) {
  if (!url) return false;
  std::string program = "xdg-open";
  std::string address = url->absoluteString();
  char* argv[] = {program.data(), address.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t child = 0;
  int failed = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return false;
  // The opener may run for as long as the browser it starts; nobody waits on the main thread.
  std::thread([child] {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}
