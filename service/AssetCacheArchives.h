#pragma once
// The media cache's two archives ("recentShareMap", its keys' files, and "orderList", its keys
// oldest first) as the bytes the keyed archiver writes for a dictionary of texts to file URLs
// and an array of texts: a binary property list in the keyed-archive layout, which the keyed
// unarchiver reads back as before. Written straight, without the archiver's trees of objects:
// the cache rewrites both after every page of downloads, and the general path cost more than
// the downloads. Nothing for what this writer does not handle (a text that is not ASCII, a URL
// with a base), which the general archiver then writes.

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/foundation/NSURL.h"

class AssetCacheArchives {
 public:
  using Mapping = std::unordered_map<std::string, std::shared_ptr<NSURL>>;
  static std::optional<std::string> archivedMapping(const Mapping& mapping);
  static std::optional<std::string> archivedOrder(const std::vector<std::string>& order);
};
