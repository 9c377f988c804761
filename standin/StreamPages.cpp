#include "standin/StreamPages.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "standin/Catalogue.h"
#include "standin/StandinRequest.h"
#include "standin/TextHelpers.h"

std::size_t StreamPages::decimalOr(std::string_view value, std::size_t fallback) {
  std::size_t out = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), out);
  if (error != std::errc() || end != value.data() + value.size()) return fallback;
  return out;
}

std::string StreamPages::pageJson(std::size_t count, const std::function<id(std::size_t)>& objectAt,
                                  const StandinRequest& request) {
  std::size_t limit = decimalOr(request.queryValue("limit").value_or(""), Catalogue::defaultPageSize);
  limit = std::clamp<std::size_t>(limit == 0 ? Catalogue::defaultPageSize : limit, 1, Catalogue::maxPageSize);
  const auto pos = request.queryValue("pos");
  const std::size_t start = !pos ? 0 : std::min(decimalOr(*pos, count), count);
  const std::size_t end = std::min(count, start + limit);
  auto results = NSArray::make();
  for (std::size_t i = start; i < end; ++i) {
    if (auto object = objectAt(i)) results->addObject(object);
  }
  const std::string next = end < count ? std::to_string(end) : "";
  auto page = NSDictionary::make({{"results", results}, {"next", standin::text(next)}});
  return NSJSONSerialization::stringWithJSONObject(page).value_or("{}");
}
