#include "standin/ServiceRoutes.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "standin/StandinServer.h"
#include "standin/StreamPages.h"
#include "standin/TextHelpers.h"

using standin::text;
using standin::lower;

namespace {

using Items = std::vector<const CatalogueItem*>;

std::string json(const id& object) { return NSJSONSerialization::stringWithJSONObject(object).value_or("{}"); }

std::string pageJson(const Catalogue& catalogue, const Items& items, const StandinRequest& request) {
  return StreamPages::pageJson(items.size(), [&](std::size_t i) -> id { return catalogue.itemObject(*items[i]); }, request);
}

// A user's posts, newest first, as the service's search for "@name" lists them: the GIFs the
// account of that name uploaded here, then the catalogue's posts of a user of that name.
std::vector<std::string> postsOf(const StandinState& state, const Catalogue& catalogue, std::string_view username) {
  std::vector<std::string> ids = state.uploadsBy(std::string(username));
  for (const auto& item : catalogue.items()) {
    if (item.user && lower(catalogue.users()[*item.user].username) == lower(username)) ids.push_back(item.id);
  }
  return ids;
}

Items byShares(const Catalogue& catalogue) {
  Items found;
  for (const auto& item : catalogue.items()) found.push_back(&item);
  std::stable_sort(found.begin(), found.end(), [](auto* a, auto* b) { return a->shares > b->shares; });
  return found;
}

// Every tag of the catalogue once, in the order items first use them.
std::vector<std::string> allTags(const Catalogue& catalogue) {
  std::vector<std::string> tags;
  std::set<std::string> seen;
  for (const auto& item : catalogue.items()) {
    for (const auto& tag : item.tags) {
      if (seen.insert(tag).second) tags.push_back(tag);
    }
  }
  return tags;
}

const CatalogueItem* coverFor(const Catalogue& catalogue, const std::string& tag) {
  auto found = catalogue.search(tag);
  return found.empty() ? nullptr : found.front();
}

std::string coverURL(const Catalogue& catalogue, const std::string& tag) {
  auto item = coverFor(catalogue, tag);
  return item ? catalogue.mediaURL(*item, "tinygif") : std::string();
}

void answerTags(const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
  const std::string type = request.queryValue("type").value_or("");
  const auto tags = allTags(catalogue);
  // Each list is its own slice of the catalogue's tags, so the four lists differ.
  std::size_t first = 0;
  if (type == "featured") first = 0;
  else if (type == "trending") first = 8;
  else if (type == "explore") first = 16;
  else if (type == "emoji") first = 24;
  else {
    response.setError(400, "unknown tag type");
    return;
  }
  static const char* const emoji[] = {"😀", "😂", "😍", "😎", "😢", "😡", "👍", "🎉"};
  auto list = NSArray::make();
  for (std::size_t i = 0; i < 8 && first + i < tags.size(); ++i) {
    const std::string& tag = tags[first + i];
    auto object = NSDictionary::make({{"name", text(tag)},
                                      {"image", text(coverURL(catalogue, tag))},
                                      {"path", text(catalogue.baseURL() + "/v1/tagstream/" + percentEncoded(tag, URLPathAllowedCharacterSet().removing("/")))},
                                      {"searchterm", text(tag)},
                                      {"copymsg", text("#" + tag)}});
    if (type == "emoji") object->setObject(text(emoji[i]), "character");
    list->addObject(object);
  }
  response.setJson(json(NSDictionary::make({{"tags", list}})));
}

void answerSimilar(const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
  const std::string term = request.queryValue("tag").value_or("");
  auto related = NSArray::make();
  std::set<std::string> seen{lower(term)};
  for (const auto* item : catalogue.search(term)) {
    for (const auto& tag : item->tags) {
      if (related->count() >= 10 || !seen.insert(lower(tag)).second) continue;
      related->addObject(NSDictionary::make({{"tag", text(tag)}, {"image", text(coverURL(catalogue, tag))}}));
    }
  }
  // Corrections: catalogue tags that share the term's first letter, when the term itself
  // finds nothing.
  auto corrections = NSDictionary::make();
  if (!term.empty() && catalogue.search(term).empty()) {
    for (const auto& tag : allTags(catalogue)) {
      if (corrections->count() >= 3) break;
      if (std::tolower(static_cast<unsigned char>(tag.front())) == std::tolower(static_cast<unsigned char>(term.front()))) {
        corrections->setObject(text(coverURL(catalogue, tag)), tag);
      }
    }
  }
  auto results = NSDictionary::make({{"corrections", corrections}});
  results->setObject(related, term);
  response.setJson(json(NSDictionary::make({{"results", results}})));
}

void answerSuggest(const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
  const std::string prefix = lower(request.queryValue("tag").value_or(""));
  const std::size_t limit = std::min<std::size_t>(StreamPages::decimalOr(request.queryValue("limit").value_or(""), 30), 50);
  auto results = NSArray::make();
  for (const auto& tag : allTags(catalogue)) {
    if (results->count() >= limit) break;
    if (lower(tag).starts_with(prefix)) results->addObject(text(tag));
  }
  response.setJson(json(NSDictionary::make({{"results", results}})));
}

void answerUpload(const StandinRequest& request, StandinResponse& response, const Catalogue&) {
  if (request.parts.empty() && !request.body.empty()) {
    response.setError(400, "the body is not multipart/form-data");
    return;
  }
  auto parts = NSArray::make();
  for (const auto& part : request.parts) {
    parts->addObject(NSDictionary::make({{"name", text(part.name)},
                                         {"filename", text(part.filename)},
                                         {"contentType", text(part.contentType)},
                                         {"size", NSNumber::numberWithInteger(static_cast<std::int64_t>(part.content.size()))}}));
  }
  response.setJson(json(NSDictionary::make({{"status", text("ok")}, {"parts", parts}})));
}

void answerOk(const StandinRequest&, StandinResponse& response, const Catalogue&) {
  response.setJson(R"({"status":"ok"})");
}

}  // namespace

void ServiceRoutes::addTo(StandinServer& server) {
  std::shared_ptr<StandinState> state = server.sharedState();
  server.addRoute("GET", "/v1/search", [state](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
    const std::string term = request.queryValue("tag").value_or("");
    if (term.starts_with("@")) {
      const auto ids = postsOf(*state, catalogue, std::string_view(term).substr(1));
      response.setJson(StreamPages::pageJson(
          ids.size(), [&](std::size_t i) -> id { return state->itemObject(catalogue, ids[i]); }, request));
      return;
    }
    response.setJson(pageJson(catalogue, catalogue.search(term), request));
  });
  server.addRoute("GET", "/v1/trending", [](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
    response.setJson(pageJson(catalogue, byShares(catalogue), request));
  });
  server.addRoute("GET", "/v1/tags", answerTags);
  server.addRoute("GET", "/v1/tagstream/(.+)", [](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
    const std::string term = request.matches.empty() ? std::string() : request.matches.front();
    response.setJson(pageJson(catalogue, catalogue.search(term), request));
  });
  server.addRoute("GET", "/v1/similar", answerSimilar);
  server.addRoute("GET", "/v1/suggest", answerSuggest);
  server.addRoute("GET", "/quorb\\.quorbid", [](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    response.setJson(json(NSDictionary::make({{"quorbid", text(std::string(installId))}})));
  });
  server.addRoute("GET", "/quorb\\.registerevent/.+", answerOk);
  server.addRoute("GET", "/quorb\\.registertoken", answerOk);
  server.addRoute("POST", "/quorb\\.upload", answerUpload);
  server.addRoute("POST", "/v1/upload", answerUpload);
}
