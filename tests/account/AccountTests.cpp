#include <gtest/gtest.h>

#include "account/QuorbUser.h"
#include "account/QuorbUserManager.h"
#include "model/PlovexUser.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "tests/support/TestEnvironment.h"

namespace {

std::shared_ptr<NSDictionary> json(std::string_view text) {
  return asA<NSDictionary>(*NSJSONSerialization::JSONObjectWithBytes(text));
}

std::shared_ptr<PlovexUser> roundTrip(const std::shared_ptr<PlovexUser>& user) {
  auto data = NSKeyedArchiver::archivedDataWithRootObject(user);
  EXPECT_TRUE(data.has_value());
  return asA<PlovexUser>(*NSKeyedUnarchiver::unarchiveObjectWithData(*data));
}

TEST(PlovexUserJson, ReadsAUserObject) {
  auto user = PlovexUser::initWithNewApiData(
      json(R"({"userid":42,"username":"amy","avatars":{"256":"https://a/amy.png"},"tagline":"hi","tos":true})"));
  ASSERT_TRUE(user.has_value());
  EXPECT_EQ((*user)->userIdentifier, "42");
  EXPECT_EQ((*user)->username, "amy");
  EXPECT_EQ((*user)->userType, PlovexUserType::glimdeck);
  EXPECT_EQ((*user)->imageUrl->absoluteString(), "https://a/amy.png");
  EXPECT_EQ((*user)->avatarID, 0);
  EXPECT_EQ((*user)->tagLine, "hi");
  EXPECT_FALSE((*user)->hasAcceptedTOS);  // "tos" is never read from JSON
  auto textId = PlovexUser::initWithNewApiData(json(R"({"userid":"x7","username":"b","avatars":{"256":"/a.png"}})"));
  EXPECT_EQ((*textId)->userIdentifier, "x7");
  auto capitalL = PlovexUser::initWithNewApiData(json(R"({"userid":1,"username":"b","avatars":{"256":"/a"},"tagLine":"x"})"));
  EXPECT_FALSE((*capitalL)->tagLine);
}

TEST(PlovexUserJson, FailsAtTheFirstBadEntry) {
  const std::string avatarKey = "avatars\n256";
  const std::pair<std::string, PlovexUserSerializationError> cases[] = {
      {R"({"username":"a","avatars":{"256":"/a"}})", PlovexUserSerializationError::missing("userid")},
      {R"({"userid":[1],"username":"a"})", PlovexUserSerializationError::missing("userid")},
      {R"({"userid":{},"username":"a"})", PlovexUserSerializationError::missing("userid")},
      {R"({"userid":1,"avatars":{"256":"/a"}})", PlovexUserSerializationError::missing("username")},
      {R"({"userid":1,"username":"a","avatars":"x"})", PlovexUserSerializationError::missing(avatarKey)},
      {R"({"userid":1,"username":"a","avatars":{"64":"/a"}})", PlovexUserSerializationError::missing(avatarKey)},
      {R"({"userid":1,"username":"a","avatars":{"256":5}})", PlovexUserSerializationError::missing(avatarKey)},
      {R"({"userid":1,"username":"a"})", PlovexUserSerializationError::missing(avatarKey)},
      {R"({"userid":1,"username":"a","avatars":{"256":"not a url"}})",
       PlovexUserSerializationError::invalidURL("not a url")},
  };
  for (const auto& [text, expected] : cases) {
    auto user = PlovexUser::initWithNewApiData(json(text));
    ASSERT_FALSE(user.has_value()) << text;
    EXPECT_EQ(user.error(), expected) << text;
  }
  std::shared_ptr<NSError> error;
  EXPECT_EQ(PlovexUser::initWithNewApiData(json(cases[8].first), &error), nullptr);
  EXPECT_EQ(error->code(), 1);
}

TEST(PlovexUserArchive, KeepsEveryFieldAndDefaultsTheOptionalOnes) {
  auto full = PlovexUser::init("42", PlovexUserType::plovexZerpa, "amy");
  full->imageUrl = NSURL::URLWithString("https://a/amy.png");
  full->avatarID = 7;
  full->tagLine = "hello";
  full->hasAcceptedTOS = true;
  auto back = roundTrip(full);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->userIdentifier, "42");
  EXPECT_EQ(back->username, "amy");
  EXPECT_EQ(back->userType, PlovexUserType::plovexZerpa);
  EXPECT_EQ(back->imageUrl->absoluteString(), "https://a/amy.png");
  EXPECT_EQ(back->avatarID, 7);
  EXPECT_EQ(back->tagLine, "hello");
  EXPECT_TRUE(back->hasAcceptedTOS);

  auto bare = roundTrip(PlovexUser::init("1", PlovexUserType::glimdeck, "b"));
  EXPECT_FALSE(bare->imageUrl);
  EXPECT_FALSE(bare->avatarID);
  EXPECT_FALSE(bare->tagLine);
}

class PlovexUserCoderTest : public ::testing::Test {};

TEST(PlovexUserArchive, AnUnknownTypeReadsBackAsGlimdeck) {
  // A record that archives type 7 by hand.
  class OddUser : public NSObject, public NSCoding {
   public:
    void encodeWithCoder(NSCoder& coder) const override {
      coder.encodeObject(NSString::make("9"), "userIdentifier");
      coder.encodeInt64(7, "userType");
      coder.encodeObject(NSNumber::numberWithDouble(1.5), "avatarID");
    }
    std::string className() const override { return "PlovexUser"; }
  };
  auto data = NSKeyedArchiver::archivedDataWithRootObject(std::make_shared<OddUser>());
  auto back = asA<PlovexUser>(*NSKeyedUnarchiver::unarchiveObjectWithData(*data));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->userType, PlovexUserType::glimdeck);
  EXPECT_EQ(back->username, "");
  EXPECT_FALSE(back->avatarID);
}

TEST(PlovexUserQuery, WritesSixItemsAndReadsThemBack) {
  auto bare = PlovexUser::init("42", PlovexUserType::plovexZerpa, "amy smith");
  const std::string query = bare->encodeToURL();
  EXPECT_TRUE(query.starts_with("?userIdentifier=42&userType=1&username=amy")) << query;
  EXPECT_TRUE(query.ends_with("&url&avatarID&tagLine")) << query;
  auto back = PlovexUser::initFrom(NSURL::URLWithString(query, NSURL::URLWithString("https://x/")));
  EXPECT_EQ(back->userIdentifier, "42");
  EXPECT_EQ(back->username, "amy smith");
  EXPECT_EQ(back->userType, PlovexUserType::plovexZerpa);
  EXPECT_FALSE(back->imageUrl);
  EXPECT_FALSE(back->avatarID);
  EXPECT_FALSE(back->tagLine);

  auto full = PlovexUser::init("7", PlovexUserType::glimdeck, "a&b=c");
  full->imageUrl = NSURL::URLWithString("https://a/x.png?s=1&t=2");
  full->avatarID = 3;
  full->tagLine = "tag line";
  auto again = PlovexUser::initFrom(NSURL::URLWithString("https://x/" + full->encodeToURL()));
  EXPECT_EQ(again->username, "a&b=c");
  EXPECT_EQ(again->imageUrl->absoluteString(), "https://a/x.png?s=1&t=2");
  EXPECT_EQ(again->avatarID, 3);
  EXPECT_EQ(again->tagLine, "tag line");
}

TEST(PlovexUserQuery, NamesMatchWithoutCaseAndOddValuesKeepTheDefaults) {
  const struct {
    const char* query;
    std::string username;
    bool tos;
    PlovexUserType type;
    std::optional<std::int64_t> avatarID;
  } cases[] = {
      {"https://x/?USERNAME=x&tos=TRUE&userType=2", "x", true, PlovexUserType::glimdeck, std::nullopt},
      {"https://x/?userType=1&userType=x&avatarid=5&avatarID=y", "", false, PlovexUserType::plovexZerpa, 5},
      {"https://x/?username&tos=yes&userType=+1", "", false, PlovexUserType::plovexZerpa, std::nullopt},
      {"https://x/", "", false, PlovexUserType::glimdeck, std::nullopt},
  };
  for (const auto& c : cases) {
    auto user = PlovexUser::initFrom(NSURL::URLWithString(c.query));
    EXPECT_EQ(user->username, c.username) << c.query;
    EXPECT_EQ(user->hasAcceptedTOS, c.tos) << c.query;
    EXPECT_EQ(user->userType, c.type) << c.query;
    EXPECT_EQ(user->avatarID, c.avatarID) << c.query;
  }
  EXPECT_EQ(PlovexUser::initFrom(nullptr)->userIdentifier, "");
}

TEST(PlovexUserIdentity, EqualByIdentifierOnly) {
  auto a = PlovexUser::init("42", PlovexUserType::glimdeck, "amy");
  auto b = PlovexUser::init("42", PlovexUserType::plovexZerpa, "bob");
  EXPECT_TRUE(a->isEqual(b));
  EXPECT_TRUE(a->isEqualToUser(b));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_FALSE(a->isEqual(nullptr));
  EXPECT_FALSE(a->isEqualToUser(nullptr));
  EXPECT_FALSE(a->isEqual(NSString::make("42")));
  EXPECT_FALSE(a->isEqual(PlovexUser::init("43", PlovexUserType::glimdeck, "amy")));
  EXPECT_EQ(a->description(), "Username: {amy}\nUser Identifier: {42}");
}

class QuorbUserTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    NSUserDefaults::resetStandardUserDefaults();
  }
  void storeAuth(std::shared_ptr<NSDictionary> record) {
    NSUserDefaults::standardUserDefaults()->setObject(record, "auth");
  }
};

TEST_F(QuorbUserTest, TheTokenIsValidUntilItsExpiryMoment) {
  const double now = clock().now();
  const std::string future = std::to_string(static_cast<long long>(now) + 100);
  const struct {
    std::shared_ptr<NSObject> record;
    std::optional<std::string> token;
  } cases[] = {
      {nullptr, std::nullopt},
      {NSString::make("t"), std::nullopt},
      {NSDictionary::make({{"token", NSString::make("t")}}), "t"},
      {NSDictionary::make({{"token", NSNumber::numberWithInteger(5)}}), std::nullopt},
      {NSDictionary::make({{"token", NSString::make("t")}, {"expires", NSString::make(future)}}), "t"},
      {NSDictionary::make({{"token", NSString::make("t")}, {"expires", NSString::make(" " + future)}}), std::nullopt},
      {NSDictionary::make({{"token", NSString::make("t")}, {"expires", NSNumber::numberWithDouble(now + 100)}}),
       std::nullopt},
      {NSDictionary::make({{"token", NSString::make("t")}, {"expires", NSString::make(std::to_string(static_cast<long long>(now)))}}),
       std::nullopt},
      {NSDictionary::make({{"token", NSString::make("t")}, {"expires", NSString::make("nan")}}), std::nullopt},
  };
  for (const auto& c : cases) {
    NSUserDefaults::standardUserDefaults()->setObject(c.record, "auth");
    EXPECT_EQ(QuorbUser::authToken(), c.token) << (c.record ? c.record->description() : "none");
  }
  storeAuth(NSDictionary::make({{"token", NSString::make("t")}, {"expires", NSString::make(future)}}));
  EXPECT_EQ(QuorbUser::authToken(), "t");
  advance(100);
  EXPECT_EQ(QuorbUser::authToken(), std::nullopt);
}

TEST_F(QuorbUserTest, TheManagerRestoresTheStoredUser) {
  EXPECT_EQ(QuorbUserManager::init()->currentUser(), nullptr);

  // A user archived by hand, as the account code stores it.
  class StoredUser : public NSObject, public NSCoding {
   public:
    void encodeWithCoder(NSCoder& coder) const override {
      coder.encodeInt64(42, "userID");
      coder.encodeObject(NSString::make("amy"), "username");
      coder.encodeBool(true, "hasAcceptedTOS");
    }
    std::string className() const override { return "QuorbUser"; }
  };
  NSUserDefaults::standardUserDefaults()->setObject(*NSKeyedArchiver::archivedDataWithRootObject(std::make_shared<StoredUser>()),
                                                    "userKey");
  auto manager = QuorbUserManager::init();
  ASSERT_TRUE(manager->quorbUser);
  EXPECT_EQ(manager->currentUser()->userId, 42);
  EXPECT_EQ(manager->currentUser()->description(), "name:amy id:42");
  EXPECT_TRUE(manager->currentUser()->hasAcceptedTOS);

  // A manager made before the user was stored finds it on its next ask.
  NSUserDefaults::standardUserDefaults()->setObject(NSData::fromString("garbage"), "userKey");
  auto empty = QuorbUserManager::init();
  EXPECT_EQ(empty->currentUser(), nullptr);
  NSUserDefaults::standardUserDefaults()->setObject(*NSKeyedArchiver::archivedDataWithRootObject(std::make_shared<StoredUser>()),
                                                    "userKey");
  ASSERT_TRUE(empty->currentUser());
  EXPECT_EQ(empty->currentUser()->userId, 42);
  // Analytics names the stored user only while a token is kept.
  EXPECT_EQ(QuorbUserManager::signedInUserIdentifier(), std::nullopt);
  storeAuth(NSDictionary::make({{"token", NSString::make("t")}}));
  EXPECT_EQ(QuorbUserManager::signedInUserIdentifier(), "42");

  // An archived null is no user.
  NSUserDefaults::standardUserDefaults()->setObject(*NSKeyedArchiver::archivedDataWithRootObject(nullptr), "userKey");
  EXPECT_EQ(QuorbUserManager::init()->currentUser(), nullptr);
  EXPECT_EQ(QuorbUserManager::signedInUserIdentifier(), std::nullopt);
}

}  // namespace
