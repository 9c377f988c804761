#include "platform/appkit/NSIndexPath.h"

std::string NSIndexPath::description() const {
  return "{section " + std::to_string(section) + ", item " + std::to_string(item) + "}";
}
