#include "platform/appkit/NSApplicationMain.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/foundation/DispatchQueue.h"

namespace {
int stopPipe[2] = {-1, -1};

// Any thread may take the signal: the handler only writes a byte, which is safe there.
void noteStop(int) {
  int saved = errno;
  char byte = 1;
  (void)!::write(stopPipe[1], &byte, 1);
  errno = saved;
}

void terminateOnStopRequests() {
  if (stopPipe[0] >= 0 || ::pipe(stopPipe) != 0) return;
  std::thread([] {
    char byte;
    while (true) {
      ssize_t n = ::read(stopPipe[0], &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      DispatchQueue::main()->async([] { NSApplication::sharedApplication()->terminate(nullptr); });
    }
  }).detach();
  struct sigaction action {};
  action.sa_handler = noteStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}
}  // namespace

int NSApplicationMain(int, char**, const std::shared_ptr<NSApplicationDelegate>& delegate) {
  terminateOnStopRequests();
  auto app = NSApplication::sharedApplication();
  app->setActivationPolicy(NSApplicationActivationPolicy::accessory);
  app->setDelegate(delegate);
  app->run();
  return 0;
}
