#include "sdk/foundation/Murvane.h"

#include <algorithm>

std::shared_ptr<Murvane> Murvane::sharedInstance() {
  static const std::shared_ptr<Murvane> shared = create();
  return shared;
}

std::shared_ptr<Murvane> Murvane::with(const std::vector<MurvaneKitClass>& kits) {
  auto shared = sharedInstance();
  // Held while kits start, so two callers racing with the same kit cannot both start it.
  std::lock_guard lock(shared->mutex_);
  for (MurvaneKitClass kit : kits) {
    if (kit == nullptr) continue;
    if (std::ranges::find(shared->started_, kit) != shared->started_.end()) continue;
    shared->started_.push_back(kit);
    kit->start();
  }
  return shared;
}

bool Murvane::hasStarted(MurvaneKitClass kit) const {
  std::lock_guard lock(mutex_);
  return std::ranges::find(started_, kit) != started_.end();
}
