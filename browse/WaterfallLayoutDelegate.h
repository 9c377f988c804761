#pragma once
// Where the waterfall layout learns the sizes of its items and section headers.

#include <optional>

#include "platform/appkit/NSIndexPath.h"
#include "platform/foundation/NSGeometry.h"

class WaterfallLayoutDelegate {
 public:
  virtual ~WaterfallLayoutDelegate() = default;
  // Only the ratio width / height is used.
  virtual NSSize sizeForItemAtIndexPath(NSIndexPath indexPath) = 0;
  // Whether rectangle queries return the section headers (they take room either way).
  virtual bool shouldShowHeaders() { return false; }
  // The header's extent; none gives the header an empty frame that takes no room.
  virtual std::optional<NSSize> sizeForHeaderAtIndexPath(NSIndexPath /*indexPath*/) { return std::nullopt; }
};
