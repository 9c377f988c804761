#pragma once
// The waterfall placement written out step by step, the slow obvious way: one pass over
// every section and item with maps keyed by index path and a linear rectangle filter. The
// layout's incremental and indexed answers are checked against it.

#include <map>
#include <optional>
#include <vector>

#include "platform/appkit/NSIndexPath.h"
#include "platform/foundation/NSGeometry.h"

struct WaterfallOracle {
  long streamCount = 2;
  double cellSpacing = 10, streamSpacing = 10, expansionRatio = 1.3;
  bool columns = true, expansive = true;
  double cross = 0;
  // Per section: the header size (none: the delegate gives no header size) and item sizes.
  std::vector<std::optional<NSSize>> headers{};
  std::vector<std::vector<NSSize>> items{};

  std::map<NSIndexPath, NSRect> cache{}, supplementaryCache{};
  std::vector<double> streamLength{};

  void prepare();
  double maxLength() const;
  // Frames meeting the rectangle: headers (when shown), then items.
  std::vector<std::pair<NSIndexPath, NSRect>> elementsInRect(NSRect r, bool showHeaders) const;
};
