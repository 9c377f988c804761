#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/Paths.h"
#include "tests/support/Gzip.h"
#include "tests/support/Loopback.h"
#include "tests/support/StandinFixture.h"

namespace fs = std::filesystem;

namespace {

// Everything a session told its delegate, in order. Sessions in these tests deliver on
// the main queue, so the recorder is only touched on the main thread.
class RecordingDelegate : public NSURLSessionDelegate {
 public:
  struct Write {
    std::int64_t written, total, expected;
  };

  void URLSession(const std::shared_ptr<NSURLSession>&, const std::shared_ptr<NSError>& error) override {
    ++invalidations;
    invalidationError = error;
  }
  void URLSession(const std::shared_ptr<NSURLSession>&, const std::shared_ptr<NSURLSessionDataTask>&,
                  const std::shared_ptr<NSData>& data) override {
    received += data->string();
  }
  void URLSession(const std::shared_ptr<NSURLSession>&, const std::shared_ptr<NSURLSessionDownloadTask>&,
                  std::int64_t written, std::int64_t total, std::int64_t expected) override {
    writes.push_back({written, total, expected});
  }
  void URLSession(const std::shared_ptr<NSURLSession>&, const std::shared_ptr<NSURLSessionDownloadTask>& task,
                  const std::shared_ptr<NSURL>& location) override {
    downloadedPath = location->path();
    std::ifstream in(downloadedPath, std::ios::binary);
    downloaded.assign(std::istreambuf_iterator<char>(in), {});
    finishedDescription = task->taskDescription();
  }
  void URLSession(const std::shared_ptr<NSURLSession>&, const std::shared_ptr<NSURLSessionTask>&,
                  std::int64_t sent, std::int64_t total, std::int64_t expected) override {
    sentTotal += sent;
    lastSent = total;
    expectedToSend = expected;
  }
  void URLSession(const std::shared_ptr<NSURLSession>&, const std::shared_ptr<NSURLSessionTask>&,
                  const std::shared_ptr<NSError>& error) override {
    completions.push_back(error);
  }

  int invalidations = 0;
  std::shared_ptr<NSError> invalidationError;
  std::string received;
  std::vector<Write> writes;
  std::string downloadedPath;
  std::string downloaded;
  std::string finishedDescription;
  std::int64_t sentTotal = 0, lastSent = 0, expectedToSend = 0;
  std::vector<std::shared_ptr<NSError>> completions;
};

// One completion's arguments, handed to the main thread.
struct Reply {
  std::shared_ptr<NSData> data;
  std::shared_ptr<NSURLResponse> response;
  std::shared_ptr<NSError> error;
  bool onDelegateQueue = false;
  int calls = 0;
};

std::string expectedBytes(std::size_t n) {
  std::string bytes;
  for (std::size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
  return bytes;
}

}  // namespace

class URLSessionTest : public StandinTest {
 protected:
  std::shared_ptr<NSURL> url(const std::string& path) { return NSURL::URLWithString(standinURL(path)); }

  // A session whose completions land in `reply` on the main thread.
  std::shared_ptr<NSURLSessionDataTask> fetch(const std::shared_ptr<NSURLSession>& session,
                                              const std::shared_ptr<NSURLRequest>& request,
                                              const std::shared_ptr<Reply>& reply) {
    return session->dataTaskWithRequest(request, [session, reply](auto data, auto response, auto error) {
      const bool onQueue = session->delegateQueue()->isCurrent() && !NSRunLoop::isMainThread();
      DispatchQueue::main()->async([=] {
        reply->data = data;
        reply->response = response;
        reply->error = error;
        reply->onDelegateQueue = onQueue;
        ++reply->calls;
      });
    });
  }

  std::shared_ptr<Reply> fetchAndWait(const std::shared_ptr<NSURLSession>& session,
                                      const std::shared_ptr<NSURLRequest>& request) {
    auto reply = std::make_shared<Reply>();
    fetch(session, request, reply)->resume();
    EXPECT_TRUE(runUntil([&] { return reply->calls > 0; }, 30));
    return reply;
  }

  static std::shared_ptr<NSURLSession> sessionOnMainQueue(const std::shared_ptr<NSURLSessionDelegate>& delegate,
                                                          std::shared_ptr<NSURLSessionConfiguration> configuration = nullptr) {
    return NSURLSession::sessionWithConfiguration(configuration, delegate, DispatchQueue::main());
  }
};

TEST_F(URLSessionTest, AGetCarriesTheConfiguredHeadersAndRepliesOnTheDelegateQueue) {
  auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
  configuration->HTTPAdditionalHeaders.setValue("Glimdeck/1.0 (; iOS 10.13)", "User-Agent");
  configuration->HTTPAdditionalHeaders.setValue("session", "X-Both");
  auto session = NSURLSession::sessionWithConfiguration(configuration);
  configuration->HTTPAdditionalHeaders.setValue("too late", "X-Late");

  auto request = NSURLRequest::requestWithURL(url("/_standin/bytes?n=100"));
  request->setValue("request", "x-both");
  request->setValue("1\r\nX-Smuggled: yes", "X-Injected");
  request->setValue("v", "Bad Name");
  auto reply = fetchAndWait(session, request);

  ASSERT_EQ(reply->calls, 1);
  EXPECT_FALSE(reply->error);
  EXPECT_TRUE(reply->onDelegateQueue);
  ASSERT_TRUE(reply->data);
  EXPECT_EQ(reply->data->string(), expectedBytes(100));
  auto http = asA<NSHTTPURLResponse>(reply->response);
  ASSERT_TRUE(http);
  EXPECT_EQ(http->statusCode(), 200);
  EXPECT_EQ(http->MIMEType(), "application/octet-stream");
  EXPECT_EQ(http->expectedContentLength(), 100);
  EXPECT_EQ(http->URL()->absoluteString(), standinURL("/_standin/bytes?n=100"));

  auto logged = standin().waitForRequest([](const StandinRequest& r) { return r.path == "/_standin/bytes"; }, 5);
  ASSERT_TRUE(logged);
  EXPECT_EQ(logged->method, "GET");
  EXPECT_EQ(logged->header("User-Agent"), "Glimdeck/1.0 (; iOS 10.13)");
  EXPECT_EQ(logged->header("X-Both"), "request");
  EXPECT_EQ(logged->header("X-Late"), std::nullopt);
  EXPECT_EQ(logged->header("X-Injected"), std::nullopt);
  EXPECT_EQ(logged->header("X-Smuggled"), std::nullopt);
}

TEST_F(URLSessionTest, AnErrorStatusIsAReplyNotAFailure) {
  auto request = NSURLRequest::requestWithURL(url("/_standin/bytes?n=10"));
  request->setValue("status500", "X-Standin-Fault");
  auto reply = fetchAndWait(NSURLSession::sessionWithConfiguration(nullptr), request);
  EXPECT_FALSE(reply->error);
  ASSERT_TRUE(reply->data);
  EXPECT_GT(reply->data->length(), 0u);
  EXPECT_EQ(asA<NSHTTPURLResponse>(reply->response)->statusCode(), 500);

  auto missing = fetchAndWait(NSURLSession::sessionWithConfiguration(nullptr),
                              NSURLRequest::requestWithURL(url("/no/such/route")));
  EXPECT_FALSE(missing->error);
  EXPECT_EQ(asA<NSHTTPURLResponse>(missing->response)->statusCode(), 404);
}

TEST_F(URLSessionTest, DownloadsReportProgressAndLandInATemporaryFile) {
  struct Case {
    const char* query;
    std::int64_t expected;
  };
  for (const Case& c : {Case{"/_standin/bytes?n=300000", 300000}, Case{"/_standin/bytes?n=300000&chunked=1", -1}}) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = sessionOnMainQueue(delegate);
    auto task = session->downloadTaskWithURL(url(c.query));
    task->setTaskDescription("gif");
    task->resume();
    ASSERT_TRUE(runUntil([&] { return !delegate->completions.empty(); }, 30)) << c.query;

    ASSERT_EQ(delegate->completions.size(), 1u);
    EXPECT_FALSE(delegate->completions[0]) << delegate->completions[0]->description();
    EXPECT_EQ(delegate->downloaded, expectedBytes(300000));
    EXPECT_EQ(delegate->finishedDescription, "gif");
    EXPECT_EQ(fs::path(delegate->downloadedPath).parent_path(), Paths::temporary());
    // Named after the application its bundle describes.
    EXPECT_TRUE(fs::path(delegate->downloadedPath).filename().string().starts_with("glimdeck-download-"));
    // Removed once the delegate has seen it.
    EXPECT_FALSE(fs::exists(delegate->downloadedPath));

    ASSERT_FALSE(delegate->writes.empty());
    std::int64_t sum = 0;
    for (const auto& write : delegate->writes) {
      sum += write.written;
      EXPECT_EQ(write.total, sum);
      EXPECT_EQ(write.expected, c.expected) << c.query;
    }
    EXPECT_EQ(sum, 300000);
    EXPECT_EQ(task->countOfBytesReceived(), 300000);
    EXPECT_EQ(task->state(), NSURLSessionTask::State::completed);
  }
}

TEST_F(URLSessionTest, ADownloadWithACompletionHandlerGetsTheFileWhileTheHandlerRuns) {
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  std::atomic<bool> done = false;
  std::string contents, path;
  std::shared_ptr<NSError> error;
  session->downloadTaskWithURL(url("/_standin/bytes?n=5000"), [&](auto location, auto, auto failure) {
    error = failure;
    if (location) {
      path = location->path();
      std::ifstream in(path, std::ios::binary);
      contents.assign(std::istreambuf_iterator<char>(in), {});
    }
    done = true;
  })->resume();
  ASSERT_TRUE(runUntil([&] { return done.load(); }, 30));
  EXPECT_FALSE(error);
  EXPECT_EQ(contents, expectedBytes(5000));
  EXPECT_TRUE(runUntil([&] { return !fs::exists(path); }, 5));
}

TEST_F(URLSessionTest, ACancelledTaskEndsOnceWithTheCancelledError) {
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  auto request = NSURLRequest::requestWithURL(url("/_standin/bytes?n=10"));
  request->setValue("stall", "X-Standin-Fault");
  auto reply = std::make_shared<Reply>();
  auto task = fetch(session, request, reply);
  task->resume();
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }, 10));
  task->cancel();
  task->cancel();
  ASSERT_TRUE(runUntil([&] { return reply->calls > 0; }, 10));
  standin().releaseStalls();
  runUntil([] { return false; }, 0.2);

  EXPECT_EQ(reply->calls, 1);
  ASSERT_TRUE(reply->error);
  EXPECT_EQ(reply->error->domain(), NSError::NSURLErrorDomain);
  EXPECT_EQ(reply->error->code(), NSURLError::cancelled);
  EXPECT_FALSE(reply->data);
  EXPECT_EQ(task->state(), NSURLSessionTask::State::completed);

  // A task cancelled before it starts never reaches the server.
  auto early = std::make_shared<Reply>();
  auto unstarted = fetch(session, NSURLRequest::requestWithURL(url("/_standin/bytes?n=11")), early);
  unstarted->cancel();
  unstarted->resume();
  ASSERT_TRUE(runUntil([&] { return early->calls > 0; }, 10));
  EXPECT_EQ(early->error->code(), NSURLError::cancelled);
  for (const auto& logged : standin().requests()) EXPECT_NE(logged.target, "/_standin/bytes?n=11");
}

TEST_F(URLSessionTest, ProgressQueuedBeforeACancelIsNotDelivered) {
  auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
  configuration->maximumBodySize = std::int64_t{1} << 40;
  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = sessionOnMainQueue(delegate, configuration);
  auto task = session->downloadTaskWithURL(url("/_standin/bytes?n=2000000000&chunked=1"));
  task->resume();
  // The main queue is not pumped meanwhile, so every progress report waits there.
  while (task->countOfBytesReceived() == 0 && task->state() == NSURLSessionTask::State::running) {
    std::this_thread::yield();
  }
  task->cancel();
  ASSERT_TRUE(runUntil([&] { return !delegate->completions.empty(); }, 30));
  ASSERT_TRUE(delegate->completions[0]);
  EXPECT_EQ(delegate->completions[0]->code(), NSURLError::cancelled);
  EXPECT_TRUE(delegate->writes.empty());
  EXPECT_TRUE(delegate->downloadedPath.empty());
  // The partial file is gone with the transfer.
  for (const auto& entry : fs::directory_iterator(Paths::temporary())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("glimdeck-download-")) << entry.path();
  }
}

TEST_F(URLSessionTest, TransportFailuresAreURLErrors) {
  struct Case {
    std::string url;
    const char* fault;
    std::int64_t code;
  };
  const std::vector<Case> cases = {
      {standinURL("/_standin/bytes?n=10"), "drop", NSURLError::networkConnectionLost},
      {"http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/x", nullptr, NSURLError::cannotConnectToHost},
      // TLS to a server that does not speak it: the handshake fails, nothing is sent in clear.
      {"https://127.0.0.1:" + std::to_string(standin().port()) + "/_standin/bytes?n=10", nullptr,
       NSURLError::secureConnectionFailed},
      {"ftp://127.0.0.1/x", nullptr, NSURLError::unsupportedURL},
      {"relative/only", nullptr, NSURLError::unsupportedURL},
  };
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  for (const auto& c : cases) {
    auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(c.url));
    if (c.fault) request->setValue(c.fault, "X-Standin-Fault");
    auto reply = fetchAndWait(session, request);
    ASSERT_TRUE(reply->error) << c.url;
    EXPECT_EQ(reply->error->domain(), NSError::NSURLErrorDomain);
    EXPECT_EQ(reply->error->code(), c.code) << c.url;
    EXPECT_FALSE(reply->data);
  }
  auto noURL = fetchAndWait(session, NSURLRequest::requestWithURL(nullptr));
  EXPECT_EQ(noURL->error->code(), NSURLError::badURL);
}

TEST_F(URLSessionTest, AStalledReplyTimesOut) {
  auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
  configuration->timeoutIntervalForResource = 0.1;
  auto request = NSURLRequest::requestWithURL(url("/_standin/bytes?n=10"));
  request->setValue("stall", "X-Standin-Fault");
  auto reply = fetchAndWait(NSURLSession::sessionWithConfiguration(configuration), request);
  ASSERT_TRUE(reply->error);
  EXPECT_EQ(reply->error->domain(), NSError::NSURLErrorDomain);
  EXPECT_EQ(reply->error->code(), NSURLError::timedOut);
}

TEST_F(URLSessionTest, AnOversizedBodyIsRefused) {
  auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
  configuration->maximumBodySize = 1000;
  auto small = NSURLSession::sessionWithConfiguration(configuration);
  for (const char* path : {"/_standin/bytes?n=1000", "/_standin/bytes?n=1001", "/_standin/bytes?n=50000&chunked=1"}) {
    auto reply = fetchAndWait(small, NSURLRequest::requestWithURL(url(path)));
    if (std::string(path) == "/_standin/bytes?n=1000") {
      EXPECT_FALSE(reply->error);
      continue;
    }
    ASSERT_TRUE(reply->error) << path;
    EXPECT_EQ(reply->error->code(), NSURLError::dataLengthExceedsMaximum) << path;
    EXPECT_FALSE(reply->data);
  }

  // The default cap leaves room for the largest cached media but not for a runaway body.
  auto request = NSURLRequest::requestWithURL(url("/_standin/bytes?n=10"));
  request->setValue("oversized=20000000", "X-Standin-Fault");
  auto reply = fetchAndWait(NSURLSession::sessionWithConfiguration(nullptr), request);
  ASSERT_TRUE(reply->error);
  EXPECT_EQ(reply->error->code(), NSURLError::dataLengthExceedsMaximum);

  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = sessionOnMainQueue(delegate);
  session->downloadTaskWithURL(url("/_standin/bytes?n=10000001"))->resume();
  ASSERT_TRUE(runUntil([&] { return !delegate->completions.empty(); }, 60));
  EXPECT_FALSE(delegate->completions[0]);
  EXPECT_EQ(delegate->downloaded.size(), 10000001u);
}

// A reply the server compressed reaches the completion expanded, no longer than the cap,
// whatever its compressed size; one that cannot be expanded fails with its own error.
TEST_F(URLSessionTest, CompressedRepliesArriveExpandedWithinTheCap) {
  const std::string text = expectedBytes(300'000);
  std::string broken = testgzip::gzip(text);
  broken[broken.size() / 2] = static_cast<char>(broken[broken.size() / 2] ^ 0x33);
  struct Case {
    const char* name;
    std::string body;
    const char* coding;
    std::optional<std::int64_t> requestCap;  // the session's is 1,000,000 bytes
    std::string expected;
    std::int64_t code;  // 0: the body arrives whole
  };
  const Case cases[] = {
      {"gzip", testgzip::gzip(text), "gzip", {}, text, 0},
      {"deflate", testgzip::compress(text, 15), "deflate", {}, text, 0},
      {"gzip past the session's cap", testgzip::gzip(std::string(1'000'001, 'a')), "gzip", {}, "",
       NSURLError::dataLengthExceedsMaximum},
      {"gzip within the session's cap but past the request's", testgzip::gzip(text), "gzip", 299'999, "",
       NSURLError::dataLengthExceedsMaximum},
      {"gzip at the request's cap", testgzip::gzip(text), "gzip", 300'000, text, 0},
      {"a request's cap above the session's changes nothing", testgzip::gzip(std::string(1'000'001, 'a')), "gzip",
       2'000'000, "", NSURLError::dataLengthExceedsMaximum},
      {"broken gzip", broken, "gzip", {}, "", NSURLError::cannotDecodeContentData},
      {"an unknown coding", text, "zz", {}, "", NSURLError::cannotDecodeContentData},
  };
  auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
  configuration->maximumBodySize = 1'000'000;
  auto session = NSURLSession::sessionWithConfiguration(configuration);
  for (const auto& c : cases) {
    standin().addRoute("GET", "/compressed", [&c](const StandinRequest&, StandinResponse& response, const Catalogue&) {
      response.setText(c.body, "application/octet-stream");
      response.headers.emplace_back("Content-Encoding", c.coding);
    });
    auto request = NSURLRequest::requestWithURL(url("/compressed"));
    request->setMaximumBodySize(c.requestCap);
    auto reply = std::make_shared<Reply>();
    auto task = fetch(session, request, reply);
    task->resume();
    ASSERT_TRUE(runUntil([&] { return reply->calls > 0; }, 30)) << c.name;
    if (c.code != 0) {
      ASSERT_TRUE(reply->error) << c.name;
      EXPECT_EQ(reply->error->code(), c.code) << c.name;
      EXPECT_EQ(task->error(), reply->error) << c.name;
      EXPECT_FALSE(reply->data) << c.name;
      continue;
    }
    ASSERT_FALSE(reply->error) << c.name << ": " << reply->error->localizedDescription();
    ASSERT_TRUE(reply->data) << c.name;
    EXPECT_EQ(reply->data->view(), c.expected) << c.name;
    EXPECT_EQ(task->countOfBytesReceived(), static_cast<std::int64_t>(c.expected.size())) << c.name;
    EXPECT_EQ(asA<NSHTTPURLResponse>(reply->response)->valueForHTTPHeaderField("Content-Encoding"), c.coding);
  }

  // Streamed to a delegate, a compressed body arrives expanded too.
  standin().addRoute("GET", "/compressed", [&](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    response.setText(testgzip::gzip(text), "application/octet-stream");
    response.headers.emplace_back("Content-Encoding", "gzip");
  });
  auto delegate = std::make_shared<RecordingDelegate>();
  sessionOnMainQueue(delegate)->dataTaskWithURL(url("/compressed"))->resume();
  ASSERT_TRUE(runUntil([&] { return !delegate->completions.empty(); }, 30));
  EXPECT_FALSE(delegate->completions[0]);
  EXPECT_EQ(delegate->received, text);
}

TEST_F(URLSessionTest, ARequestsOwnCapRefusesALongerBodyWithAClearError) {
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  for (const char* path : {"/_standin/bytes?n=5000", "/_standin/bytes?n=5000&chunked=1"}) {
    auto request = NSURLRequest::requestWithURL(url(path));
    request->setMaximumBodySize(4096);
    EXPECT_EQ(request->copy()->maximumBodySize(), 4096);
    auto reply = fetchAndWait(session, request);
    ASSERT_TRUE(reply->error) << path;
    EXPECT_EQ(reply->error->code(), NSURLError::dataLengthExceedsMaximum) << path;
    EXPECT_EQ(reply->error->localizedDescription(),
              "The server's reply is larger than the 4096 bytes this request accepts.");
    EXPECT_FALSE(reply->data);
    request->setMaximumBodySize(5000);
    auto whole = fetchAndWait(session, request);
    EXPECT_FALSE(whole->error) << path;
    ASSERT_TRUE(whole->data);
    EXPECT_EQ(whole->data->string(), expectedBytes(5000));
  }
}

TEST_F(URLSessionTest, FiveHundredTasksInFlightAllComplete) {
  constexpr int kTasks = 500;
  auto done = std::make_shared<std::atomic<int>>(0);
  auto good = std::make_shared<std::atomic<int>>(0);
  {
    // Neither the session nor the tasks are kept: running tasks keep what they need.
    auto session = NSURLSession::sessionWithConfiguration(nullptr);
    for (int i = 0; i < kTasks; ++i) {
      const std::size_t n = 100 + i;
      session->dataTaskWithURL(url("/_standin/bytes?n=" + std::to_string(n)), [=](auto data, auto response, auto error) {
        if (!error && data && data->length() == n && asA<NSHTTPURLResponse>(response)->statusCode() == 200) ++*good;
        ++*done;
      })->resume();
    }
  }
  ASSERT_TRUE(runUntil([&] { return done->load() == kTasks; }, 120));
  EXPECT_EQ(good->load(), kTasks);
}

TEST_F(URLSessionTest, UploadsReportProgressAndSendTheBody) {
  standin().addRoute("POST", "/upload", [](const StandinRequest& request, StandinResponse& response, const Catalogue&) {
    response.setText(std::to_string(request.body.size()), "text/plain");
  });
  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = sessionOnMainQueue(delegate);
  std::string body(200000, 'z');
  body[0] = '\0';
  auto request = NSURLRequest::requestWithURL(url("/upload"));
  request->setValue("application/octet-stream", "Content-Type");
  std::shared_ptr<NSData> reply;
  bool done = false;
  auto task = session->uploadTaskWithRequest(request, NSData::fromString(body), [&](auto data, auto, auto error) {
    EXPECT_FALSE(error);
    reply = data;
    done = true;
  });
  EXPECT_EQ(task->originalRequest()->HTTPMethod(), "POST");
  EXPECT_EQ(request->HTTPMethod(), "GET");  // the caller's request is not changed
  task->resume();
  ASSERT_TRUE(runUntil([&] { return done; }, 30));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->string(), "200000");
  EXPECT_EQ(delegate->sentTotal, 200000);
  EXPECT_EQ(delegate->lastSent, 200000);
  EXPECT_EQ(delegate->expectedToSend, 200000);
  // With a completion handler the delegate hears progress only.
  EXPECT_TRUE(delegate->completions.empty());
  auto logged = standin().waitForRequest([](const StandinRequest& r) { return r.path == "/upload"; }, 5);
  ASSERT_TRUE(logged);
  EXPECT_EQ(logged->body, body);
  EXPECT_EQ(logged->header("Content-Type"), "application/octet-stream");
}

TEST_F(URLSessionTest, DataTasksWithoutACompletionStreamToTheDelegate) {
  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = sessionOnMainQueue(delegate);
  auto request = NSURLRequest::requestWithURL(url("/_standin/bytes?n=70000"));
  auto task = session->dataTaskWithRequest(request);
  EXPECT_EQ(task->state(), NSURLSessionTask::State::suspended);
  EXPECT_EQ(task->originalRequest()->URL()->absoluteString(), standinURL("/_standin/bytes?n=70000"));
  EXPECT_NE(task->originalRequest(), request);
  EXPECT_NE(session->dataTaskWithRequest(request)->taskIdentifier(), task->taskIdentifier());
  task->resume();
  ASSERT_TRUE(runUntil([&] { return !delegate->completions.empty(); }, 30));
  EXPECT_FALSE(delegate->completions[0]);
  EXPECT_EQ(delegate->received, expectedBytes(70000));
  EXPECT_EQ(asA<NSHTTPURLResponse>(task->response())->statusCode(), 200);
}

TEST_F(URLSessionTest, ATaskCountsAsRunningUntilItsCompletionHasRun) {
  // Callers wait for a session to go quiet by its list of tasks and then for its queue: a task
  // that left the list before its completion was queued let them go on too early.
  auto session = sessionOnMainQueue(nullptr);
  bool delivered = false;
  auto task = session->dataTaskWithURL(url("/_standin/bytes?n=10"), [&](auto, auto, auto) { delivered = true; });
  task->resume();
  // The main queue is not run here, so the reply arrives but cannot be delivered.
  auto seenWithin = [&](double seconds, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    return condition();
  };
  ASSERT_TRUE(seenWithin(30, [&] { return task->countOfBytesReceived() == 10; }));
  EXPECT_FALSE(seenWithin(1, [&] { return task->state() == NSURLSessionTask::State::completed; }));
  EXPECT_EQ(session->allTasks().size(), 1u);
  ASSERT_TRUE(runUntil([&] { return delivered; }));
  EXPECT_EQ(task->state(), NSURLSessionTask::State::completed);
  EXPECT_FALSE(task->error());
  EXPECT_TRUE(session->allTasks().empty());
}

TEST_F(URLSessionTest, InvalidateAndCancelEndsEveryTaskThenTheSession) {
  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = sessionOnMainQueue(delegate);
  auto request = NSURLRequest::requestWithURL(url("/_standin/bytes?n=10"));
  request->setValue("stall", "X-Standin-Fault");
  for (int i = 0; i < 3; ++i) session->dataTaskWithRequest(request)->resume();
  auto unstarted = session->dataTaskWithRequest(request);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 3; }, 10));
  EXPECT_EQ(session->allTasks().size(), 4u);

  session->invalidateAndCancel();
  ASSERT_TRUE(runUntil([&] { return delegate->invalidations == 1; }, 10));
  ASSERT_EQ(delegate->completions.size(), 4u);
  for (const auto& error : delegate->completions) EXPECT_EQ(error->code(), NSURLError::cancelled);
  EXPECT_FALSE(delegate->invalidationError);
  EXPECT_FALSE(session->delegate());
  EXPECT_TRUE(session->allTasks().empty());

  // A task made after invalidation ends at once without reaching the server.
  auto reply = fetchAndWait(session, NSURLRequest::requestWithURL(url("/_standin/bytes?n=12")));
  ASSERT_TRUE(reply->error);
  EXPECT_EQ(reply->error->code(), NSURLError::cancelled);
}

TEST_F(URLSessionTest, FinishTasksAndInvalidateLetsRunningTasksFinish) {
  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = sessionOnMainQueue(delegate);
  auto request = NSURLRequest::requestWithURL(url("/_standin/bytes?n=10"));
  request->setValue("stall", "X-Standin-Fault");
  session->dataTaskWithRequest(request)->resume();
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }, 10));
  session->finishTasksAndInvalidate();
  runUntil([] { return false; }, 0.2);
  EXPECT_EQ(delegate->invalidations, 0);
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return delegate->invalidations == 1; }, 10));
  ASSERT_EQ(delegate->completions.size(), 1u);
  EXPECT_FALSE(delegate->completions[0]);
  EXPECT_EQ(delegate->received, "abcdefghij");

  bool reset = false;
  session->resetWithCompletionHandler([&] { reset = NSRunLoop::isMainThread(); });
  EXPECT_TRUE(runUntil([&] { return reset; }, 5));
}

TEST_F(URLSessionTest, ASessionLetGoWhileItsTasksRunStillDelivers) {
  auto delegate = std::make_shared<RecordingDelegate>();
  {
    auto session = sessionOnMainQueue(delegate);
    session->downloadTaskWithURL(url("/_standin/bytes?n=2000"))->resume();
  }
  ASSERT_TRUE(runUntil([&] { return !delegate->completions.empty(); }, 30));
  EXPECT_EQ(delegate->downloaded.size(), 2000u);

  // A delegate that is gone simply hears nothing; the task still ends.
  auto gone = std::make_shared<RecordingDelegate>();
  auto session = sessionOnMainQueue(gone);
  auto task = session->dataTaskWithURL(url("/_standin/bytes?n=10"));
  gone.reset();
  task->resume();
  EXPECT_TRUE(runUntil([&] { return task->state() == NSURLSessionTask::State::completed; }, 10));
}

TEST_F(URLSessionTest, ResponsesReadTheirHeaders) {
  auto response = NSHTTPURLResponse::make(
      NSURL::URLWithString("http://h/dir/cat.gif?token=secret"), 200,
      {{"content-type", "Text/HTML; charset=\"UTF-8\""}, {"Content-Length", "42"}});
  EXPECT_EQ(response->MIMEType(), "text/html");
  EXPECT_EQ(response->textEncodingName(), "utf-8");
  EXPECT_EQ(response->expectedContentLength(), 42);
  EXPECT_EQ(response->valueForHTTPHeaderField("CONTENT-LENGTH"), "42");
  EXPECT_EQ(response->suggestedFilename(), "cat.gif");
  EXPECT_EQ(response->description().find("secret"), std::string::npos);

  auto named = NSHTTPURLResponse::make(NSURL::URLWithString("http://h/"), 200,
                                       {{"Content-Disposition", "attachment; filename=\"a.gif\""}});
  EXPECT_EQ(named->suggestedFilename(), "a.gif");
  EXPECT_EQ(named->expectedContentLength(), -1);
  auto hostile = NSHTTPURLResponse::make(NSURL::URLWithString("http://h/"), 200,
                                         {{"Content-Disposition", "attachment; filename=\"../../x\""}});
  EXPECT_EQ(hostile->suggestedFilename(), "Unknown");
  EXPECT_EQ(NSHTTPURLResponse::make(nullptr, 200, {{"Content-Length", "-5"}})->expectedContentLength(), -1);

  HTTPHeaderFields fields{{"Accept", "a"}};
  fields.addValue("b", "accept");
  fields.setValue("x", "X-One");
  fields.removeValueForHTTPHeaderField("x-one");
  EXPECT_EQ(fields.valueForHTTPHeaderField("ACCEPT"), "a, b");
  EXPECT_EQ(fields.count(), 1u);
}

TEST_F(URLSessionTest, HeaderNamesMatchIgnoringTheCaseOfLettersOnly) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {
      {"Content-Length", "content-length", true}, {"ETAG", "ETag", true}, {"x-a_b", "X-A_B", true},
      {"Content-Length", "Content-Lengths", false}, {"a[", "a{", false},  // '[' and '{' differ only in the case bit
      {"@", "`", false}, {"X-1", "X-!", false}, {"\xC3\x89", "\xC3\xA9", false}, {"", "", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HTTPHeaderFields::namesEqual(c.a, c.b), c.equal) << c.a << " / " << c.b;
    HTTPHeaderFields fields{{c.a, "1"}};
    EXPECT_EQ(fields.valueForHTTPHeaderField(c.b).has_value(), c.equal) << c.a << " / " << c.b;
  }
  EXPECT_EQ(HTTPHeaderFields::trimmedView(" \t value \r\n"), "value");
  EXPECT_EQ(HTTPHeaderFields::trimmedView(" \r\n"), "");
}

// A lone request's completion may run on the thread that ended its transfer; the network
// must go on meanwhile: a request started from a completion, or even waited for there, runs.
TEST_F(URLSessionTest, RequestsStartedAndAwaitedFromCompletionsRunWhileTheCompletionDoes) {
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  auto other = NSURLSession::sessionWithConfiguration(nullptr);
  std::atomic<int> done{0};
  std::atomic<bool> sound{true};
  std::function<void()> next = [&] {
    session->dataTaskWithURL(url("/_standin/bytes?n=2000"), [&](auto data, auto, auto error) {
      sound = sound && session->delegateQueue()->isCurrent() && !error && data && data->length() == 2000;
      // Waits here for a request of another session to come back.
      std::promise<bool> awaited;
      other->dataTaskWithURL(url("/_standin/bytes?n=10"), [&](auto inner, auto, auto innerError) {
               awaited.set_value(!innerError && inner && inner->length() == 10);
             })->resume();
      sound = sound && awaited.get_future().get();
      if (++done < 10) next();
    })->resume();
  };
  next();
  EXPECT_TRUE(runUntil([&] { return done.load() == 10; }, 60));
  EXPECT_TRUE(sound);
}
