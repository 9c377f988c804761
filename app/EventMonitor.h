#pragma once
// One event monitor of the platform, installed and removed on demand: the popover closes on
// clicks in other applications through a global one, the autosuggest strip collapses on
// clicks outside it through a local one.

#include <functional>
#include <memory>

#include "platform/appkit/NSEvent.h"

class EventMonitor {
 public:
  // Sees events of other applications.
  using GlobalHandler = std::function<void(const std::shared_ptr<NSEvent>&)>;
  // Sees events of this application; what it answers is handed on (empty swallows).
  using LocalHandler = std::function<std::shared_ptr<NSEvent>(const std::shared_ptr<NSEvent>&)>;

  EventMonitor(NSEventMask mask, GlobalHandler globalHandler, LocalHandler localHandler = nullptr);
  ~EventMonitor();
  EventMonitor(const EventMonitor&) = delete;
  EventMonitor& operator=(const EventMonitor&) = delete;

  // Installs the monitor (removing an installed one first, so there is never more than one).
  // The global handler wins when both are set.
  void start();
  void stop();
  bool isInstalled() const { return monitor != nullptr; }

 private:
  std::shared_ptr<NSObject> monitor;
  NSEventMask mask;
  GlobalHandler globalHandler;
  LocalHandler localHandler;
};
