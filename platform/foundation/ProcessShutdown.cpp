#include "platform/foundation/ProcessShutdown.h"

#include <link.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

namespace {

struct ShutdownRegistry {
  std::mutex mutex;  // guards the lists
  std::multimap<ProcessShutdown::Stage, std::function<void(bool)>> stoppers;
  std::vector<std::function<void()>> handlers;
  std::mutex running;  // one shutdown at a time
  std::atomic<bool> final{false};
  std::mutex arming;  // guards the two below
  bool armed = false;
  // The loader's count of libraries added when the exit handler was last registered.
  std::uint64_t armedAtLoads = 0;
};

ShutdownRegistry& shutdownRegistry() {
  // Never destroyed: the exit handler below runs while static objects are being destroyed.
  static ShutdownRegistry* const instance = new ShutdownRegistry();
  return *instance;
}

thread_local bool processShutdownHere = false;

void shutDownProcess(bool final) {
  ShutdownRegistry& r = shutdownRegistry();
  // A stopper or handler that ends up here again (or calls exit) must not wait for itself.
  if (processShutdownHere) return;
  processShutdownHere = true;
  {
    std::lock_guard serial(r.running);
    // Exit handlers may hold this more than once; the first final run does the work.
    if (final && r.final.exchange(true)) {
      processShutdownHere = false;
      return;
    }
    std::vector<std::function<void(bool)>> stoppers;
    std::vector<std::function<void()>> handlers;
    {
      std::lock_guard lock(r.mutex);
      for (const auto& [stage, stop] : r.stoppers) stoppers.push_back(stop);
      handlers.assign(r.handlers.rbegin(), r.handlers.rend());
    }
    for (const auto& stop : stoppers) stop(final);
    for (const auto& handler : handlers) handler();
  }
  processShutdownHere = false;
}

void shutDownAtExit() { shutDownProcess(true); }

// How many shared objects the dynamic loader has added since the process began. Handlers
// registered since the stop's registration are what would run ahead of it, and what
// registers them after the start is a library opened late (libcurl opened by the first
// transfer, with its TLS library, registers one when it initialises; so may FFmpeg or a
// GTK module). The count is the first object's and the walk stops there.
std::uint64_t librariesAdded() {
  std::uint64_t adds = 0;
  ::dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t size, void* out) {
        if (size >= offsetof(dl_phdr_info, dlpi_subs)) *static_cast<std::uint64_t*>(out) = info->dlpi_adds;
        return 1;
      },
      &adds);
  return adds;
}

}  // namespace

namespace ProcessShutdown {

void registerStopper(Stage stage, std::function<void(bool final)> stop) {
  ShutdownRegistry& r = shutdownRegistry();
  std::lock_guard lock(r.mutex);
  r.stoppers.emplace(stage, std::move(stop));
}

// Every registration stays in the process's list until it exits, so registering at each
// thread start would grow the list without bound. Once registered, the stop is registered
// again only when a library has been opened since: the handlers that matter are libraries'
// (the process's own objects that threads reach are never destroyed, see the header).
void armAtExit() {
  ShutdownRegistry& r = shutdownRegistry();
  if (r.final.load()) return;
  std::lock_guard lock(r.arming);
  const std::uint64_t loads = librariesAdded();
  if (r.armed && loads == r.armedAtLoads) return;
  if (std::atexit(shutDownAtExit) != 0) return;
  r.armed = true;
  r.armedAtLoads = loads;
}

void atShutdown(std::function<void()> handler) {
  ShutdownRegistry& r = shutdownRegistry();
  std::lock_guard lock(r.mutex);
  r.handlers.push_back(std::move(handler));
}

void run() { shutDownProcess(false); }

void finalRun() { shutDownProcess(true); }

bool isFinal() { return shutdownRegistry().final.load(); }

}  // namespace ProcessShutdown
