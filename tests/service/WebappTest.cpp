#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>

#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSURLComponents.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURLResponse.h"
#include "service/Webapp.h"
#include "tests/service/ServiceTestSupport.h"

namespace {

using JsonReply = std::pair<std::shared_ptr<NSDictionary>, std::shared_ptr<NSError>>;

class WebappTest : public ServiceTest {
 protected:
  std::vector<std::string> bases() {
    return {Webapp::scriptURL(), Webapp::newApiURLBase(), Webapp::messageURL(), Webapp::zoltoScriptURL(),
            Webapp::zoltoNewApiURLBase()};
  }
  JsonReply jsonReply(const std::string& path) {
    CallbackBox<JsonReply> box;
    auto task = Webapp::jsonRequestWithEndpoint(path, {}, [&box](auto dictionary, auto error) { box.put({dictionary, error}); });
    EXPECT_TRUE(task);
    EXPECT_TRUE(runUntil([&] { return box.count() == 1; }));
    return box.count() ? box.first() : JsonReply{};
  }
};

TEST_F(WebappTest, BasesAreDistinctAndNoneContainsAnother) {
  for (bool standinBases : {true, false}) {
    if (!standinBases) unsetenv("GLIMDECK_SERVICE_URL");
    auto all = bases();
    for (std::size_t i = 0; i < all.size(); ++i) {
      EXPECT_FALSE(all[i].empty());
      EXPECT_NE(all[i].back(), '/');
      EXPECT_TRUE(NSURL::URLWithString(all[i])) << all[i];
      for (std::size_t j = 0; j < all.size(); ++j) {
        if (i == j) continue;
        EXPECT_EQ(all[i].find(all[j]), std::string::npos) << all[i] << " holds " << all[j];
      }
    }
  }
  EXPECT_EQ(Webapp::scriptURL(), "https://www.plovex.com");
  EXPECT_EQ(Webapp::zoltoNewApiURLBase(), "https://api.zolto.com");
}

TEST_F(WebappTest, EveryStandinBaseReachesTheStandin) {
  EXPECT_EQ(Webapp::zoltoNewApiURLBase(), standin().baseURL());
  std::atomic<int> answered = 0;
  for (const auto& base : bases()) {
    Webapp::requestURLWithUrl(NSURL::URLWithString(base + "/_standin/echo"), std::nullopt,
                              [&answered](auto data, auto, auto error) {
                                if (data && !error) ++answered;
                              });
  }
  EXPECT_TRUE(runUntil([&] { return answered == 5; }));
}

TEST_F(WebappTest, BaseSelection) {
  const std::string legacyWeb = Webapp::scriptURL();
  const std::string api = Webapp::zoltoNewApiURLBase();
  EXPECT_EQ(Webapp::pageUrlWithPath("/quorb.login"), legacyWeb + "/quorb.login");
  EXPECT_EQ(Webapp::pageUrlWithPath("quorb.login"), legacyWeb + "quorb.login");
  for (const auto& base : {Webapp::scriptURL(), Webapp::newApiURLBase(), Webapp::zoltoScriptURL(), api}) {
    EXPECT_EQ(Webapp::pageUrlWithPath(base + "/x?y=1"), base + "/x?y=1");
    const std::string holding = "/redirect?to=" + base;
    EXPECT_EQ(Webapp::pageUrlWithPath(holding), holding);
  }
  // The messaging base is not one of the tested four.
  EXPECT_EQ(Webapp::pageUrlWithPath(Webapp::messageURL() + "/m"), legacyWeb + Webapp::messageURL() + "/m");

  EXPECT_EQ(Webapp::zoltoNewApiURLWithEndpoint("/v1/search"), api + "/v1/search");
  EXPECT_EQ(Webapp::zoltoNewApiURLWithEndpoint(api + "/v1/tags"), api + "/v1/tags");
  const std::string legacyApi = Webapp::newApiURLBase() + "/v1/tags";
  EXPECT_EQ(Webapp::zoltoNewApiURLWithEndpoint(legacyApi), api + legacyApi);
  EXPECT_EQ(Webapp::newApiURLWithEndpoint("/a"), Webapp::newApiURLBase() + "/a");
  EXPECT_EQ(Webapp::zoltoScriptURLWithEndpoint("/a"), Webapp::zoltoScriptURL() + "/a");
}

TEST_F(WebappTest, UrlBuilding) {
  struct Case {
    std::string base;
    std::optional<Webapp::StringMap> parameters;
    std::string expected;
  };
  const Case cases[] = {
      {"https://h.example/p", std::nullopt, "https://h.example/p?"},
      {"https://h.example/p", Webapp::StringMap{}, "https://h.example/p?"},
      {"https://h.example/p?a=%7e&b", Webapp::StringMap{}, "https://h.example/p?a=%7e&b"},
      {"https://h.example/p?a=1", Webapp::StringMap{{"b", "2"}}, "https://h.example/p?a=1&b=2"},
      {"https://h.example/p?a=1", Webapp::StringMap{{"a", "2"}}, "https://h.example/p?a=1&a=2"},
      {"https://h.example/p", Webapp::StringMap{{"q", "cats & dogs"}}, "https://h.example/p?q=cats%20%26%20dogs"},
      {"https://h.example/p", Webapp::StringMap{{"q", "c++"}}, "https://h.example/p?q=c++"},
      {"https://h.example/p", Webapp::StringMap{{"a=b", "x=y"}}, "https://h.example/p?a%3Db=x=y"},
      {"https://h.example/p", Webapp::StringMap{{"q", "\xC3\xA9/?:@"}}, "https://h.example/p?q=%C3%A9/?:@"},
      {"https://h.example/a b", Webapp::StringMap{{"q", "1"}}, "https://h.example/a b"},
      {"not a url", std::nullopt, "not a url"},
      // Once one item is appended, the base's own items are written again from their
      // decoded form.
      {"http://h.example/p?a=%7e&x=%2B", Webapp::StringMap{}, "http://h.example/p?a=%7e&x=%2B"},
      {"http://h.example/p?a=%7e&x=%2B", Webapp::StringMap{{"b", "2"}}, "http://h.example/p?a=~&x=+&b=2"},
      {"http://h.example/p?a=b%26c", Webapp::StringMap{{"d", "e"}}, "http://h.example/p?a=b%26c&d=e"},
      {"http://h.example/p?a=1&a=2", Webapp::StringMap{{"a", "3"}}, "http://h.example/p?a=1&a=2&a=3"},
      {"http://h.example/p?flag", Webapp::StringMap{{"b", "2"}}, "http://h.example/p?flag&b=2"},
      {"http://h.example/p", Webapp::StringMap{{"k=&", "v=&"}}, "http://h.example/p?k%3D%26=v=%26"},
      {"http://h.example/p", Webapp::StringMap{{"u", "http://x/y?z=1:@!$'()*,;"}}, "http://h.example/p?u=http://x/y?z=1:@!$'()*,;"},
      {"http://h.example/p", Webapp::StringMap{{"f", "a#b%c\"<>[]{}|\\^`"}},
       "http://h.example/p?f=a%23b%25c%22%3C%3E%5B%5D%7B%7D%7C%5C%5E%60"},
      {"http://h.example/p", Webapp::StringMap{{"e", ""}}, "http://h.example/p?e="},
      {"http://h.example/p#top", Webapp::StringMap{{"a", "1"}}, "http://h.example/p?a=1#top"},
      {"http://h.example:8080", Webapp::StringMap{{"a", "1"}}, "http://h.example:8080?a=1"},
      // Not URLs: the base comes back unchanged, without the parameters.
      {"http://h.example/%zz", Webapp::StringMap{{"a", "1"}}, "http://h.example/%zz"},
      {"http://h.example:port/", Webapp::StringMap{{"a", "1"}}, "http://h.example:port/"},
      {"", Webapp::StringMap{{"a", "1"}}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Webapp::constructURLWithBaseURL(c.base, c.parameters), c.expected) << c.base;

  // Several parameters all arrive, in whatever order the map gives them.
  auto built = Webapp::constructURLWithBaseURL("https://h.example/p", Webapp::StringMap{{"a", "1"}, {"b", "2"}, {"c", "3"}});
  auto items = NSURLComponents::componentsWithString(built)->queryItems();
  ASSERT_TRUE(items);
  std::set<std::string> names;
  for (auto& item : *items) names.insert(item.name + "=" + item.value.value_or(""));
  EXPECT_EQ(names, (std::set<std::string>{"a=1", "b=2", "c=3"}));
  EXPECT_TRUE(Webapp::allowedQueryCharacters().contains('/'));
  for (char c : std::string("&=?+")) EXPECT_FALSE(Webapp::allowedQueryCharacters().contains(c));
}

TEST_F(WebappTest, UserAgentFromInfoValues) {
  auto bundle = NSBundle::mainBundle();
  EXPECT_EQ(Webapp::userAgent(), "Glimdeck/1.0.0 (; iOS 10.13)");
  bundle->setInfoDictionary(NSDictionary::make({{"CFBundleName", NSString::make("App")},
                                                {"CFBundleShortVersionString", NSString::make("2.1")},
                                                {"DTPlatformVersion", NSString::make("10.13")}}));
  EXPECT_EQ(Webapp::userAgent(), "App/2.1 (; iOS 10.13)");
  bundle->setInfoDictionary(NSDictionary::make({{"CFBundleName", NSString::make("App")},
                                                {"CFBundleShortVersionString", NSNumber::numberWithInteger(2)}}));
  EXPECT_EQ(Webapp::userAgent(), "App/ (; iOS )");
  bundle->setInfoDictionary(NSDictionary::make({{"Other", NSString::make("x")}}));
  EXPECT_EQ(Webapp::userAgent(), "/ (; iOS )");
}

TEST_F(WebappTest, FirstSendsHeadersStickToTheSharedSession) {
  EXPECT_FALSE(Webapp::session());
  CallbackBox<int> box;
  auto done = [&box](auto, auto, auto) { box.put(1); };
  ASSERT_TRUE(Webapp::requestURLWithUrl(NSURL::URLWithString(standinURL("/_standin/echo?n=1")),
                                        Webapp::StringMap{{"X-First", "one"}}, done));
  auto session = Webapp::session();
  ASSERT_TRUE(session);
  ASSERT_TRUE(Webapp::requestURLWithUrl(NSURL::URLWithString(standinURL("/_standin/echo?n=2")),
                                        Webapp::StringMap{{"X-Second", "two"}}, done));
  EXPECT_EQ(Webapp::session(), session);
  ASSERT_TRUE(runUntil([&] { return box.count() == 2; }));
  auto logged = requestsFor("/_standin/echo");
  ASSERT_EQ(logged.size(), 2u);
  for (const auto& request : logged) {
    EXPECT_EQ(request.header("X-First"), "one");
    EXPECT_FALSE(request.header("X-Second"));
    EXPECT_EQ(request.header("User-Agent"), "Glimdeck/1.0.0 (; iOS 10.13)");
  }
  // A given User-Agent wins over the built one.
  auto configuration = Webapp::sessionConfigurationWithAdditionalHeaders(Webapp::StringMap{{"user-agent", "Mine"}});
  EXPECT_EQ(configuration->HTTPAdditionalHeaders.valueForHTTPHeaderField("User-Agent"), "Mine");
  EXPECT_EQ(configuration->HTTPAdditionalHeaders.count(), 1u);
}

TEST_F(WebappTest, OneSharedSessionEvenWhenThreadsRaceToSendFirst) {
  for (int round = 0; round < 20; ++round) {
    Webapp::setSession(nullptr);
    constexpr int kThreads = 8;
    std::atomic<int> ready = 0;
    std::vector<std::shared_ptr<NSURLSession>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        ++ready;
        while (ready < kThreads) std::this_thread::yield();
        seen[i] = Webapp::sessionCreatingIfNeeded();
      });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& session : seen) EXPECT_EQ(session, seen.front());
    EXPECT_EQ(Webapp::session(), seen.front());
  }
}

TEST_F(WebappTest, RequestsWithUnusableUrlsSendNothing) {
  bool called = false;
  EXPECT_FALSE(Webapp::requestWithHandler("/a b", {}, [&](auto, auto, auto) { called = true; }));
  EXPECT_FALSE(Webapp::jsonRequestWithEndpoint("/a b", {}, [&](auto, auto) { called = true; }));
  EXPECT_FALSE(Webapp::requestURLWithUrl(nullptr, std::nullopt, [&](auto, auto, auto) { called = true; }));
  EXPECT_FALSE(called);
}

TEST_F(WebappTest, RequestWithHandlerGoesOnTheLegacyWebBase) {
  CallbackBox<std::string> box;
  auto task = Webapp::requestWithHandler("/_standin/echo", {{"q", "cats & dogs"}},
                                         [&box](auto data, auto, auto) { box.put(data ? data->string() : ""); });
  ASSERT_TRUE(task);
  EXPECT_EQ(task->originalRequest()->URL()->absoluteString(), Webapp::scriptURL() + "/_standin/echo?q=cats%20%26%20dogs");
  ASSERT_TRUE(runUntil([&] { return box.count() == 1; }));
  auto request = waitFor("/_standin/echo");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->target, "/_standin/echo?q=cats%20%26%20dogs");
}

TEST_F(WebappTest, JsonReplies) {
  auto route = [this](const std::string& path, int status, std::string body) {
    standin().addRoute("GET", path, [status, body](const StandinRequest&, StandinResponse& response, const Catalogue&) {
      response.setText(body, "application/json", status);
    });
  };
  route("/t/empty", 200, "{}");
  route("/t/array", 200, "[1,2]");
  route("/t/bad", 200, "{\"a\":");
  route("/t/error", 500, R"({"error":"boom"})");
  route("/t/nobody", 204, "");

  auto empty = jsonReply("/t/empty");
  ASSERT_TRUE(empty.first);
  EXPECT_EQ(empty.first->count(), 0u);
  EXPECT_FALSE(empty.second);
  for (const char* path : {"/t/array", "/t/bad", "/t/nobody"}) {
    auto reply = jsonReply(path);
    EXPECT_FALSE(reply.first) << path;
    EXPECT_FALSE(reply.second) << path;
  }
  auto failed = jsonReply("/t/error");
  ASSERT_TRUE(failed.first);
  EXPECT_EQ(asA<NSString>(failed.first->objectForKey("error"))->string(), "boom");

  // Every attempt is dropped: the transport retries a dropped reused connection once.
  standin().injectFault("/t/empty", Fault::drop());
  auto dropped = jsonReply("/t/empty");
  standin().clearFaults();
  EXPECT_FALSE(dropped.first);
  EXPECT_TRUE(dropped.second);

  // No callback: nothing happens.
  Webapp::handleJSONResponse(NSData::fromString("{}"), nullptr, nullptr);
  EXPECT_FALSE(Webapp::decodeJSONDictionary(NSData::fromString("nope")).has_value());
}

// Each address of the service's interface takes a reply up to what its endpoint can sensibly
// send and refuses a longer one with an error that says so; media and other addresses keep
// the session's own cap.
TEST_F(WebappTest, EachEndpointRefusesRepliesPastWhatItCanSensiblySend) {
  struct Case {
    std::string url;
    std::optional<std::int64_t> limit;
  };
  const std::string api = Webapp::zoltoNewApiURLBase();
  const std::string web = Webapp::scriptURL();
  const Case cases[] = {
      {api + "/v1/search?tag=cat", Webapp::ReplyLimits::itemPage},
      {api + "/v1/trending", Webapp::ReplyLimits::itemPage},
      {api + "/v1/collection/?id=3", Webapp::ReplyLimits::itemPage},
      {api + "/v1/userliked", Webapp::ReplyLimits::itemPage},
      {api + "/v1/usersaved", Webapp::ReplyLimits::itemPage},
      {api + "/v1/tags?type=trending", Webapp::ReplyLimits::itemPage},
      {web + "/quorb.user?token=t", Webapp::ReplyLimits::account},
      {web + "/quorb.login", Webapp::ReplyLimits::account},
      {web + "/quorb.signup", Webapp::ReplyLimits::account},
      {api + "/v1/suggest?tag=c", Webapp::ReplyLimits::record},
      {api + "/v1/post?id=1", Webapp::ReplyLimits::record},
      {web + "/quorb.registerevent/launch", Webapp::ReplyLimits::record},
      {web + "/quorb.like", Webapp::ReplyLimits::record},
      {standinURL("/media/8000000001/tinygif.gif"), std::nullopt},
      {"https://elsewhere.test/v1", std::nullopt},
  };
  for (const auto& c : cases) {
    auto url = NSURL::URLWithString(c.url);
    ASSERT_TRUE(url) << c.url;
    EXPECT_EQ(Webapp::replyLimitForURL(*url), c.limit) << c.url;
    EXPECT_EQ(Webapp::limitedRequestWithURL(url)->maximumBodySize(), c.limit) << c.url;
  }

  // Sent: the limit itself arrives, one byte more is refused.
  using Sent = std::tuple<std::shared_ptr<NSData>, std::shared_ptr<NSError>>;
  for (const auto& [path, limit] : {std::pair{std::string("/v1/trending"), Webapp::ReplyLimits::itemPage},
                                    std::pair{std::string("/v1/similar"), Webapp::ReplyLimits::record}}) {
    for (std::int64_t size : {limit, limit + 1}) {
      standin().injectFault(path, Fault::oversized(static_cast<std::size_t>(size)), 1);
      CallbackBox<Sent> box;
      Webapp::requestURLWithUrl(NSURL::URLWithString(Webapp::zoltoNewApiURLWithEndpoint(path)), std::nullopt,
                                [&box](auto data, auto, auto error) { box.put({data, error}); });
      ASSERT_TRUE(runUntil([&] { return box.count() == 1; }, 30)) << path;
      auto [data, error] = box.first();
      if (size == limit) {
        EXPECT_FALSE(error) << path;
        ASSERT_TRUE(data) << path;
        EXPECT_EQ(static_cast<std::int64_t>(data->length()), limit) << path;
        continue;
      }
      EXPECT_FALSE(data) << path;
      ASSERT_TRUE(error) << path;
      EXPECT_EQ(error->code(), NSURLError::dataLengthExceedsMaximum) << path;
      EXPECT_EQ(error->localizedDescription(),
                "The server's reply is larger than the " + std::to_string(limit) + " bytes this request accepts.");
    }
  }

  // A JSON call refused so gets the error and no dictionary.
  standin().injectFault("/quorb.accepttos", Fault::oversized(Webapp::ReplyLimits::record + 1), 1);
  auto refused = jsonReply("/quorb.accepttos");
  EXPECT_FALSE(refused.first);
  ASSERT_TRUE(refused.second);
  EXPECT_EQ(refused.second->code(), NSURLError::dataLengthExceedsMaximum);
}

TEST_F(WebappTest, PushTokenRegistration) {
  auto defaults = NSUserDefaults::standardUserDefaults();
  struct Case {
    std::optional<std::string> installId;
    std::optional<std::string> token;
    bool sent;
  };
  const Case cases[] = {
      {std::nullopt, "tok", false},
      {"", "tok", false},
      {"MTIzNA==", std::nullopt, false},
      {"MTIzNA==", "", true},
      {"MTIzNA==", "tok en", true},
  };
  for (const auto& c : cases) {
    standin().clearLog();
    defaults->setObject(c.installId ? NSString::make(*c.installId) : nullptr, "analytics-key");
    defaults->setObject(c.token ? NSString::make(*c.token) : nullptr, "zerpa-push-token-remote");
    Webapp::storePushToken();
    if (c.sent) {
      auto request = waitFor("/quorb.registertoken");
      ASSERT_TRUE(request);
      EXPECT_EQ(request->queryValue("token"), c.token);
      EXPECT_EQ(request->queryValue("quorbid"), c.installId);
      EXPECT_EQ(request->query.size(), 2u);
    } else {
      flushThroughMarker();
      EXPECT_FALSE(waitFor("/quorb.registertoken", 0.2));
    }
  }
  // A token stored as a number is not a token.
  standin().clearLog();
  defaults->setObject(NSNumber::numberWithInteger(5), "zerpa-push-token-remote");
  Webapp::storePushToken();
  flushThroughMarker();
  EXPECT_FALSE(waitFor("/quorb.registertoken", 0.2));
}

}  // namespace
