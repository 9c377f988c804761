#pragma once
// The stand-in's trending strip with its sponsored items first, so that the home panel's
// first tiles carry sponsor badges (the catalogue's sponsors lie further down).

#include <algorithm>
#include <vector>

#include "standin/StandinServer.h"
#include "standin/StreamPages.h"

namespace hostile {

inline void putSponsorsFirstInTrending(StandinServer& standin) {
  standin.addRoute("GET", "/v1/trending", [](const StandinRequest& request, StandinResponse& response,
                                             const Catalogue& catalogue) {
    std::vector<const CatalogueItem*> items;
    for (const auto& item : catalogue.items()) items.push_back(&item);
    std::ranges::stable_partition(items, [](const CatalogueItem* item) { return item->badgePosition.has_value(); });
    response.setJson(StreamPages::pageJson(
        items.size(), [&](std::size_t i) -> id { return catalogue.itemObject(*items[i]); }, request));
  });
}

}  // namespace hostile
