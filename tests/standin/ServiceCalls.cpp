#include "tests/standin/ServiceCalls.h"

#include <gtest/gtest.h>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"

namespace ServiceCalls {

std::string legacyWeb(int port, const std::string& pathAndQuery) {
  return "http://legacy-web.localhost:" + std::to_string(port) + pathAndQuery;
}

std::string api(int port, const std::string& pathAndQuery) {
  return "http://127.0.0.1:" + std::to_string(port) + pathAndQuery;
}

std::shared_ptr<NSDictionary> objectOf(const HttpReply& reply) {
  auto parsed = NSJSONSerialization::JSONObjectWithBytes(reply.body);
  auto object = parsed ? asA<NSDictionary>(*parsed) : nullptr;
  if (!object) {
    ADD_FAILURE() << "not a JSON object (" << reply.status << "): " << reply.body;
    return NSDictionary::make();
  }
  return object;
}

std::string signUp(int port, const std::string& username, const std::string& password) {
  auto reply = objectOf(httpGet(legacyWeb(port, "/quorb.signup?email=" + username + "@example.com&username=" + username +
                                                    "&password=" + password + "&tos=true")));
  auto auth = reply->objectForKeyAs<NSDictionary>("auth");
  auto token = auth ? auth->objectForKeyAs<NSString>("token") : nullptr;
  if (!token) {
    ADD_FAILURE() << "no token for " << username;
    return "";
  }
  return token->string();
}

std::string accountOf(int port, const std::string& token) {
  auto reply = objectOf(httpGet(legacyWeb(port, "/quorb.user?token=" + token)));
  if (auto user = reply->objectForKeyAs<NSDictionary>("user")) {
    if (auto name = user->objectForKeyAs<NSString>("username")) return name->string();
  }
  auto error = reply->objectForKeyAs<NSString>("error");
  return error ? error->string() : "no answer";
}

std::int64_t makePack(int port, const std::string& token, const std::string& name) {
  auto reply = objectOf(httpGet(legacyWeb(port, "/quorb.createcollection?token=" + token + "&name=" + name)));
  auto collection = reply->objectForKeyAs<NSDictionary>("collection");
  auto id = collection ? collection->objectForKeyAs<NSNumber>("id") : nullptr;
  if (!id) {
    ADD_FAILURE() << "no pack made";
    return 0;
  }
  return id->integerValue();
}

std::string uploadInto(int port, const std::string& token, std::int64_t pack, const std::string& gif) {
  HttpCall call{.method = "POST", .url = legacyWeb(port, "/quorb.uploadgif")};
  call.parts = {{"token", token, "", ""},
                {"collectionid", "collection-" + std::to_string(pack), "", ""},
                {"stream", "vorns", "", ""},
                {"tags", "kept wave", "", ""},
                {"file", gif, "wave.gif", "image/gif"}};
  auto reply = objectOf(perform(call));
  auto id = reply->objectForKeyAs<NSNumber>("postid");
  if (!id) {
    ADD_FAILURE() << "no upload made";
    return "";
  }
  return std::to_string(id->integerValue());
}

std::vector<std::string> packItems(int port, std::int64_t pack) {
  std::vector<std::string> ids;
  auto page = objectOf(httpGet(api(port, "/v1/collection?id=" + std::to_string(pack))));
  if (auto results = page->objectForKeyAs<NSArray>("results")) {
    for (const auto& result : *results) {
      auto item = asA<NSDictionary>(result);
      if (auto id = item ? item->objectForKeyAs<NSString>("id") : nullptr) ids.push_back(id->string());
    }
  }
  return ids;
}

}  // namespace ServiceCalls
