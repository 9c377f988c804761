#include "platform/foundation/NSObject.h"

#include <cstdio>

std::string NSObject::description() const {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, ": %p>", static_cast<const void*>(this));
  return "<" + className() + buffer;
}

bool objectsEqual(const std::shared_ptr<NSObject>& a, const std::shared_ptr<NSObject>& b) {
  if (!a || !b) return !a && !b;
  return a->isEqual(b);
}
