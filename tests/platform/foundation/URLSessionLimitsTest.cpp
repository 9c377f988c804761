// What a URL session does against slow and hostile servers: minimum rate, whole-transfer
// and queue time-outs, oversized headers and redirects; and what a process shutdown does to
// the transfers still running.

#include <gtest/gtest.h>

#include <atomic>

#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/ProcessShutdown.h"
#include "platform/foundation/URLSessionEngine.h"
#include "tests/support/StandinFixture.h"

namespace {

// One completion's arguments.
struct Ended {
  std::shared_ptr<NSData> data;
  std::shared_ptr<NSURLResponse> response;
  std::shared_ptr<NSError> error;
  std::atomic<bool> done{false};
};

// The text as one query value.
std::string asQueryValue(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
      out.push_back(static_cast<char>(c));
    } else {
      out += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return out;
}

std::shared_ptr<NSURLSession> sessionWithTimeouts(double request, double resource) {
  auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
  configuration->timeoutIntervalForRequest = request;
  configuration->timeoutIntervalForResource = resource;
  return NSURLSession::sessionWithConfiguration(configuration);
}

class URLSessionLimitsTest : public StandinTest {
 protected:
  std::shared_ptr<Ended> start(const std::shared_ptr<NSURLSession>& session, const std::string& path,
                               const char* fault = nullptr) {
    auto ended = std::make_shared<Ended>();
    auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(standinURL(path)));
    if (fault) request->setValue(fault, "X-Standin-Fault");
    session->dataTaskWithRequest(request, [ended](auto data, auto response, auto error) {
      ended->data = data;
      ended->response = response;
      ended->error = error;
      ended->done = true;
    })->resume();
    return ended;
  }
  std::shared_ptr<Ended> fetch(const std::shared_ptr<NSURLSession>& session, const std::string& path) {
    auto ended = start(session, path);
    EXPECT_TRUE(runUntil([&] { return ended->done.load(); }, 30)) << path;
    return ended;
  }
};

TEST_F(URLSessionLimitsTest, SlowServersTimeOutButSteadyOnesFinish) {
  struct Case {
    const char* path;
    double request, resource;
    std::int64_t code;  // 0: the body arrives whole
  };
  const Case cases[] = {
      // 20 bytes a second never keeps up the minimum rate over a one-second window.
      {"/_standin/trickle?length=100000&bytes=2&every=100", 1, 300, NSURLError::timedOut},
      // 10 KB a second does, for longer than the window. The window is wide enough that a
      // loaded machine stalling the server's thread for a few seconds keeps it up as well.
      {"/_standin/trickle?length=61440&bytes=512&every=50", 5, 300, 0},
      // ...but not for longer than the whole transfer may take.
      {"/_standin/trickle?length=100000&bytes=512&every=50", 10, 1, NSURLError::timedOut},
  };
  for (const auto& c : cases) {
    auto ended = fetch(sessionWithTimeouts(c.request, c.resource), c.path);
    if (c.code == 0) {
      ASSERT_FALSE(ended->error) << c.path << ": " << ended->error->description();
      EXPECT_EQ(ended->data->length(), 61440u);
    } else {
      ASSERT_TRUE(ended->error) << c.path;
      EXPECT_EQ(ended->error->code(), c.code) << c.path;
    }
  }
  // Fit for a GIF application: no transfer may take days.
  EXPECT_LE(NSURLSessionConfiguration::defaultSessionConfiguration()->timeoutIntervalForResource, 600);
}

TEST_F(URLSessionLimitsTest, ARequestWaitingForAConnectionTimesOut) {
  // Six replies held by the server take every connection to its host.
  auto patient = sessionWithTimeouts(60, 300);
  std::vector<std::shared_ptr<Ended>> held;
  for (int i = 0; i < 6; ++i) held.push_back(start(patient, "/_standin/bytes?n=" + std::to_string(i + 1), "stall"));
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 6; }));

  auto queued = fetch(sessionWithTimeouts(1, 300), "/_standin/bytes?n=99");
  ASSERT_TRUE(queued->error);
  EXPECT_EQ(queued->error->code(), NSURLError::timedOut);
  for (const auto& request : standin().requests()) EXPECT_NE(request.target, "/_standin/bytes?n=99");

  // The held ones were not disturbed and finish once released.
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return std::ranges::all_of(held, [](const auto& e) { return e->done.load(); }); }));
  for (const auto& ended : held) EXPECT_FALSE(ended->error);
}

TEST_F(URLSessionLimitsTest, ReplyHeadersAreCapped) {
  struct Case {
    const char* path;
    bool accepted;
  };
  const Case cases[] = {
      {"/_standin/headers?count=200&size=16", true},
      {"/_standin/headers?count=25000&size=8", false},   // too many fields
      {"/_standin/headers?count=100&size=8192", false},  // too many bytes
  };
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  for (const auto& c : cases) {
    auto ended = fetch(session, c.path);
    if (c.accepted) {
      ASSERT_FALSE(ended->error) << c.path;
      auto http = asA<NSHTTPURLResponse>(ended->response);
      EXPECT_EQ(http->valueForHTTPHeaderField("x-filler-199"), std::string(16, 'h'));
    } else {
      ASSERT_TRUE(ended->error) << c.path;
      EXPECT_EQ(ended->error->code(), NSURLError::badServerResponse) << c.path;
    }
  }
}

TEST_F(URLSessionLimitsTest, HeaderFieldsKeepTheirOrderAndLookupsThroughChanges) {
  HTTPHeaderFields fields{{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}};
  fields.removeValueForHTTPHeaderField("b");
  fields.addValue("5", "c");
  fields.setValue("6", "E");
  fields.setValue("7", "a");
  std::vector<HTTPHeaderFields::Field> inOrder(fields.begin(), fields.end());
  EXPECT_EQ(inOrder, (std::vector<HTTPHeaderFields::Field>{{"A", "7"}, {"C", "3, 5"}, {"D", "4"}, {"E", "6"}}));
  for (const auto& [name, value] : inOrder) EXPECT_EQ(fields.valueForHTTPHeaderField(name), value);
  EXPECT_EQ(fields.valueForHTTPHeaderField("B"), std::nullopt);
  EXPECT_EQ(fields, (HTTPHeaderFields{{"A", "7"}, {"C", "3, 5"}, {"D", "4"}, {"E", "6"}}));
}

TEST_F(URLSessionLimitsTest, RedirectsMayChangeHostButNeverLeaveHttps) {
  struct Case {
    const char* from;
    const char* location;
    bool followed;
  };
  const Case cases[] = {
      {"https://api.example/a", "https://cdn.example/b.gif", true},
      {"https://api.example/a", "/b.gif", true},
      {"https://api.example/a", "//cdn.example/b.gif", true},
      {"https://api.example/a", "b.gif?x=http://c", true},
      {"https://api.example/a", "http://cdn.example/b.gif", false},
      {"HTTPS://api.example/a", " HTTP://cdn.example/b.gif", false},
      {"https://api.example/a", "http:b.gif", false},
      {"http://api.example/a", "https://cdn.example/b.gif", true},
      {"http://api.example/a", "http://cdn.example/b.gif", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(URLSessionEngine::mayFollowRedirect(c.from, c.location), c.followed) << c.from << " -> " << c.location;
  }

  // Followed to another host on the same machine; another scheme is refused.
  const std::string other = "http://localhost:" + std::to_string(standin().port()) + "/_standin/bytes?n=5";
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  auto moved = fetch(session, "/_standin/redirect?to=" + asQueryValue(other));
  ASSERT_FALSE(moved->error) << moved->error->description();
  EXPECT_EQ(moved->data->string(), "abcde");
  EXPECT_EQ(moved->response->URL()->host(), "localhost");
  auto refused = fetch(session, "/_standin/redirect?to=" + asQueryValue("ftp://127.0.0.1/x"));
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->code(), NSURLError::unsupportedURL);
}

TEST_F(URLSessionLimitsTest, AShutdownEndsRunningTransfersAndRunsTheirEndsFirst) {
  auto handled = std::make_shared<std::atomic<int>>(0);
  ProcessShutdown::atShutdown([handled] { ++*handled; });
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  std::vector<std::shared_ptr<Ended>> running;
  for (int i = 0; i < 3; ++i) running.push_back(start(session, "/_standin/bytes?n=1", "stall"));
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 3; }));

  ProcessShutdown::run();
  // Every end has been delivered by the time the shutdown returns.
  for (const auto& ended : running) {
    ASSERT_TRUE(ended->done.load());
    EXPECT_EQ(ended->error->code(), NSURLError::cancelled);
  }
  EXPECT_GE(handled->load(), 1);
  EXPECT_FALSE(ProcessShutdown::isFinal());
  // Work given afterwards starts the threads again.
  auto later = fetch(session, "/_standin/bytes?n=3");
  EXPECT_FALSE(later->error);
}

}  // namespace
