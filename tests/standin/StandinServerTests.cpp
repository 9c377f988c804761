#include <gtest/gtest.h>

#include <future>
#include <set>
#include <thread>

#include "standin/StandinServer.h"
#include "tests/support/HttpGet.h"
#include "tests/support/StandinFixture.h"

namespace {

class StandinServerTest : public StandinTest {};

TEST_F(StandinServerTest, FixturePointsTheServiceURLAtARunningServer) {
  const char* url = std::getenv("GLIMDECK_SERVICE_URL");
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(std::string(url), standin().baseURL());
  EXPECT_EQ(standin().baseURL(), "http://127.0.0.1:" + std::to_string(standin().port()));
  EXPECT_GT(standin().port(), 0);
  EXPECT_TRUE(standin().isRunning());
}

TEST_F(StandinServerTest, StartsOnAGivenPortAndRefusesATakenOne) {
  auto first = StandinServer::make();
  auto port = first->start(0);
  ASSERT_TRUE(port.has_value());
  first->stop();
  auto again = StandinServer::make();
  ASSERT_EQ(again->start(*port), *port);
  EXPECT_EQ(httpGet(again->baseURL() + "/_standin/bytes?n=3").body, "abc");

  auto clash = StandinServer::make();
  auto refused = clash->start(*port);
  ASSERT_FALSE(refused.has_value());
  EXPECT_NE(refused.error().find(std::to_string(*port)), std::string::npos);
  EXPECT_FALSE(clash->start(70000).has_value());
  again->stop();
  again->stop();
  EXPECT_FALSE(again->isRunning());
}

TEST_F(StandinServerTest, LogRecordsWhatWasSentInOrder) {
  HttpCall call{.method = "POST",
                .url = standinURL("/v1/thing?b=2&a=one%20two&b=3&q=x+y"),
                .headers = {"X-Custom: Value", "Content-Type: application/json"},
                .body = std::string("{\"k\":1}")};
  auto reply = perform(call);
  ASSERT_TRUE(reply.ok());
  EXPECT_EQ(reply.status, 404);
  httpGet(standinURL("/second"));

  auto log = standin().requests();
  ASSERT_EQ(log.size(), 2u);
  const auto& first = log[0];
  EXPECT_EQ(first.method, "POST");
  EXPECT_EQ(first.path, "/v1/thing");
  StandinRequest::Pairs expected{{"b", "2"}, {"a", "one two"}, {"b", "3"}, {"q", "x y"}};
  EXPECT_EQ(first.query, expected);
  EXPECT_EQ(first.queryValue("b"), "2");
  EXPECT_EQ(first.queryValue("missing"), std::nullopt);
  EXPECT_EQ(first.header("x-custom"), "Value");
  EXPECT_EQ(first.body, "{\"k\":1}");
  EXPECT_EQ(log[1].path, "/second");
  EXPECT_LT(first.sequence, log[1].sequence);

  standin().clearLog();
  EXPECT_TRUE(standin().requests().empty());
}

TEST_F(StandinServerTest, LogKeepsMultipartParts) {
  HttpCall call{.method = "POST", .url = standinURL("/v1/upload")};
  call.parts = {{"file", std::string("GIF89a\0\1", 8), "a.gif", "image/gif"}, {"tags", "cat,dog", "", ""}};
  ASSERT_TRUE(perform(call).ok());
  auto request = standin().waitForRequest([](const StandinRequest& r) { return r.path == "/v1/upload"; }, 5);
  ASSERT_TRUE(request.has_value());
  ASSERT_NE(request->part("file"), nullptr);
  EXPECT_EQ(request->part("file")->content, std::string("GIF89a\0\1", 8));
  EXPECT_EQ(request->part("file")->filename, "a.gif");
  EXPECT_EQ(request->part("file")->contentType, "image/gif");
  ASSERT_NE(request->part("tags"), nullptr);
  EXPECT_EQ(request->part("tags")->content, "cat,dog");
}

TEST_F(StandinServerTest, TheLogKeepsBodiesWithinItsLimits) {
  // A body past the limit reaches its route whole; the log keeps only its length and names.
  const std::string big(StandinServer::logBodyLimit + 1, 'x');
  HttpCall upload{.method = "POST", .url = standinURL("/_standin/echo")};
  upload.parts = {{"file", big, "a.gif", "image/gif"}};
  auto echoed = perform(upload);
  ASSERT_TRUE(echoed.ok());
  EXPECT_NE(echoed.body.find("\"name\":\"file\""), std::string::npos);
  auto logged = standin().requests();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_TRUE(logged[0].body.empty());
  EXPECT_GT(logged[0].bodyLength, big.size());
  ASSERT_TRUE(logged[0].part("file"));
  EXPECT_TRUE(logged[0].part("file")->content.empty());

  // Bodies within the limit are kept until together they pass the budget; then the oldest go.
  const std::size_t count = StandinServer::logBodyBudget / StandinServer::logBodyLimit + 2;
  const std::string full(StandinServer::logBodyLimit, 'y');
  for (std::size_t i = 0; i < count; ++i) {
    auto posted = perform({.method = "POST", .url = standinURL("/v1/post"),
                           .headers = {"Content-Type: application/octet-stream"}, .body = full});
    ASSERT_EQ(posted.status, 404);
  }
  logged = standin().requests();
  ASSERT_EQ(logged.size(), count + 1);
  std::size_t kept = 0;
  for (const auto& entry : logged) {
    kept += entry.body.size();
    if (entry.path == "/v1/post") {
      EXPECT_EQ(entry.bodyLength, full.size());
    }
  }
  EXPECT_LE(kept, StandinServer::logBodyBudget);
  EXPECT_EQ(logged.back().body, full);
  EXPECT_TRUE(logged[1].body.empty());
}

TEST_F(StandinServerTest, WaitForRequestSeesEarlierAndLaterRequestsAndTimesOut) {
  httpGet(standinURL("/early"));
  EXPECT_TRUE(standin().waitForRequest([](const StandinRequest& r) { return r.path == "/early"; }, 0).has_value());

  auto later = std::async(std::launch::async, [this] { return httpGet(standinURL("/later")); });
  auto seen = standin().waitForRequest([](const StandinRequest& r) { return r.path == "/later"; }, 10);
  ASSERT_TRUE(seen.has_value());
  EXPECT_EQ(seen->method, "GET");
  later.get();

  EXPECT_FALSE(standin().waitForRequest([](const StandinRequest& r) { return r.path == "/never"; }, 0.05));
}

TEST_F(StandinServerTest, BytesEndpointServesExactLengthsWithOrWithoutChunks) {
  struct Case {
    std::string query;
    std::size_t length;
    bool chunked;
  };
  for (const Case& c : {Case{"n=0", 0, false}, Case{"n=1", 1, false}, Case{"n=70000", 70000, false},
                        Case{"n=70000&chunked=1", 70000, true}, Case{"n=5&chunked=1", 5, true}}) {
    SCOPED_TRACE(c.query);
    auto reply = httpGet(standinURL("/_standin/bytes?" + c.query));
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(reply.status, 200);
    ASSERT_EQ(reply.body.size(), c.length);
    if (c.length > 27) { EXPECT_EQ(reply.body.substr(0, 27), "abcdefghijklmnopqrstuvwxyza"); }
    if (c.chunked) {
      EXPECT_EQ(reply.header("Transfer-Encoding"), "chunked");
      EXPECT_FALSE(reply.header("Content-Length").has_value());
    } else {
      EXPECT_EQ(reply.header("Content-Length"), std::to_string(c.length));
    }
  }
  for (const char* bad : {"n=-1", "n=abc", "n=99999999999999999999", "n=4294967296"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(httpGet(standinURL(std::string("/_standin/bytes?") + bad)).status, 400);
  }
}

TEST_F(StandinServerTest, FaultHeaderShapesTheReply) {
  struct Case {
    std::string fault;
    long status;
    std::string contentType;
    std::size_t length;  // 0: not checked
  };
  const std::string path = "/_standin/bytes?n=100";
  for (const Case& c : {Case{"status500", 500, "application/json", 0}, Case{"notjson", 200, "text/html", 0},
                        Case{"oversized=20000000", 200, "application/json", 20'000'000},
                        Case{"oversized=3", 200, "application/json", 3}, Case{"delay=0.01", 200, "application/octet-stream", 100},
                        Case{"chunked", 200, "application/octet-stream", 100},
                        Case{"delay=0, status500", 500, "application/json", 0}}) {
    SCOPED_TRACE(c.fault);
    auto reply = httpGet(standinURL(path), {"X-Standin-Fault: " + c.fault});
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(reply.status, c.status);
    EXPECT_TRUE(reply.header("Content-Type").value_or("").starts_with(c.contentType));
    if (c.length) { EXPECT_EQ(reply.body.size(), c.length); }
  }
  auto failed = httpGet(standinURL(path), {"X-Standin-Fault: status500"});
  EXPECT_EQ(failed.body, "{\"error\":\"Internal Server Error\",\"code\":500}");
  auto big = httpGet(standinURL(path), {"X-Standin-Fault: oversized=40"});
  EXPECT_EQ(big.body, "{\"padding\":\"xxxxxxxxxxxxxxxxxxxxxxxxxx\"}");
  auto chunked = httpGet(standinURL(path), {"X-Standin-Fault: chunked"});
  EXPECT_EQ(chunked.header("Transfer-Encoding"), "chunked");
  auto notJson = httpGet(standinURL(path), {"X-Standin-Fault: notjson"});
  EXPECT_NE(notJson.body.front(), '{');
}

TEST_F(StandinServerTest, UnknownOrMalformedFaultIsABadRequest) {
  for (const char* bad : {"explode", "delay", "delay=-1", "delay=nan", "delay=1e9", "oversized=lots", "stall=3", "drop,"}) {
    SCOPED_TRACE(bad);
    auto reply = httpGet(standinURL("/_standin/bytes?n=1"), {std::string("X-Standin-Fault: ") + bad});
    if (std::string(bad) == "drop,") {
      EXPECT_FALSE(reply.ok());  // a trailing comma is tolerated: the drop happens
      continue;
    }
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(reply.status, 400);
    EXPECT_NE(reply.body.find("\"error\""), std::string::npos);
  }
}

TEST_F(StandinServerTest, DropClosesTheConnectionWithoutAReply) {
  auto dropped = httpGet(standinURL("/_standin/bytes?n=10"), {"X-Standin-Fault: drop"});
  EXPECT_EQ(dropped.result, CURLE_GOT_NOTHING);
  // The server carries on.
  EXPECT_EQ(httpGet(standinURL("/_standin/bytes?n=2")).body, "ab");
}

TEST_F(StandinServerTest, StallHoldsTheReplyUntilReleased) {
  auto held = std::async(std::launch::async, [this] {
    return httpGet(standinURL("/_standin/bytes?n=4"), {"X-Standin-Fault: stall"});
  });
  ASSERT_TRUE(runUntil([this] { return standin().stalledCount() == 1; }));
  EXPECT_EQ(held.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  standin().releaseStalls();
  auto reply = held.get();
  EXPECT_EQ(reply.body, "abcd");
  EXPECT_EQ(standin().stalledCount(), 0u);
}

TEST_F(StandinServerTest, StopEndsStalledAndIdleConnections) {
  auto own = StandinServer::make();
  ASSERT_TRUE(own->start(0).has_value());
  own->injectFault("/", Fault::stall());
  auto held = std::async(std::launch::async, [&] { return httpGet(own->baseURL() + "/anything"); });
  ASSERT_TRUE(runUntil([&] { return own->stalledCount() == 1; }));
  own->stop();
  auto reply = held.get();
  EXPECT_FALSE(reply.ok());
  EXPECT_FALSE(own->isRunning());
}

TEST_F(StandinServerTest, InjectedFaultsFollowPrefixAndCount) {
  // Paths no route answers, so that only the faults decide the status.
  standin().injectFault("/v9/search", Fault::status500(), 2);
  standin().injectFault("/v9/trending", Fault::notJson());
  EXPECT_EQ(httpGet(standinURL("/v9/other")).status, 404);
  EXPECT_EQ(httpGet(standinURL("/v9/search?q=a")).status, 500);
  EXPECT_EQ(httpGet(standinURL("/v9/search/deeper")).status, 500);
  EXPECT_EQ(httpGet(standinURL("/v9/search?q=a")).status, 404);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(httpGet(standinURL("/v9/trending")).status, 200);
  standin().clearFaults();
  EXPECT_EQ(httpGet(standinURL("/v9/trending")).status, 404);

  standin().injectFault("/_standin/bytes", Fault::oversized(1000), 1);
  standin().injectFault("/_standin/bytes", Fault::chunked(), 1);
  auto both = httpGet(standinURL("/_standin/bytes?n=1"));
  EXPECT_EQ(both.body.size(), 1000u);
  EXPECT_EQ(both.header("Transfer-Encoding"), "chunked");
}

TEST_F(StandinServerTest, RoutesMatchMethodAndPatternAndSeeCaptures) {
  standin().addRoute("GET", "/items/(\\d+)", [](const StandinRequest& r, StandinResponse& out, const Catalogue&) {
    out.setJson("{\"id\":\"" + r.matches.at(0) + "\"}");
  });
  standin().addRoute("*", "/any", [](const StandinRequest& r, StandinResponse& out, const Catalogue&) {
    out.setText(r.method, "text/plain");
  });
  EXPECT_EQ(httpGet(standinURL("/items/42")).body, "{\"id\":\"42\"}");
  EXPECT_EQ(httpGet(standinURL("/items/x")).status, 404);
  EXPECT_EQ(perform({.method = "POST", .url = standinURL("/items/42"), .body = std::string("")}).status, 404);
  EXPECT_EQ(perform({.method = "DELETE", .url = standinURL("/any")}).body, "DELETE");
  EXPECT_EQ(perform({.method = "HEAD", .url = standinURL("/items/7")}).status, 200);

  standin().addRoute("GET", "/boom", [](const StandinRequest&, StandinResponse&, const Catalogue&) {
    throw std::runtime_error("handler failed");
  });
  auto boom = httpGet(standinURL("/boom"));
  EXPECT_EQ(boom.status, 500);
  EXPECT_NE(boom.body.find("handler failed"), std::string::npos);
}

TEST_F(StandinServerTest, RoutesAddedAfterAMarkCanBeRemoved) {
  auto mark = standin().routeCount();
  standin().addRoute("GET", "/_standin/bytes", [](const StandinRequest&, StandinResponse& out, const Catalogue&) {
    out.setText("overridden", "text/plain");
  });
  EXPECT_EQ(httpGet(standinURL("/_standin/bytes?n=2")).body, "overridden");
  standin().removeRoutesAfter(mark);
  EXPECT_EQ(standin().routeCount(), mark);
  EXPECT_EQ(httpGet(standinURL("/_standin/bytes?n=2")).body, "ab");
}

TEST_F(StandinServerTest, HostileTargetsGetAnAnswerAndTheServerLives) {
  for (const std::string& target : {std::string("/") + std::string(8000, 'a'), std::string("/%zz%00%ff?%=&&==&a=%"),
                                    std::string("/../../etc/passwd"), std::string("/media/../../x")}) {
    auto reply = httpGet(standinURL(target));
    EXPECT_TRUE(reply.ok());
  }
  EXPECT_EQ(httpGet(standinURL("/_standin/bytes?n=2")).body, "ab");
}

}  // namespace

namespace {

TEST_F(StandinServerTest, ControlsStayReachableUnderACatchAllRule) {
  standin().injectFault("/", Fault::stall());
  auto held = std::async(std::launch::async, [this] { return httpGet(standinURL("/v1/anything")); });
  // The predicate may call back into the server.
  auto seen = standin().waitForRequest(
      [this](const StandinRequest& r) { return r.path == "/v1/anything" && !standin().requests().empty(); }, 10);
  ASSERT_TRUE(seen.has_value());
  ASSERT_TRUE(runUntil([this] { return standin().stalledCount() == 1; }));
  EXPECT_EQ(httpGet(standinURL("/_standin/log")).status, 200);
  EXPECT_EQ(perform({.method = "POST", .url = standinURL("/_standin/release"), .body = std::string()}).status, 200);
  EXPECT_EQ(held.get().status, 404);
}

}  // namespace

namespace {

TEST_F(StandinServerTest, ConcurrentClientsAreAllLoggedAndAnswered) {
  constexpr int kClients = 16;
  constexpr int kEach = 10;
  standin().injectFault("/v1/flaky", Fault::status500(), kClients * kEach / 2);
  std::vector<std::future<int>> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.push_back(std::async(std::launch::async, [this, c] {
      int failures = 0;
      for (int i = 0; i < kEach; ++i) {
        auto reply = httpGet(standinURL("/v1/flaky?client=" + std::to_string(c) + "&i=" + std::to_string(i)));
        if (reply.status == 500) ++failures;
      }
      return failures;
    }));
  }
  int failures = 0;
  for (auto& client : clients) failures += client.get();
  EXPECT_EQ(failures, kClients * kEach / 2);  // the rule's count is shared exactly
  auto log = standin().requests();
  ASSERT_EQ(log.size(), static_cast<std::size_t>(kClients * kEach));
  std::set<std::uint64_t> sequences;
  for (const auto& entry : log) sequences.insert(entry.sequence);
  EXPECT_EQ(sequences.size(), log.size());
}

}  // namespace
