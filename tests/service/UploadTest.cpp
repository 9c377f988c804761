#include <gtest/gtest.h>

#include <atomic>

#include "platform/foundation/NSURLResponse.h"
#include "service/Webapp.h"
#include "tests/service/ServiceTestSupport.h"

namespace {

const std::string B = "-------UPLOAD BOUNDARY--------";

struct Reply {
  std::shared_ptr<NSData> data;
  std::shared_ptr<NSURLResponse> response;
  std::shared_ptr<NSError> error;
};

class InvalidationDelegate : public NSURLSessionDelegate {
 public:
  void URLSession(const std::shared_ptr<NSURLSession>&, const std::shared_ptr<NSError>&) override { ++invalidated; }
  void URLSession(const std::shared_ptr<NSURLSession>&, const std::shared_ptr<NSURLSessionTask>&, std::int64_t,
                  std::int64_t total, std::int64_t) override {
    sent = total;
  }
  std::atomic<int> invalidated = 0;
  std::atomic<std::int64_t> sent = 0;
};

class UploadTest : public ServiceTest {
 protected:
  Reply upload(const std::string& endpoint, std::shared_ptr<NSData> data, std::optional<std::string> field,
               const Webapp::StringMap& params, std::shared_ptr<NSURLSessionDelegate> delegate = nullptr) {
    CallbackBox<Reply> box;
    auto task = Webapp::uploadWithEndpoint(endpoint, data, field, params, delegate,
                                           [&box](auto d, auto r, auto e) { box.put({d, r, e}); });
    EXPECT_TRUE(runUntil([&] { return box.count() == 1; }));
    EXPECT_EQ(box.count(), 1u);
    return box.count() ? box.first() : Reply{};
  }
};

TEST_F(UploadTest, BodyLayout) {
  struct Case {
    std::shared_ptr<NSData> data;
    std::optional<std::string> field;
    Webapp::StringMap params;
    std::string expected;
  };
  const std::string textPart = "\r\n--" + B + "\r\nContent-Disposition: form-data; name=\"tags\";\r\n\r\ncats";
  const std::string close = "\r\n--" + B + "--\r\n";
  const auto gif = NSData::fromString(std::string("GIF89a\0\x01\xff", 9));
  const Case cases[] = {
      {nullptr, std::nullopt, {}, ""},
      {nullptr, std::nullopt, {{"tags", "cats"}}, textPart + close},
      {nullptr, "upload", {{"tags", "cats"}}, textPart + close},  // a field name without data is unused
      {gif, std::nullopt, {},
       "\r\n--" + B + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"image.gif\"\r\n" +
           "Content-Type: application/octet-stream\r\n\r\n" + gif->string() + close},
      {gif, "gif", {{"tags", "cats"}},
       textPart + "\r\n--" + B + "\r\nContent-Disposition: form-data; name=\"gif\"; filename=\"image.gif\"\r\n" +
           "Content-Type: application/octet-stream\r\n\r\n" + gif->string() + close},
      {nullptr, std::nullopt, {{"title", "Ça va ünïcode"}},
       "\r\n--" + B + "\r\nContent-Disposition: form-data; name=\"title\";\r\n\r\nÇa va ünïcode" + close},
  };
  for (const auto& c : cases) {
    auto body = Webapp::multipartBody(c.data, c.field, c.params);
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)->string(), c.expected);
  }
}

TEST_F(UploadTest, UploadReachesTheServiceAsMultipart) {
  const auto gif = NSData::fromString(std::string("GIF89a\0\x01\x02 binary \r\n--not the boundary", 36));
  const Webapp::StringMap params{{"tags", "cats, dogs"}, {"title", "Ça va"}};
  auto delegate = std::make_shared<InvalidationDelegate>();
  auto reply = upload("/quorb.upload", gif, std::nullopt, params, delegate);
  EXPECT_FALSE(reply.error);
  ASSERT_TRUE(reply.data);
  EXPECT_NE(reply.data->string().find("\"status\""), std::string::npos);

  auto request = waitFor("/quorb.upload");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->method, "POST");
  EXPECT_EQ(request->header("content-type"), "multipart/form-data; boundary=" + B);
  // The upload's own session does not carry the shared session's User-Agent.
  EXPECT_NE(request->header("User-Agent"), Webapp::userAgent());
  // The stand-in received the body byte for byte as laid out, and read every part's name.
  auto task = Webapp::uploadWithEndpoint("/quorb.upload", gif, std::nullopt, params, nullptr, nullptr);
  ASSERT_TRUE(task);
  const std::string expected = (*Webapp::multipartBody(gif, std::nullopt, params))->string();
  EXPECT_EQ(task->originalRequest()->HTTPBody()->string(), expected);
  EXPECT_EQ(request->body, expected);
  ASSERT_EQ(request->parts.size(), 3u);
  for (const auto& [name, value] : params) {
    ASSERT_TRUE(request->part(name)) << name;
    EXPECT_EQ(request->part(name)->content, value);
    EXPECT_EQ(request->part(name)->filename, "");
    EXPECT_EQ(request->part(name)->contentType, "");
  }
  ASSERT_TRUE(request->part("file"));
  EXPECT_EQ(request->part("file")->filename, "image.gif");
  EXPECT_EQ(request->part("file")->contentType, "application/octet-stream");
  EXPECT_EQ(request->part("file")->content, gif->string());
  // The reply lists the parts as read, names included.
  for (const auto& name : {"tags", "title", "file"}) {
    EXPECT_NE(reply.data->string().find("\"name\":\"" + std::string(name) + "\""), std::string::npos) << name;
  }

  // The session was used for this one upload and then let go.
  EXPECT_TRUE(runUntil([&] { return delegate->invalidated == 1; }));
  EXPECT_EQ(delegate->sent, static_cast<std::int64_t>(task->originalRequest()->HTTPBody()->length()));
}

TEST_F(UploadTest, ValuesWithQuotesAndLineBreaksUploadAsWritten) {
  const Webapp::StringMap params{{"title", "Funny \"cats\""}, {"caption", "line one\r\nline two\n"},
                                 {"note", "ends in a dash -- and --" + B.substr(0, 10)}};
  auto reply = upload("/quorb.upload", NSData::fromString("GIF89a \"quoted\"\r\n"), std::nullopt, params);
  EXPECT_FALSE(reply.error);
  // An upload of an earlier test may still arrive: wait for this one's own parts.
  auto request = standin().waitForRequest(
      [](const StandinRequest& r) { return r.path == "/quorb.upload" && r.part("caption"); }, 5.0);
  ASSERT_TRUE(request);
  ASSERT_EQ(request->parts.size(), 4u);
  for (const auto& [name, value] : params) {
    ASSERT_TRUE(request->part(name)) << name;
    EXPECT_EQ(request->part(name)->content, value) << name;
  }
  EXPECT_EQ(request->part("file")->content, "GIF89a \"quoted\"\r\n");
}

TEST_F(UploadTest, ErrorStatusesAndFailuresReachTheCallback) {
  standin().addRoute("POST", "/quorb\\.upload", [](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    response.setError(500, "no room");
  });
  auto reply = upload("/quorb.upload", nullptr, std::nullopt, {{"a", "b"}});
  EXPECT_FALSE(reply.error);
  ASSERT_TRUE(reply.data);
  EXPECT_EQ(asA<NSHTTPURLResponse>(reply.response)->statusCode(), 500);

  standin().injectFault("/quorb.upload", Fault::drop());
  auto dropped = upload("/quorb.upload", nullptr, std::nullopt, {{"a", "b"}});
  EXPECT_TRUE(dropped.error);
  EXPECT_FALSE(dropped.data);

  // Without a callback the reply is simply dropped. The log starts afresh so that the wait
  // is for this upload, not one of those before.
  standin().clearFaults();
  standin().clearLog();
  EXPECT_TRUE(Webapp::uploadWithEndpoint("/quorb.upload", nullptr, std::nullopt, {{"a", "b"}}, nullptr, nullptr));
  EXPECT_TRUE(waitFor("/quorb.upload"));
}

TEST_F(UploadTest, UnsafeFieldsAndBoundaryBytesAreRefusedUnsent) {
  struct Case {
    std::shared_ptr<NSData> data;
    std::optional<std::string> field;
    Webapp::StringMap params;
    Webapp::UploadError why;
  };
  const Case cases[] = {
      {nullptr, std::nullopt, {{"ta\rgs", "x"}}, Webapp::UploadError::unsafeField},
      {nullptr, std::nullopt, {{"ta\ngs", "x"}}, Webapp::UploadError::unsafeField},
      {nullptr, std::nullopt, {{"ta\"gs", "x"}}, Webapp::UploadError::unsafeField},
      {nullptr, std::nullopt, {{"tags", "x\r\n--" + B + "\r\ny"}}, Webapp::UploadError::boundaryInContent},
      {nullptr, std::nullopt, {{"tags", "--" + B}}, Webapp::UploadError::boundaryInContent},
      {NSData::fromString("GIF"), "fi\"le", {}, Webapp::UploadError::unsafeField},
      {NSData::fromString("GIF89a\r\n--" + B + "--\r\n"), std::nullopt, {}, Webapp::UploadError::boundaryInContent},
      {NSData::fromString("--" + B + "tail"), std::nullopt, {}, Webapp::UploadError::boundaryInContent},
  };
  for (const auto& c : cases) {
    auto body = Webapp::multipartBody(c.data, c.field, c.params);
    ASSERT_FALSE(body);
    EXPECT_EQ(body.error(), c.why);
    CallbackBox<Reply> box;
    EXPECT_FALSE(Webapp::uploadWithEndpoint("/quorb.upload", c.data, c.field, c.params, nullptr,
                                            [&box](auto d, auto r, auto e) { box.put({d, r, e}); }));
    ASSERT_EQ(box.count(), 1u);
    ASSERT_TRUE(box.first().error);
    EXPECT_EQ(box.first().error->domain(), "WebappUpload");
    EXPECT_EQ(box.first().error->code(), static_cast<std::int64_t>(c.why));
  }
  // An endpoint that is no URL: no task and no callback.
  bool called = false;
  EXPECT_FALSE(Webapp::uploadWithEndpoint("/quorb upload", nullptr, std::nullopt, {{"a", "b"}}, nullptr,
                                          [&](auto, auto, auto) { called = true; }));
  EXPECT_FALSE(called);
  flushThroughMarker();
  EXPECT_TRUE(requestsFor("/quorb.upload").empty());
}

}  // namespace
