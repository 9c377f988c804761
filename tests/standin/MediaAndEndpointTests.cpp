#include <gtest/gtest.h>

#include <future>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "tests/standin/GifDecode.h"
#include "tests/support/HttpGet.h"
#include "tests/support/StandinFixture.h"

namespace {

class StandinMediaTest : public StandinTest {
 protected:
  std::shared_ptr<NSDictionary> json(const HttpReply& reply) {
    auto object = NSJSONSerialization::JSONObjectWithBytes(reply.body);
    return object ? asA<NSDictionary>(*object) : nullptr;
  }
};

TEST_F(StandinMediaTest, ItemMediaComeWithTheirLengthOrInChunks) {
  const auto& catalogue = standin().catalogue();
  EXPECT_EQ(catalogue.baseURL(), standin().baseURL());
  const auto& item = catalogue.items()[10];
  for (const auto& format : Catalogue::formats()) {
    SCOPED_TRACE(format);
    std::string url = catalogue.mediaURL(item, format);
    ASSERT_TRUE(url.starts_with(standin().baseURL() + "/media/"));
    std::string path = url.substr(standin().baseURL().size());
    auto expected = catalogue.mediaFile(path)->bytes();
    auto plain = httpGet(url);
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.status, 200);
    EXPECT_EQ(plain.header("Content-Length"), std::to_string(catalogue.mediaSize(item, format)));
    EXPECT_EQ(plain.header("Content-Type"), format.find("gif") != std::string::npos ? "image/gif" : "video/mp4");
    EXPECT_TRUE(plain.body == expected);
    auto chunked = httpGet(url + "?chunked=1");
    EXPECT_EQ(chunked.header("Transfer-Encoding"), "chunked");
    EXPECT_FALSE(chunked.header("Content-Length").has_value());
    EXPECT_TRUE(chunked.body == expected);
  }
  auto head = perform({.method = "HEAD", .url = catalogue.mediaURL(item, "gif")});
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.header("Content-Length"), std::to_string(catalogue.mediaSize(item, "gif")));
  EXPECT_TRUE(head.body.empty());
}

TEST_F(StandinMediaTest, SizedMediaReachBeyondTenMegabytes) {
  struct Case {
    std::string path;
    std::size_t size;
  };
  for (const Case& c : {Case{"/media/sized/12000000.gif", 12'000'000}, Case{"/media/sized/12000000.gif?chunked=1", 12'000'000},
                        Case{"/media/sized/200.gif", 200}, Case{"/media/sized/654321.gif", 654'321}, Case{"/media/sized/10485761.mp4", 10'485'761}}) {
    SCOPED_TRACE(c.path);
    auto reply = httpGet(standinURL(c.path));
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body.size(), c.size);
    if (c.path.find("chunked") == std::string::npos) { EXPECT_EQ(reply.header("Content-Length"), std::to_string(c.size)); }
    std::string path = c.path.substr(0, c.path.find('?'));
    EXPECT_TRUE(reply.body == standin().catalogue().mediaFile(path)->bytes());
    if (c.path.find(".gif") != std::string::npos) {
      EXPECT_EQ(reply.body.substr(0, 6), "GIF89a");
      EXPECT_EQ(reply.body.back(), '\x3b');
      // Decoding many megabytes of padding is slow under the sanitizers; the small
      // sizes show that the padded files decode.
      if (c.size < 1'000'000) {
        auto decoded = decodeGif(reply.body);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->width, 8);
      }
    }
  }
}

TEST_F(StandinMediaTest, MissingMediaAreJsonNotFound) {
  for (const char* path : {"/media/1/gif.gif", "/media/sized/1.gif", "/media/nothing", "/media/sized/5000000000.gif"}) {
    SCOPED_TRACE(path);
    auto reply = httpGet(standinURL(path));
    EXPECT_EQ(reply.status, 404);
    auto body = json(reply);
    ASSERT_TRUE(body);
    EXPECT_TRUE(body->objectForKeyAs<NSString>("error"));
  }
}

TEST_F(StandinMediaTest, EchoDescribesTheRequest) {
  auto reply = perform({.method = "PUT",
                        .url = standinURL("/_standin/echo?a=1&b=two%20words&a=3"),
                        .headers = {"X-Thing: yes"},
                        .body = std::string("12345")});
  auto body = json(reply);
  ASSERT_TRUE(body);
  EXPECT_EQ(body->objectForKeyAs<NSString>("method")->string(), "PUT");
  EXPECT_EQ(body->objectForKeyAs<NSString>("path")->string(), "/_standin/echo");
  auto query = body->objectForKeyAs<NSDictionary>("query");
  EXPECT_EQ(query->objectForKeyAs<NSString>("a")->string(), "1");
  EXPECT_EQ(query->objectForKeyAs<NSString>("b")->string(), "two words");
  EXPECT_EQ(body->objectForKeyAs<NSDictionary>("headers")->objectForKeyAs<NSString>("X-Thing")->string(), "yes");
  EXPECT_EQ(body->objectForKeyAs<NSNumber>("bodyLength")->integerValue(), 5);
}

TEST_F(StandinMediaTest, LogIsReadableAndClearableOverHttp) {
  httpGet(standinURL("/v1/first?x=1"));
  perform({.method = "POST", .url = standinURL("/v1/second"), .body = std::string("{\"a\":1}")});
  perform({.method = "POST", .url = standinURL("/v1/binary"), .body = std::string("\xff\xfe\0", 3)});
  auto log = json(httpGet(standinURL("/_standin/log")));
  ASSERT_TRUE(log);
  auto entries = log->objectForKeyAs<NSArray>("requests");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->count(), 3u);  // the log's own requests are not in it
  auto first = asA<NSDictionary>(entries->objectAtIndex(0));
  EXPECT_EQ(first->objectForKeyAs<NSString>("path")->string(), "/v1/first");
  EXPECT_EQ(first->objectForKeyAs<NSString>("target")->string(), "/v1/first?x=1");
  auto second = asA<NSDictionary>(entries->objectAtIndex(1));
  EXPECT_EQ(second->objectForKeyAs<NSString>("body")->string(), "{\"a\":1}");
  auto binary = asA<NSDictionary>(entries->objectAtIndex(2));
  EXPECT_FALSE(binary->containsKey("body"));
  EXPECT_EQ(binary->objectForKeyAs<NSNumber>("bodyLength")->integerValue(), 3);

  EXPECT_EQ(perform({.method = "DELETE", .url = standinURL("/_standin/log")}).status, 200);
  EXPECT_TRUE(standin().requests().empty());
}

TEST_F(StandinMediaTest, StallsCanBeReleasedOverHttp) {
  standin().injectFault("/v1/slow", Fault::stall(), 1);
  auto held = std::async(std::launch::async, [this] { return httpGet(standinURL("/v1/slow")); });
  ASSERT_TRUE(runUntil([this] { return standin().stalledCount() == 1; }));
  EXPECT_EQ(perform({.method = "POST", .url = standinURL("/_standin/release"), .body = std::string()}).status, 200);
  EXPECT_EQ(held.get().status, 404);
}

}  // namespace
