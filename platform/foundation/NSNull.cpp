#include "platform/foundation/NSNull.h"

std::shared_ptr<NSNull> NSNull::null() {
  // Never destroyed: any thread may parse a null (ProcessShutdown.h).
  static const std::shared_ptr<NSNull>& instance = *new std::shared_ptr<NSNull>(new NSNull());
  return instance;
}
