// Every call that needs a signed-in user answers a token that is not a valid one, whatever is
// wrong with it, with the service's request to log in again, and changes nothing.

#include <gtest/gtest.h>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "tests/support/HttpGet.h"
#include "tests/support/StandinFixture.h"

namespace {

// The reply's "login" entry under "error", or what the reply was instead.
std::string loginAskedIn(const HttpReply& reply) {
  auto parsed = NSJSONSerialization::JSONObjectWithBytes(reply.body);
  auto object = parsed ? asA<NSDictionary>(*parsed) : nullptr;
  auto error = object ? object->objectForKeyAs<NSDictionary>("error") : nullptr;
  auto login = error ? error->objectForKeyAs<NSString>("login") : nullptr;
  return login ? login->string() : "not asked: " + reply.body;
}

class TokenReplyTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    auto& accounts = standin().state().accounts();
    amy = accounts.seedUser("amy", "pw");
    accounts.seedToken(kValid, amy.userid, clock().now() + 3600);
    accounts.seedToken("amy-expired", amy.userid, clock().now() - 1);
    accounts.seedToken("amy-ended", amy.userid);
    ASSERT_TRUE(accounts.revokeToken("amy-ended"));
    pack = standin().state().createCollection("Cats", amy.userid);
    anonymous = standin().state().createCollection("Loose", std::nullopt, false, "pack-secret");
  }
  // The call of one route with the token (none: without the token at all).
  HttpReply call(const std::string& route, const std::optional<std::string>& token) {
    const std::string port = std::to_string(standin().port());
    const std::string item = standin().catalogue().items()[1].id;
    const std::string web = "http://legacy-web.localhost:" + port, api = "http://127.0.0.1:" + port;
    if (route.starts_with("POST ")) {
      HttpCall post{.method = "POST", .url = web + route.substr(5)};
      if (token) post.parts.push_back({"token", *token, "", ""});
      post.parts.push_back({"collectionid", "collection-" + std::to_string(pack), "", ""});
      post.parts.push_back({"stream", "vorns", "", ""});
      post.parts.push_back({"file", std::string("GIF89a\x01\x00\x01\x00", 10), "image.gif", "image/gif"});
      return perform(post);
    }
    const bool onApi = route.starts_with("/v1/");
    std::string query = route;
    for (auto [name, value] : {std::pair<std::string, std::string>{"{pack}", std::to_string(pack)},
                               {"{anonymous}", std::to_string(anonymous)},
                               {"{item}", item},
                               {"{user}", std::to_string(amy.userid)}}) {
      for (auto at = query.find(name); at != std::string::npos; at = query.find(name)) query.replace(at, name.size(), value);
    }
    if (token) query += (query.contains('?') ? "&" : "?") + std::string(onApi ? "access_token=" : "token=") + percentEncoded(*token, URLQueryAllowedCharacterSet().removing("&=+"));
    return httpGet((onApi ? api : web) + query);
  }

  static constexpr const char* kValid = "amy-valid";
  StandinUser amy;
  std::int64_t pack = 0, anonymous = 0;
};

TEST_F(TokenReplyTest, EveryTokenThatIsNotAValidOneIsAskedToLogInAndChangesNothing) {
  struct Route {
    std::string call;
    long status;  // of the request to log in
  };
  // The account calls answer as the service does, with 200; the others with 401.
  const Route routes[] = {
      {"/quorb.user", 200},
      {"/quorb.accepttos?tos=true", 200},
      {"/quorb.unauthorize", 200},
      {"/quorb.like?pid={item}&remove=false", 401},
      {"/quorb.makevornpost?collectionid=collection-{pack}&stream=vorns&postid={item}", 401},
      {"/quorb.makevornpost?collectionid=quorbuser-{user}&stream=vorns&url=http://example.com/a.gif", 401},
      {"/quorb.removepost?pid={item}", 401},
      {"/quorb.createcollection?name=Dogs", 401},
      {"/quorb.removecollection?collectionid={pack}", 401},
      {"/quorb.subscribe?collectionid={pack}", 401},
      {"/quorb.unsubscribe?collectionid={pack}", 401},
      {"POST /quorb.uploadgif", 401},
      {"POST /quorb.uploadsticker", 401},
      {"/v1/claimpack?id={anonymous}&pack_token=pack-secret", 401},
      {"/v1/userliked", 401},
      {"/v1/usersaved", 401},
  };
  const std::string valid = kValid;
  const struct {
    const char* name;
    std::optional<std::string> token;
  } tokens[] = {
      {"none", std::nullopt},
      {"empty", ""},
      {"never issued", "tok-1234567890"},
      {"ended", "amy-ended"},
      {"expired", "amy-expired"},
      {"a valid one and more", valid + "x"},
      {"a valid one in capitals", "AMY-VALID"},
      {"a valid one cut short", valid.substr(0, valid.size() - 1)},
      {"a NUL inside a valid one", valid.substr(0, 3) + std::string(1, '\0') + valid.substr(3)},
      {"bytes that are not UTF-8", "\xff\xfe\x80"},
      {"two kilobytes", std::string(2048, 'a')},
  };
  const auto before = NSJSONSerialization::stringWithJSONObject(standin().state().stateObject()).value_or("");
  for (const auto& route : routes) {
    for (const auto& token : tokens) {
      // The expired token is forgotten by the log-out: it is seeded anew for each call.
      standin().state().accounts().seedToken("amy-expired", amy.userid, clock().now() - 1);
      auto reply = call(route.call, token.token);
      EXPECT_EQ(reply.status, route.status) << route.call << ", token " << token.name << ": " << reply.body;
      EXPECT_EQ(loginAskedIn(reply), "requred") << route.call << ", token " << token.name;
    }
  }
  EXPECT_EQ(NSJSONSerialization::stringWithJSONObject(standin().state().stateObject()).value_or(""), before);
  EXPECT_EQ(standin().state().accounts().tokensOf(amy.userid), (std::vector<std::string>{kValid, "amy-expired"}));

  // The same calls with the valid token are not asked to log in (the log-out last: it ends it).
  for (const auto& route : routes) {
    if (route.call == "/quorb.unauthorize") continue;
    auto reply = call(route.call, valid);
    EXPECT_FALSE(reply.body.contains("requred")) << route.call << ": " << reply.body;
    EXPECT_NE(reply.status, 401) << route.call;
  }
  auto ended = call("/quorb.unauthorize", valid);
  EXPECT_EQ(ended.status, 200);
  EXPECT_FALSE(ended.body.contains("requred")) << ended.body;
  EXPECT_EQ(loginAskedIn(call("/quorb.user", valid)), "requred") << "the token ended with the log-out";
}

}  // namespace
