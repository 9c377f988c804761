#include "app/EventMonitor.h"

#include <utility>

EventMonitor::EventMonitor(NSEventMask mask, GlobalHandler globalHandler, LocalHandler localHandler)
    : mask(mask), globalHandler(std::move(globalHandler)), localHandler(std::move(localHandler)) {}

EventMonitor::~EventMonitor() { stop(); }

void EventMonitor::start() {
  stop();
  if (globalHandler) {
    // The handler is copied into the block so that it outlives a monitor object that is
    // destroyed while the platform is still calling it.
    auto handler = globalHandler;
    monitor = NSEvent::addGlobalMonitorForEventsMatchingMask(
        mask, [handler](const std::shared_ptr<NSEvent>& event) { handler(event); });
  } else if (localHandler) {
    auto handler = localHandler;
    monitor = NSEvent::addLocalMonitorForEventsMatchingMask(
        mask, [handler](const std::shared_ptr<NSEvent>& event) { return handler(event); });
  }
}

void EventMonitor::stop() {
  if (!monitor) return;
  NSEvent::removeMonitor(monitor);
  monitor.reset();
}
