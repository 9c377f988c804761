#include "standin/CollectionRoutes.h"

#include <algorithm>
#include <variant>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSURL.h"
#include "standin/GifMaker.h"
#include "standin/ServiceBase.h"
#include "standin/StandinServer.h"
#include "standin/StreamPages.h"
#include "standin/TextHelpers.h"

using standin::text;
using standin::wholeNumber;

namespace {

using State = std::shared_ptr<StandinState>;

std::string jsonOf(const id& object) { return NSJSONSerialization::stringWithJSONObject(object).value_or("{}"); }

// A query parameter, or for a multipart body the text part of that name.
std::optional<std::string> field(const StandinRequest& request, std::string_view name) {
  if (const auto* part = request.part(name)) return part->content;
  return request.queryValue(name);
}

std::vector<std::string> splitOn(std::string_view text, char separator) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

void ok(StandinResponse& response) { response.setJson(R"({"status":"ok"})"); }

// One page of items by id, as the streams answer.
void answerPage(const StandinState& state, const Catalogue& catalogue, const std::vector<std::string>& ids,
                const StandinRequest& request, StandinResponse& response) {
  response.setJson(StreamPages::pageJson(
      ids.size(), [&](std::size_t i) -> id { return state.itemObject(catalogue, ids[i]); }, request));
}

// A route that answers only on `base`, and only for a signed-in user when `signedIn` is set.
using Handler = std::function<void(const StandinRequest&, StandinResponse&, const Catalogue&, const std::optional<StandinUser>&)>;
enum class Access { anyone, signedIn };

void route(StandinServer& server, const State& state, std::string method, const std::string& pattern, ServiceBase base,
           Access access, Handler handler) {
  server.addRoute(std::move(method), pattern,
                  [state, base, access, handler](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
                    if (serviceBaseOf(request) != base) {
                      response.setError(404, "Not Found");
                      return;
                    }
                    std::optional<StandinUser> user;
                    if (auto token = field(request, "token")) user = state->accounts().userForToken(*token);
                    if (!user) {
                      if (auto token = field(request, "access_token")) user = state->accounts().userForToken(*token);
                    }
                    if (access == Access::signedIn && !user) {
                      response.setLoginRequired(401);
                      return;
                    }
                    handler(request, response, catalogue, user);
                  });
}

// Puts an item into the collection that "collectionid" and "stream" name; the error text, or
// nothing when it went in.
std::optional<std::string> addToTarget(StandinState& state, const StandinRequest& request, const StandinUser& user,
                                       const std::string& itemId) {
  const std::string target = field(request, "collectionid").value_or("");
  const std::string stream = field(request, "stream").value_or("");
  if (stream == "favoritevorns") {
    state.setLiked(user.userid, itemId, true);
    return std::nullopt;
  }
  if (target.starts_with("collection-") && stream == "vorns") {
    auto pack = wholeNumber(std::string_view(target).substr(11));
    auto collection = pack ? state.collection(*pack) : std::nullopt;
    if (!collection || collection->owner != user.userid) return "no such pack of yours";
    state.addToCollection(*pack, itemId);
    return std::nullopt;
  }
  if (target == "quorbuser-" + std::to_string(user.userid)) {
    state.addSaved(user.userid, itemId);
    return std::nullopt;
  }
  return "unknown collection";
}

// The bytes of a GIF posted by address: the stand-in's own media when the address names them,
// otherwise a small generated GIF (the stand-in fetches nothing from elsewhere).
std::string bytesForAddress(const Catalogue& catalogue, const std::string& address) {
  if (auto parts = URLParts::parse(address); parts && parts->path.starts_with("/media/")) {
    if (auto file = catalogue.mediaFile(parts->path); file && file->size() <= (8u << 20)) return file->bytes();
  }
  return GifMaker::animated(GifMaker::Look{});
}

bool isGif(std::string_view bytes) { return bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a"); }

// A GIF upload, from the file part or from "url"; the error text when it is neither.
std::variant<StandinUpload, std::string> uploadFrom(const StandinRequest& request, const Catalogue& catalogue,
                                                    std::vector<std::string> tags, std::optional<std::int64_t> uploader,
                                                    bool sticker) {
  StandinUpload upload;
  if (const auto* file = request.part("file")) {
    if (!isGif(file->content)) return std::string("the file is not a GIF");
    upload.bytes = file->content;
  } else if (auto address = field(request, "url"); address && !address->empty()) {
    upload.bytes = bytesForAddress(catalogue, *address);
    upload.sourceURL = *address;
  } else {
    return std::string("neither a file nor a url");
  }
  upload.tags = std::move(tags);
  upload.uploader = uploader;
  upload.sticker = sticker;
  if (auto source = field(request, "stickersource")) upload.stickerSource = *source;
  return upload;
}

void answerNewPost(StandinState& state, const StandinRequest& request, StandinResponse& response,
                   const Catalogue& catalogue, const StandinUser& user, bool sticker) {
  auto made = uploadFrom(request, catalogue, splitOn(field(request, "tags").value_or(""), ' '), user.userid, sticker);
  if (auto* error = std::get_if<std::string>(&made)) {
    response.setError(400, *error);
    return;
  }
  auto itemId = state.addUpload(std::get<StandinUpload>(std::move(made)));
  if (auto error = addToTarget(state, request, user, itemId)) {
    response.setError(403, *error);
    return;
  }
  response.setJson(jsonOf(NSDictionary::make({{"postid", NSNumber::numberWithInteger(*wholeNumber(itemId))}})));
}

// The anonymous pack that "channelid" ("pack-<id>") names, when "pack_token" opens it.
std::optional<std::int64_t> openedPack(const StandinState& state, const StandinRequest& request) {
  const std::string channel = field(request, "channelid").value_or("");
  if (!channel.starts_with("pack-")) return std::nullopt;
  auto pack = wholeNumber(std::string_view(channel).substr(5));
  auto collection = pack ? state.collection(*pack) : std::nullopt;
  if (!collection || !collection->packToken || field(request, "pack_token") != collection->packToken) return std::nullopt;
  return pack;
}

}  // namespace

void CollectionRoutes::addTo(StandinServer& server) {
  State state = server.sharedState();
  const auto web = ServiceBase::legacyWeb;
  route(server, state, "GET", "/quorb\\.like", web, Access::signedIn,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue&, const std::optional<StandinUser>& user) {
          state->setLiked(user->userid, request.queryValue("pid").value_or(""), request.queryValue("remove") != "true");
          ok(response);
        });
  route(server, state, "GET", "/quorb\\.makevornpost", web, Access::signedIn,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue,
                const std::optional<StandinUser>& user) {
          if (auto postid = request.queryValue("postid")) {
            if (!state->itemObject(catalogue, *postid)) {
              response.setError(404, "no such post");
            } else if (auto error = addToTarget(*state, request, *user, *postid)) {
              response.setError(403, *error);
            } else {
              response.setJson(jsonOf(NSDictionary::make({{"postid", NSNumber::numberWithInteger(wholeNumber(*postid).value_or(0))}})));
            }
            return;
          }
          answerNewPost(*state, request, response, catalogue, *user, false);
        });
  for (const char* path : {"/quorb\\.uploadgif", "/quorb\\.uploadsticker"}) {
    const bool sticker = std::string_view(path).ends_with("sticker");
    route(server, state, "POST", path, web, Access::signedIn,
          [state, sticker](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue,
                           const std::optional<StandinUser>& user) {
            if (!request.part("file")) {
              response.setError(400, "no file");
              return;
            }
            answerNewPost(*state, request, response, catalogue, *user, sticker);
          });
  }
  route(server, state, "GET", "/quorb\\.removepost", web, Access::signedIn,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue&, const std::optional<StandinUser>& user) {
          state->removePost(user->userid, request.queryValue("pid").value_or(""));
          ok(response);
        });
  route(server, state, "GET", "/quorb\\.createcollection", web, Access::signedIn,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue,
                const std::optional<StandinUser>& user) {
          auto name = request.queryValue("name").value_or("");
          if (name.empty()) {
            response.setError(400, "no name");
            return;
          }
          auto pack = state->createCollection(name, user->userid, request.queryValue("public") == "true");
          response.setJson(jsonOf(NSDictionary::make(
              {{"collection", NSDictionary::make({{"id", NSNumber::numberWithInteger(pack)},
                                                  {"url", text(catalogue.baseURL() + "/pack/" + std::to_string(pack))}})}})));
        });
  route(server, state, "GET", "/quorb\\.removecollection", web, Access::signedIn,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue&, const std::optional<StandinUser>& user) {
          auto pack = wholeNumber(request.queryValue("collectionid").value_or(""));
          if (!pack || !state->removeCollection(*pack, user->userid)) return response.setError(404, "no such pack of yours");
          ok(response);
        });
  for (const char* path : {"/quorb\\.subscribe", "/quorb\\.unsubscribe"}) {
    const bool subscribe = !std::string_view(path).contains("unsubscribe");
    route(server, state, "GET", path, web, Access::signedIn,
          [state, subscribe](const StandinRequest& request, StandinResponse& response, const Catalogue&,
                             const std::optional<StandinUser>& user) {
            auto pack = wholeNumber(request.queryValue("collectionid").value_or(""));
            if (!pack || !state->subscribe(*pack, user->userid, subscribe)) return response.setError(404, "no such pack to follow");
            ok(response);
          });
  }

  route(server, state, "GET", "/v1/collect", ServiceBase::legacyApi, Access::anyone,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue, const std::optional<StandinUser>&) {
          auto pack = openedPack(*state, request);
          auto item = request.queryValue("id").value_or("");
          if (!pack) return response.setError(403, "wrong pack or pack token");
          if (!state->itemObject(catalogue, item)) return response.setError(404, "no such post");
          state->addToCollection(*pack, item);
          ok(response);
        });

  const auto api = ServiceBase::api;
  route(server, state, "POST", "/v1/upload", api, Access::anyone,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue, const std::optional<StandinUser>&) {
          std::optional<std::int64_t> pack;
          if (field(request, "channelid")) {
            pack = openedPack(*state, request);
            if (!pack) return response.setError(403, "wrong pack or pack token");
          }
          auto made = uploadFrom(request, catalogue, splitOn(field(request, "tags").value_or(""), ','), std::nullopt,
                                 field(request, "stickersource").has_value());
          if (auto* error = std::get_if<std::string>(&made)) return response.setError(400, *error);
          auto itemId = state->addUpload(std::get<StandinUpload>(std::move(made)));
          if (pack) state->addToCollection(*pack, itemId);
          response.setJson(jsonOf(NSDictionary::make({{"itemid", NSNumber::numberWithInteger(*wholeNumber(itemId))}})));
        });
  route(server, state, "GET", "/v1/createpack", api, Access::anyone,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue, const std::optional<StandinUser>&) {
          auto title = request.queryValue("title").value_or("");
          if (title.empty()) return response.setError(400, "no title");
          // Pack tokens only need to differ from each other.
          auto packToken = "pt" + std::to_string(state->collections().size() + 1) + "-" + std::to_string(std::hash<std::string>{}(title) % 100000);
          auto pack = state->createCollection(title, std::nullopt, false, packToken);
          response.setJson(jsonOf(NSDictionary::make({{"id", NSNumber::numberWithInteger(pack)},
                                                      {"token", text(packToken)},
                                                      {"url", text(catalogue.baseURL() + "/pack/" + std::to_string(pack))}})));
        });
  route(server, state, "GET", "/v1/claimpack", api, Access::signedIn,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue&, const std::optional<StandinUser>& user) {
          auto pack = wholeNumber(request.queryValue("id").value_or(""));
          if (!pack || !state->claim(*pack, request.queryValue("pack_token").value_or(""), user->userid)) {
            return response.setError(403, "the pack cannot be claimed");
          }
          ok(response);
        });
  route(server, state, "GET", "/v1/userliked", api, Access::signedIn,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue, const std::optional<StandinUser>& user) {
          answerPage(*state, catalogue, state->liked(user->userid), request, response);
        });
  route(server, state, "GET", "/v1/usersaved", api, Access::signedIn,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue, const std::optional<StandinUser>& user) {
          answerPage(*state, catalogue, state->saved(user->userid), request, response);
        });
  route(server, state, "GET", "/v1/collection", api, Access::anyone,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue, const std::optional<StandinUser>&) {
          auto pack = wholeNumber(request.queryValue("id").value_or(""));
          auto collection = pack ? state->collection(*pack) : std::nullopt;
          if (!collection) return response.setError(404, "no such pack");
          answerPage(*state, catalogue, collection->items, request, response);
        });
  route(server, state, "GET", "/uploads/([0-9]+)\\.gif", api, Access::anyone,
        [state](const StandinRequest& request, StandinResponse& response, const Catalogue&, const std::optional<StandinUser>&) {
          auto upload = state->upload(request.matches.empty() ? "" : request.matches.front());
          if (!upload) return response.setError(404, "Not Found");
          response.setText(upload->bytes, "image/gif");
        });
}
