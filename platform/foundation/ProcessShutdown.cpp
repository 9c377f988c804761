#include "platform/foundation/ProcessShutdown.h"

#include <atomic>
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

}  // namespace

namespace ProcessShutdown {

void registerStopper(Stage stage, std::function<void(bool final)> stop) {
  ShutdownRegistry& r = shutdownRegistry();
  std::lock_guard lock(r.mutex);
  r.stoppers.emplace(stage, std::move(stop));
}

void armAtExit() {
  if (!shutdownRegistry().final.load()) std::atexit(shutDownAtExit);
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
