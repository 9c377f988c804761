#include <gtest/gtest.h>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "tests/support/HttpGet.h"
#include "tests/support/StandinFixture.h"

namespace {

class CollectionRoutesTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    user = standin().state().accounts().seedUser("amy");
    standin().state().accounts().seedToken("tok", user.userid);
  }
  // The stand-in's address spelt for one base, as the client spells it.
  std::string on(const std::string& host, const std::string& pathAndQuery) {
    return "http://" + host + ":" + std::to_string(standin().port()) + pathAndQuery;
  }
  StandinUser user;
};

TEST_F(CollectionRoutesTest, EachCallAnswersOnlyOnItsOwnBase) {
  const std::string item = standin().catalogue().items()[3].id;
  struct Case {
    std::string host, path;
    long status;
  };
  std::vector<Case> cases{{"127.0.0.1", "/quorb.like?token=tok&pid=" + item + "&remove=false", 404},
                          {"legacy-api.localhost", "/quorb.like?token=tok&pid=" + item + "&remove=false", 404},
                          {"legacy-web.localhost", "/quorb.like?token=wrong&pid=" + item + "&remove=false", 401},
                          {"legacy-web.localhost", "/quorb.like?token=tok&pid=" + item + "&remove=false", 200},
                          {"legacy-web.localhost", "/v1/userliked?access_token=tok", 404},
                          {"127.0.0.1", "/v1/userliked?access_token=tok", 200}};
  for (const auto& c : cases) EXPECT_EQ(httpGet(on(c.host, c.path)).status, c.status) << c.host << c.path;
  EXPECT_EQ(standin().state().liked(user.userid), std::vector<std::string>{item});
  EXPECT_NE(httpGet(on("127.0.0.1", "/v1/userliked?access_token=tok")).body.find("\"id\":\"" + item + "\""), std::string::npos);
}

TEST_F(CollectionRoutesTest, AnonymousPacksTakeItemsWithTheirTokenAndCanBeClaimed) {
  auto created = httpGet(on("127.0.0.1", "/v1/createpack?title=Cats"));
  ASSERT_EQ(created.status, 200);
  auto packs = standin().state().collections();
  ASSERT_EQ(packs.size(), 1u);
  const auto pack = packs[0];
  EXPECT_NE(created.body.find("\"token\":\"" + *pack.packToken + "\""), std::string::npos);
  const std::string item = standin().catalogue().items()[0].id;
  const std::string channel = "channelid=pack-" + std::to_string(pack.id);
  EXPECT_EQ(httpGet(on("legacy-api.localhost", "/v1/collect?id=" + item + "&" + channel + "&pack_token=nope")).status, 403);
  EXPECT_EQ(httpGet(on("legacy-api.localhost", "/v1/collect?id=" + item + "&" + channel + "&pack_token=" + *pack.packToken)).status, 200);
  HttpCall upload{.method = "POST", .url = on("127.0.0.1", "/v1/upload")};
  upload.parts = {{"channelid", "pack-" + std::to_string(pack.id), "", ""},
                  {"pack_token", *pack.packToken, "", ""},
                  {"tags", ",funny,cat", "", ""},
                  {"file", std::string("GIF89a\x03\x00\x02\x00", 10), "image.gif", "application/octet-stream"}};
  auto uploaded = perform(upload);
  ASSERT_EQ(uploaded.status, 200) << uploaded.body;
  auto items = standin().state().collection(pack.id)->items;
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1], item);
  auto stored = standin().state().upload(items[0]);
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->tags, (std::vector<std::string>{"funny", "cat"}));
  EXPECT_EQ(std::make_pair(stored->width, stored->height), std::make_pair(3, 2));
  EXPECT_EQ(httpGet(on("127.0.0.1", "/uploads/" + items[0] + ".gif")).body, stored->bytes);

  EXPECT_EQ(httpGet(on("127.0.0.1", "/v1/claimpack?id=" + std::to_string(pack.id) + "&pack_token=x&access_token=tok")).status, 403);
  EXPECT_EQ(httpGet(on("127.0.0.1", "/v1/claimpack?id=" + std::to_string(pack.id) + "&pack_token=" + *pack.packToken +
                                        "&access_token=tok")).status,
            200);
  EXPECT_EQ(standin().state().collection(pack.id)->owner, user.userid);

  // A signed-in sticker upload lands in the user's saved items, and their stream lists it.
  HttpCall sticker{.method = "POST", .url = on("legacy-web.localhost", "/quorb.uploadsticker")};
  sticker.parts = {{"token", "tok", "", ""},
                   {"collectionid", "quorbuser-" + std::to_string(user.userid), "", ""},
                   {"stream", "savedvorns", "", ""},
                   {"tags", "wave hi", "", ""},
                   {"stickersource", "8000000001", "", ""},
                   {"file", std::string("GIF89a\x01\x00\x01\x00", 10), "image.gif", "application/octet-stream"}};
  ASSERT_EQ(perform(sticker).status, 200);
  auto saved = standin().state().saved(user.userid);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_TRUE(standin().state().upload(saved[0])->sticker);
  EXPECT_EQ(standin().state().upload(saved[0])->stickerSource, "8000000001");
  EXPECT_NE(httpGet(on("127.0.0.1", "/v1/usersaved?access_token=tok")).body.find(saved[0]), std::string::npos);
}

}  // namespace

namespace {

TEST_F(CollectionRoutesTest, TheStateIsReadableFromOutsideWithoutPasswordsOrTokens) {
  standin().state().accounts().seedUser("bo", "secret-password", true);
  auto pack = standin().state().createCollection("Cats", user.userid);
  standin().state().addToCollection(pack, "111");
  standin().state().subscribe(pack, 701, true);
  standin().state().createCollection("Loose", std::nullopt, true, "pack-token");
  standin().state().setLiked(user.userid, "222", true);
  standin().state().addSaved(user.userid, "333");
  StandinUpload upload;
  upload.bytes = std::string("GIF89a\x02\x00\x03\x00", 10);
  upload.tags = {"wave"};
  upload.uploader = user.userid;
  standin().state().addUpload(upload);

  auto reply = httpGet(standinURL("/_standin/state"));
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body,
            "{\"users\":[{\"userid\":700,\"username\":\"amy\",\"email\":\"\",\"needsTermsAcceptance\":false},"
            "{\"userid\":701,\"username\":\"bo\",\"email\":\"\",\"needsTermsAcceptance\":true}],"
            "\"collections\":[{\"id\":5000,\"name\":\"Cats\",\"public\":false,\"items\":[\"111\"],"
            "\"subscribers\":[701],\"owner\":700},"
            "{\"id\":5001,\"name\":\"Loose\",\"public\":true,\"items\":[],\"subscribers\":[]}],"
            "\"liked\":{\"700\":[\"222\"]},\"saved\":{\"700\":[\"333\"]},"
            "\"uploads\":[{\"id\":\"9000000000\",\"length\":10,\"tags\":[\"wave\"],\"uploader\":700}]}");
  EXPECT_EQ(reply.body.find("secret"), std::string::npos);
  EXPECT_EQ(reply.body.find("tok"), std::string::npos);
  EXPECT_TRUE(standin().requests().empty()) << "reading the state is not a request to the service";
}

}  // namespace

namespace {

TEST_F(CollectionRoutesTest, AUsersPostsStreamListsTheGifsTheyUploadedNewestFirst) {
  auto bo = standin().state().accounts().seedUser("bo");
  standin().state().accounts().seedToken("tok-bo", bo.userid);
  // A signed-in upload into the user's saved items, as the application sends it; its new id.
  auto upload = [&](const std::string& token, std::int64_t userid) {
    HttpCall call{.method = "POST", .url = on("legacy-web.localhost", "/quorb.uploadgif")};
    call.parts = {{"token", token, "", ""},
                  {"collectionid", "quorbuser-" + std::to_string(userid), "", ""},
                  {"stream", "savedvorns", "", ""},
                  {"tags", "mine", "", ""},
                  {"file", std::string("GIF89a\x01\x00\x01\x00", 10), "image.gif", "application/octet-stream"}};
    EXPECT_EQ(perform(call).status, 200);
    return standin().state().saved(userid).front();
  };
  const auto first = upload("tok", user.userid);
  const auto theirs = upload("tok-bo", bo.userid);
  const auto second = upload("tok", user.userid);
  const auto third = upload("tok", user.userid);
  // "id id ... | next" of a page of the stream.
  auto page = [&](const std::string& query) {
    auto reply = httpGet(on("127.0.0.1", "/v1/search?" + query));
    auto parsed = NSJSONSerialization::JSONObjectWithBytes(reply.body);
    auto object = parsed ? asA<NSDictionary>(*parsed) : nullptr;
    if (!object) return "unreadable: " + reply.body;
    std::string text;
    for (const auto& result : object->objectForKeyAs<NSArray>("results")->objects()) {
      text += asA<NSDictionary>(result)->objectForKeyAs<NSString>("id")->string() + " ";
    }
    return text + "| " + object->objectForKeyAs<NSString>("next")->string();
  };
  struct Case {
    std::string query, expected;
  };
  const Case cases[] = {
      {"tag=@amy", third + " " + second + " " + first + " | "},
      {"tag=@AMY&limit=2", third + " " + second + " | 2"},
      {"tag=@amy&limit=2&pos=2", first + " | "},
      {"tag=@bo", theirs + " | "},
      {"tag=@nobody", "| "},
  };
  for (const auto& c : cases) EXPECT_EQ(page(c.query), c.expected) << c.query;
}

}  // namespace
