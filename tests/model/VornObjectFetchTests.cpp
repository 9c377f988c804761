#include <gtest/gtest.h>

#include <mutex>

#include "standin/StandinRequest.h"
#include "tests/model/ModelTestSupport.h"
#include "tests/support/StandinFixture.h"

namespace {

class VornObjectFetchTest : public StandinTest {
 protected:
  struct Outcome {
    std::mutex mutex;
    bool called = false;
    int calls = 0;
    std::shared_ptr<VornObject> item;
  };

  std::shared_ptr<Outcome> fetch(const std::string& identifier) {
    auto outcome = std::make_shared<Outcome>();
    VornObject::getVornDataForIdentifier(identifier, [outcome](std::shared_ptr<VornObject> item) {
      std::lock_guard lock(outcome->mutex);
      outcome->called = true;
      ++outcome->calls;
      outcome->item = std::move(item);
    });
    return outcome;
  }

  std::shared_ptr<VornObject> fetchAndWait(const std::string& identifier) {
    auto outcome = fetch(identifier);
    EXPECT_TRUE(runUntil([&] {
      std::lock_guard lock(outcome->mutex);
      return outcome->called;
    }));
    std::lock_guard lock(outcome->mutex);
    EXPECT_EQ(outcome->calls, 1);
    return outcome->item;
  }

  void replyWith(const std::string& body) {
    standin().addRoute("GET", "/v1/post", [body](const StandinRequest&, StandinResponse& response, const Catalogue&) {
      response.setJson(body);
    });
  }
};

TEST_F(VornObjectFetchTest, FetchesOnePostOfTheCatalogue) {
  const auto& entry = standin().catalogue().items().at(3);
  auto item = fetchAndWait(entry.id);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->vid, entry.id);
  EXPECT_EQ(item->title, entry.title);
  auto request = standin().waitForRequest([](const StandinRequest& r) { return r.path == "/v1/post"; }, 5);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->method, "GET");
  EXPECT_EQ(request->queryValue("id"), entry.id);
  EXPECT_EQ(request->queryValue("key"), "QKW7TNPL2XRM");
}

TEST_F(VornObjectFetchTest, UnusableRepliesReachTheCallerAsNoItem) {
  const std::string post = R"({"id":"1","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}]})";
  const std::string cases[] = {
      "not json at all",
      "[]",
      "{}",
      R"({"results":{}})",
      R"({"results":[]})",
      R"({"results":["text"]})",
      R"({"results":[{"media":[]},)" + post + "]}",  // only the first post counts
  };
  for (const auto& body : cases) {
    replyWith(body);
    EXPECT_EQ(fetchAndWait("1"), nullptr) << body;
  }
  EXPECT_EQ(fetchAndWait("999999999"), nullptr);  // unknown to the catalogue: empty results
}

TEST_F(VornObjectFetchTest, OnlyTheFirstOfSeveralPostsIsUsed) {
  replyWith(R"({"results":[{"id":"1","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}]},
                           {"id":"2","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}]}]})");
  auto item = fetchAndWait("1");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->vid, "1");
}

TEST_F(VornObjectFetchTest, ServerAndTransportFailuresGiveNoItem) {
  standin().injectFault("/v1/post", Fault::status500());
  EXPECT_EQ(fetchAndWait(standin().catalogue().items().at(0).id), nullptr);
  standin().clearFaults();
  standin().injectFault("/v1/post", Fault::notJson());
  EXPECT_EQ(fetchAndWait(standin().catalogue().items().at(0).id), nullptr);
  standin().clearFaults();
  standin().injectFault("/v1/post", Fault::drop());
  EXPECT_EQ(fetchAndWait(standin().catalogue().items().at(0).id), nullptr);
}

TEST_F(VornObjectFetchTest, AnIdentifierThatIsNoNumberCallsBackAtOnceWithoutARequest) {
  for (const char* identifier : {"abc", "", "12a", "file:///etc/passwd"}) {
    auto outcome = fetch(identifier);
    std::lock_guard lock(outcome->mutex);
    EXPECT_TRUE(outcome->called) << identifier;
    EXPECT_EQ(outcome->item, nullptr);
  }
  EXPECT_TRUE(standin().requests().empty());
}

}  // namespace
