#pragma once
// One page of a stream as the service answers it: {"results": [...], "next": "<pos>"}, where
// the query's "pos" is the decimal offset of the page (none is the first page; "" or
// anything else that is no offset asks after the last), "limit" its size (none or 0 the
// catalogue's default, at most its maximum) and "next" is "" after the last page.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

struct StandinRequest;

namespace StreamPages {

// A whole decimal number, or the fallback for anything else ("", "-1", "12a").
std::size_t decimalOr(std::string_view value, std::size_t fallback);

// The page of a stream of `count` items, the item at an index made by `objectAt` (an item
// it answers none for is left out of the page).
std::string pageJson(std::size_t count, const std::function<id(std::size_t)>& objectAt, const StandinRequest& request);

}  // namespace StreamPages
