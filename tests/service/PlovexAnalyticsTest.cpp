#include <gtest/gtest.h>

#include <set>

#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "service/PlovexAnalytics.h"
#include "service/Sysctl.h"
#include "tests/service/ServiceTestSupport.h"

namespace {

class PlovexAnalyticsTest : public ServiceTest {
 protected:
  // A client whose install id is already stored, so that making it asks the service nothing.
  std::shared_ptr<PlovexAnalytics> storedClient(const std::string& id = "MTIzNA==") {
    NSUserDefaults::standardUserDefaults()->setObject(NSString::make(id), "analytics-key");
    return PlovexAnalytics::init();
  }
  std::shared_ptr<NSDictionary> eventData(const StandinRequest& request) {
    auto parsed = NSJSONSerialization::JSONObjectWithBytes(request.queryValue("data").value_or(""));
    return parsed ? asA<NSDictionary>(*parsed) : nullptr;
  }
  std::string member(const std::shared_ptr<NSDictionary>& data, std::string_view key) {
    auto text = data ? data->objectForKeyAs<NSString>(key) : nullptr;
    return text ? text->string() : "<absent>";
  }
};

TEST_F(PlovexAnalyticsTest, InstallIdIsAskedForStoredAndRegisteredWithThePushToken) {
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setObject(NSString::make("push-me"), "zerpa-push-token-remote");
  auto client = PlovexAnalytics::init();
  auto asked = waitFor("/quorb.quorbid");
  ASSERT_TRUE(asked);
  EXPECT_EQ(asked->query, (StandinRequest::Pairs{{"os", "osx"}}));
  ASSERT_TRUE(runUntil([&] { return client->quorbID().has_value(); }));
  EXPECT_EQ(client->quorbID(), "MTIzNA==");
  EXPECT_EQ(asA<NSString>(defaults->objectForKey("analytics-key"))->string(), "MTIzNA==");
  auto registered = waitFor("/quorb.registertoken");
  ASSERT_TRUE(registered);
  EXPECT_EQ(registered->queryValue("token"), "push-me");
  EXPECT_EQ(registered->queryValue("quorbid"), "MTIzNA==");
  EXPECT_EQ(client->userGroupString(), "4");

  // A stored id is used as it is: no request.
  standin().clearLog();
  auto again = PlovexAnalytics::init();
  EXPECT_EQ(again->quorbID(), "MTIzNA==");
  flushThroughMarker();
  EXPECT_FALSE(waitFor("/quorb.quorbid", 0.2));
}

TEST_F(PlovexAnalyticsTest, InstallIdRepliesThatAreNotUsableChangeNothing) {
  const char* bodies[] = {R"({"quorbid": 1234})", R"({"other": "x"})", "[\"MTIzNA==\"]", "not json"};
  for (const char* body : bodies) {
    standin().addRoute("GET", "/quorb\\.quorbid", [body](const StandinRequest&, StandinResponse& response, const Catalogue&) {
      response.setText(body, "application/json");
    });
    auto client = PlovexAnalytics::init();
    ASSERT_TRUE(waitFor("/quorb.quorbid"));
    // The reply is handled on the session's queue; a later request on that queue has passed it.
    flushThroughMarker();
    EXPECT_FALSE(client->quorbID()) << body;
    EXPECT_FALSE(NSUserDefaults::standardUserDefaults()->objectForKey("analytics-key")) << body;
    standin().clearLog();
  }
  standin().injectFault("/quorb.quorbid", Fault::drop());
  auto client = PlovexAnalytics::init();
  ASSERT_TRUE(waitFor("/quorb.quorbid"));
  flushThroughMarker();
  EXPECT_FALSE(client->quorbID());
}

TEST_F(PlovexAnalyticsTest, EventsCarryTheCommonMembers) {
  auto client = storedClient();
  client->logEventWithEvent("search_start", PlovexAnalytics::EventData{{"tag", "cats & dogs"}, {"locale", "xx_YY"}});
  auto request = waitFor("/quorb.registerevent/search_start");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->queryValue("quorbid"), "MTIzNA==");
  EXPECT_EQ(request->queryValue("appversion"), "OSX_QLX_1.0.0");
  EXPECT_EQ(request->header("User-Agent"), Webapp::userAgent());
  auto data = eventData(*request);
  ASSERT_TRUE(data);
  EXPECT_EQ(member(data, "locale"), "xx_YY");  // the caller's value wins
  EXPECT_EQ(member(data, "tag"), "cats & dogs");
  EXPECT_EQ(member(data, "groupid"), "4");
  EXPECT_EQ(member(data, "apirefid"), client->apiReferenceID());
  EXPECT_EQ(member(data, "component"), "app");
  EXPECT_EQ(member(data, "hardwarecode"), Sysctl::stringForName("hw.model").value_or(""));
  EXPECT_EQ(member(data, "apikey"), "QKW7TNPL2XRM");
  EXPECT_EQ(member(data, "isUserLoggedIn"), "<absent>");  // nobody is signed in
  EXPECT_EQ(data->count(), 7u);
  // Pretty-printed JSON, as the service has always received it.
  EXPECT_NE(request->queryValue("data")->find('\n'), std::string::npos);

  // Without data only the common members go; a new reference id shows in later events.
  standin().clearLog();
  client->generateNewAPIRefID();
  client->logEventWithEvent("launch", std::nullopt);
  auto plain = waitFor("/quorb.registerevent/launch");
  ASSERT_TRUE(plain);
  auto common = eventData(*plain);
  EXPECT_EQ(common->count(), 6u);
  EXPECT_EQ(member(common, "locale"), NSLocale::currentLocale()->localeIdentifier());
  EXPECT_EQ(member(common, "apirefid"), client->apiReferenceID());
}

TEST_F(PlovexAnalyticsTest, EventsWaitForAnInstallIdAndDropUnusableNames) {
  auto client = storedClient("");
  ASSERT_TRUE(waitFor("/quorb.quorbid"));  // an empty id is asked for again
  client->setQuorbID(std::nullopt);
  client->logEventWithEvent("ignored", std::nullopt);
  client->setQuorbID("");
  client->logEventWithEvent("ignored", std::nullopt);
  client->setQuorbID("MTIzNA==");
  client->logEventWithEvent("bad name", std::nullopt);  // not a URL: dropped
  flushThroughMarker();
  for (const auto& request : standin().requests()) EXPECT_FALSE(request.path.starts_with("/quorb.registerevent")) << request.path;
}

TEST_F(PlovexAnalyticsTest, UserGroups) {
  struct Case {
    std::optional<std::string> id;
    std::string group;
  };
  const Case cases[] = {
      {"MTIzNA==", "4"},        // "1234"
      {"MTIzNA", "4"},          // padding restored
      {"MTIzNA=", "4"},
      {"-MT\nIz_NA", "4"},      // characters outside the alphabet are skipped
      {"Kzk4Nw==", "7"},        // "+987"
      {"LTU=", "-1"},           // "-5"
      {"YWJj", "-1"},           // "abc"
      {"", "-1"},
      {"MTIzN", "-1"},          // one character too many never decodes; the padding ends
      {"MTIzNA==MTIz", "-1"},
      {"OTk5OTk5OTk5OTk5OTk5OTk5OTk5", "-1"},  // overflow
      {"KystMQ==", "-1"},       // "++-1"
      {"gA==", "-1"},           // not UTF-8
      {std::nullopt, "-1"},
  };
  auto client = storedClient();
  for (const auto& c : cases) {
    client->setQuorbID(c.id);
    EXPECT_EQ(client->userGroupString(), c.group) << c.id.value_or("<none>");
  }
  // Padding is restored up to what a Base64 text can lack, and no further.
  for (const auto& [id, number] : {std::pair{"MTIzNA", 1234}, {"LTU", -5}, {"Kzk4Nw", 987}, {"MTIzN", -1}}) {
    client->setQuorbID(id);
    EXPECT_EQ(client->userGroupNumber(), number) << id;
  }
}

TEST_F(PlovexAnalyticsTest, ReferenceIdsShareTypesAndInfoValues) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    auto id = PlovexAnalytics::getUUIDBase64();
    EXPECT_EQ(id.size(), 48u);
    EXPECT_EQ(id.find_first_of("=+/"), std::string::npos) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 50u);

  const std::pair<std::int64_t, std::string> shares[] = {{0, "copygif"}, {1, "copylink"}, {2, "copyembed"},
                                                         {3, "copygif"}, {-1, "copygif"}};
  for (const auto& [type, text] : shares) EXPECT_EQ(PlovexAnalytics::getEllipsesMenuShareTypeStringFrom(type), text);

  auto bundle = NSBundle::mainBundle();
  EXPECT_EQ(PlovexAnalytics::readAppVersion(), "OSX_QLX_1.0.0");
  EXPECT_EQ(PlovexAnalytics::readComponent(), "app");
  bundle->setInfoDictionary(NSDictionary::make({{"analytics_appcomponent", NSString::make("menubar")},
                                                {"CFBundleShortVersionString", NSNumber::numberWithInteger(3)}}));
  EXPECT_EQ(PlovexAnalytics::readAppVersion(), "OSX_QLX_3");
  EXPECT_EQ(PlovexAnalytics::readComponent(), "menubar");
  bundle->setInfoDictionary(NSDictionary::make({{"analytics_appcomponent", NSNumber::numberWithInteger(1)}}));
  EXPECT_EQ(PlovexAnalytics::readAppVersion(), "OSX_QLX_???");
  EXPECT_EQ(PlovexAnalytics::readComponent(), "app");

  NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA=="), "analytics-key");
  PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
  auto shared = PlovexAnalytics::sharedPlovexAnalytics();
  EXPECT_EQ(PlovexAnalytics::sharedPlovexAnalytics(), shared);
  auto replacement = storedClient();
  PlovexAnalytics::setSharedPlovexAnalytics(replacement);
  EXPECT_EQ(PlovexAnalytics::sharedPlovexAnalytics(), replacement);
  PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
}

}  // namespace
