#include "platform/foundation/NSNull.h"

std::shared_ptr<NSNull> NSNull::null() {
  static const std::shared_ptr<NSNull> instance(new NSNull());
  return instance;
}
