#include "platform/foundation/NSNotification.h"

std::shared_ptr<NSNotification> NSNotification::notificationWithName(std::string name, id object,
                                                                     std::shared_ptr<NSDictionary> userInfo) {
  return create(std::move(name), std::move(object), std::move(userInfo));
}
