#include <gtest/gtest.h>

#include "service/AdvertisingLogger.h"
#include "service/PlovexAnalytics.h"
#include "tests/service/ServiceTestSupport.h"

namespace {

class AdvertisingLoggerTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    // The install id request waits, so the id is whatever the test sets.
    standin().injectFault("/quorb.quorbid", Fault::stall());
    analytics = PlovexAnalytics::init();
    PlovexAnalytics::setSharedPlovexAnalytics(analytics);
    ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
    AdvertisingLogger::setQueue(AdvertisingLogger::makeQueue());
  }
  void TearDown() override {
    standin().clearFaults();
    standin().releaseStalls();
    AdvertisingLogger::queue()->waitUntilAllOperationsAreFinished();
    // The install id reply and the pixel requests complete here, not while the process exits.
    EXPECT_TRUE(settled());
    PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
    ServiceTest::TearDown();
  }
  std::vector<StandinRequest> reports() {
    std::vector<StandinRequest> found;
    for (auto& request : standin().requests()) {
      if (request.path.starts_with("/v1/register")) found.push_back(request);
    }
    return found;
  }
  std::size_t queued() { return AdvertisingLogger::queue()->operationCount(); }
  // Whether the queue and the session's tasks all ended; deliveries already queued (the install
  // id reply writes the defaults) have finished too.
  bool settled() {
    const bool ended = runUntil([&] {
      auto session = Webapp::session();
      return queued() == 0 && (!session || session->allTasks().empty());
    });
    if (auto session = Webapp::session()) session->delegateQueue()->sync([] {});
    return ended;
  }
  std::size_t count(const std::string& line) {
    auto lines = printedLines();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }
  std::shared_ptr<PlovexAnalytics> analytics;
};

TEST_F(AdvertisingLoggerTest, EqualReportsStillQueuedAreDroppedWhileOthersWait) {
  standin().injectFault("/v1/register", Fault::stall());
  AdvertisingLogger::didShareContentWithSourceID("s1");
  AdvertisingLogger::didViewContentWithSourceID("s2");
  AdvertisingLogger::didViewContentWithSourceID("s3");
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1 + 3; }));

  struct Case {
    const char* name;
    std::function<void()> report;
    std::size_t queuedAfter;
    const char* printed;  // the duplicate line, when the report is dropped
  };
  const Case cases[] = {
      {"a fourth report waits", [] { AdvertisingLogger::didViewSearchSessionContentWithSourceID("s3", std::nullopt); }, 4, nullptr},
      {"a view behind a queued share", [] { AdvertisingLogger::didViewContentWithSourceID("s1"); }, 4,
       "DUPLICATE VIEW OPERATION FILTERED"},
      {"a click-through behind a queued share", [] { AdvertisingLogger::didClickthruContentWithSourceID("s1"); }, 4,
       "DUPLICATE SHARE OPERATION FILTERED"},
      {"a share behind a queued view", [] { AdvertisingLogger::didShareContentWithSourceID("s2"); }, 5, nullptr},
      {"a second view", [] { AdvertisingLogger::didViewContentWithSourceID("s2"); }, 5,
       "DUPLICATE VIEW OPERATION FILTERED"},
      {"a share behind the waiting share", [] { AdvertisingLogger::didShareContentWithSourceID("s2"); }, 5,
       "DUPLICATE SHARE OPERATION FILTERED"},
      {"a second search-session view, pixels and all",
       [this] {
         AdvertisingLogger::didViewSearchSessionContentWithSourceID("s3",
                                                                    std::vector<std::string>{standinURL("/media/pixel/x/0.gif")});
       },
       5, "DUPLICATE SESSION VIEW OPERATION FILTERED"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t before = c.printed ? count(c.printed) : 0;
    c.report();
    EXPECT_EQ(queued(), c.queuedAfter);
    if (c.printed) { EXPECT_EQ(count(c.printed), before + 1); }
  }
  EXPECT_EQ(standin().stalledCount(), 1u + 3u);  // never more than three reports in flight
  for (const auto& request : standin().requests()) EXPECT_FALSE(request.path.starts_with("/media/pixel"));

  standin().clearFaults();
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return queued() == 0; }));
  EXPECT_EQ(reports().size(), 5u);

  // Once sent, the same report is accepted and sent again.
  AdvertisingLogger::didShareContentWithSourceID("s1");
  ASSERT_TRUE(runUntil([&] { return queued() == 0 && reports().size() == 6; }));
}

TEST_F(AdvertisingLoggerTest, ReportsCarryTheirParameters) {
  analytics->setQuorbID("MTIzNA==");
  advance(0.25);
  AdvertisingLogger::didViewContentWithSourceID("view-id");
  AdvertisingLogger::didShareContentWithSourceID("share-id");
  AdvertisingLogger::didClickthruContentWithSourceID("tap-id");
  AdvertisingLogger::didViewSearchSessionContentWithSourceID("", std::nullopt);
  ASSERT_TRUE(runUntil([&] { return reports().size() == 4; }));

  struct Expected {
    const char* sourceID;
    const char* path;
    std::optional<std::string> action;
  };
  const Expected expected[] = {
      {"view-id", "/v1/registerview", std::nullopt},
      {"share-id", "/v1/registeraction", "share"},
      {"tap-id", "/v1/registeraction", "tap"},
      {"", "/v1/registeraction", "pixel"},
  };
  auto sent = reports();
  for (const auto& e : expected) {
    SCOPED_TRACE(e.sourceID);
    auto request = std::find_if(sent.begin(), sent.end(), [&](const StandinRequest& r) {
      return r.queryValue("source_id") == std::string(e.sourceID);
    });
    ASSERT_NE(request, sent.end());
    EXPECT_EQ(request->path, e.path);
    EXPECT_EQ(request->queryValue("action"), e.action);
    EXPECT_EQ(request->queryValue("key"), "QKW7TNPL2XRM");
    EXPECT_EQ(request->queryValue("quorbid"), "MTIzNA==");
    EXPECT_EQ(request->queryValue("timestamp"), "1800000000.25");
  }

  // Without an install id the parameter is still sent, empty.
  analytics->setQuorbID(std::nullopt);
  AdvertisingLogger::didViewContentWithSourceID("late");
  ASSERT_TRUE(runUntil([&] { return reports().size() == 5; }));
  EXPECT_EQ(reports().back().queryValue("quorbid"), "");
}

TEST_F(AdvertisingLoggerTest, OnlyWebTrackingPixelsAreFetched) {
  auto pixel = [&](int n) { return standinURL("/media/pixel/" + std::to_string(n) + "/0.gif"); };
  AdvertisingLogger::didViewSearchSessionContentWithSourceID(
      "pixels", std::vector<std::string>{pixel(1), "not a url", "file:///etc/passwd", "ftp://127.0.0.1/x", pixel(2)});
  AdvertisingLogger::didViewSearchSessionContentWithSourceID("none", std::vector<std::string>{});
  ASSERT_TRUE(runUntil([&] { return queued() == 0 && reports().size() == 2; }));
  // The two pixels are fetched side by side: wait for each, not for whichever came last.
  for (const char* path : {"/media/pixel/1/0.gif", "/media/pixel/2/0.gif"}) {
    ASSERT_TRUE(standin().waitForRequest([&](const StandinRequest& r) { return r.path == path; }, 5.0)) << path;
  }
  std::vector<std::string> pixels;
  for (const auto& request : standin().requests()) {
    if (request.path.starts_with("/media/pixel")) pixels.push_back(request.path);
  }
  std::sort(pixels.begin(), pixels.end());
  EXPECT_EQ(pixels, (std::vector<std::string>{"/media/pixel/1/0.gif", "/media/pixel/2/0.gif"}));
}

// A pixel is a few bytes: a reply above 64 kB is refused, by its announced length before it is
// read, or once that much has come when none was announced, and said in one line.
TEST_F(AdvertisingLoggerTest, ATrackingPixelsReplyAbove64kBIsRefused) {
  const std::size_t limit = std::size_t(AdvertisingLogger::Constants::pixelReplyLimit);
  const std::string refused = std::string(AdvertisingLogger::Constants::pixelFailure) +
                              "The server's reply is larger than the " + std::to_string(limit) +
                              " bytes this request accepts.";
  const struct {
    const char* name;
    std::size_t bytes;
    bool chunked, taken;
  } rows[] = {
      {"a pixel", 43, false, true},
      {"at the limit", limit, false, true},
      {"a byte over", limit + 1, false, false},
      {"megabytes", std::size_t(8) << 20, false, false},
      {"megabytes of no announced length", std::size_t(8) << 20, true, false},
  };
  // The install id's reply goes through, so that each pixel is all the session has to do.
  standin().clearFaults();
  standin().releaseStalls();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = "/_standin/bytes?n=" + std::to_string(row.bytes) + (row.chunked ? "&chunked=1" : "");
    const std::size_t before = count(refused);
    AdvertisingLogger::didViewSearchSessionContentWithSourceID(row.name, std::vector<std::string>{standinURL(path)});
    ASSERT_TRUE(standin().waitForRequest([&](const StandinRequest& r) { return r.target == path; }, 5.0));
    ASSERT_TRUE(settled());
    EXPECT_EQ(count(refused), before + (row.taken ? 0 : 1));
  }
}

TEST_F(AdvertisingLoggerTest, FailedAndCancelledReportsFinishAndPrintTheirPrefix) {
  standin().injectFault("/v1/register", Fault::drop());
  AdvertisingLogger::didViewContentWithSourceID("v");
  AdvertisingLogger::didClickthruContentWithSourceID("c");
  AdvertisingLogger::didViewSearchSessionContentWithSourceID("s", std::nullopt);
  ASSERT_TRUE(runUntil([&] { return queued() == 0; }));
  auto startsWith = [&](const std::string& prefix) {
    for (const auto& line : printedLines()) {
      if (line.starts_with(prefix) && line.size() > prefix.size()) return true;
    }
    return false;
  };
  EXPECT_TRUE(startsWith("ADVERTISING  VIEW LOGGING FAILURE: "));
  EXPECT_TRUE(startsWith("ADVERTISING SHARE LOGGING FAILURE: "));
  EXPECT_TRUE(startsWith("ADVERTISING SEARCH SESSION VIEW LOGGING FAILURE: "));

  // Cancelled reports, running or waiting, finish too: the source ids are free again.
  standin().clearFaults();
  standin().injectFault("/v1/register", Fault::stall());
  for (const char* id : {"a", "b", "c", "d"}) AdvertisingLogger::didShareContentWithSourceID(id);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1 + 3; }));
  AdvertisingLogger::queue()->cancelAllOperations();
  ASSERT_TRUE(runUntil([&] { return queued() == 0; }));
  AdvertisingLogger::didShareContentWithSourceID("a");
  EXPECT_EQ(queued(), 1u);
}

TEST(AdvertisingLogOperationTest, EqualityFollowsTheQueuedReportsType) {
  using T = AdvertisingLogType;
  struct Case {
    T queued;
    T incoming;
    bool equal;
  };
  const Case cases[] = {
      {T::share, T::view, true},       {T::share, T::sessionView, true}, {T::clickthrough, T::share, true},
      {T::view, T::share, false},      {T::view, T::view, true},         {T::view, T::sessionView, false},
      {T::sessionView, T::sessionView, true}, {T::sessionView, T::view, false},
  };
  for (const auto& c : cases) {
    auto queued = AdvertisingLogOperation::make("id", c.queued);
    EXPECT_EQ(queued->isEqual(AdvertisingLogOperation::make("id", c.incoming)), c.equal);
    EXPECT_FALSE(queued->isEqual(AdvertisingLogOperation::make("other", c.incoming)));
    EXPECT_EQ(queued->hash(), AdvertisingLogOperation::make("id", c.incoming)->hash());
  }
  EXPECT_FALSE(AdvertisingLogOperation::make("id", T::share)->isEqual(nullptr));
  EXPECT_EQ(AdvertisingLogOperation::timestampText(1800000000.0), "1800000000.0");
  EXPECT_EQ(AdvertisingLogOperation::timestampText(1712345678.123456789), "1712345678.12346");
}

}  // namespace
