#include <gtest/gtest.h>

#include <regex>

#include "service/NetworkUtilities.h"
#include "tests/service/ServiceTestSupport.h"

namespace {

class NetworkUtilitiesTest : public ServiceTest {
 protected:
  std::shared_ptr<TelescopePayload> similar(const std::string& body, const std::string& term) {
    std::shared_ptr<TelescopePayload> delivered;
    int calls = 0;
    NetworkUtilities::parseSimilarTermsResponse(NSData::fromString(body), nullptr,
                                                [&](auto payload) {
                                                  ++calls;
                                                  delivered = payload;
                                                },
                                                term);
    EXPECT_EQ(calls, 1);
    return delivered;
  }
  std::vector<std::string> suggestions(const std::string& body) {
    std::vector<std::string> delivered{"<not called>"};
    NetworkUtilities::parseSuggestionsResponse(NSData::fromString(body), nullptr, [&](auto list) { delivered = list; });
    return delivered;
  }
};

TEST_F(NetworkUtilitiesTest, SimilarTermsAndCorrectionsFromTheStandin) {
  const auto& item = standin().catalogue().items().front();
  const std::string term = item.tags.front();
  CallbackBox<std::shared_ptr<TelescopePayload>> box;
  auto task = NetworkUtilities::getTelescopingTerms(term, [&box](auto payload) { box.put(payload); });
  ASSERT_TRUE(task);
  ASSERT_TRUE(runUntil([&] { return box.count() == 1; }));
  auto payload = box.first();
  ASSERT_FALSE(payload->telescopeList.empty());
  for (const auto& unit : payload->telescopeList) {
    EXPECT_EQ(unit.at("type"), "telescope");
    EXPECT_TRUE(unit.count("tag") && unit.count("image"));
  }
  auto sent = waitFor("/v1/similar");
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->query.size(), 2u);  // no key, locale or install id
  EXPECT_EQ(sent->queryValue("tag"), term);
  EXPECT_EQ(sent->queryValue("include_corrections"), "true");

  // A term that finds nothing is corrected.
  CallbackBox<std::shared_ptr<TelescopePayload>> corrected;
  NetworkUtilities::requestSimilarTerms(term.substr(0, 1) + "qqqzz", [&corrected](auto p) { corrected.put(p); });
  ASSERT_TRUE(runUntil([&] { return corrected.count() == 1; }));
  EXPECT_TRUE(corrected.first()->telescopeList.empty());
  ASSERT_FALSE(corrected.first()->didYouMeanList.empty());
  EXPECT_EQ(corrected.first()->didYouMeanList.front().at("type"), "didyoumean");
}

TEST_F(NetworkUtilitiesTest, SimilarTermRepliesOfEveryShape) {
  struct Case {
    std::string body;
    std::string term;
    std::size_t telescope;
    std::size_t corrections;
  };
  const Case cases[] = {
      {R"({"results": {"cat": [{"tag": "kitten", "image": "i"}, {"tag": "x", "type": "didyoumean"}],
                       "corrections": {"cats": "u1", "act": "u2"}}})", "cat", 2, 2},
      {R"({"results": {"cat": [{"tag": "kitten"}]}, "meta": "x"})", "cat", 0, 0},      // a member that is no object
      {R"({"results": {"corrections": {"cats": "u"}}})", "cat", 0, 1},
      {R"({"results": {"Cat": [{"tag": "kitten"}]}})", "cat", 0, 0},                  // exact term only
      {R"({"results": {"cat": [{"tag": "kitten"}, {"tag": 1}]}})", "cat", 0, 0},
      {R"({"results": {"cat": [{"tag": "k"}], "corrections": {"a": "u", "b": 2}}})", "cat", 1, 0},
      {R"({"results": {"corrections": [{"tag": "k"}]}})", "corrections", 1, 0},
      {R"({"results": {"corrections": {"a": "u"}}})", "corrections", 0, 1},
      {R"([1])", "cat", 0, 0},
      {"nope", "cat", 0, 0},
  };
  for (const auto& c : cases) {
    auto payload = similar(c.body, c.term);
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->telescopeList.size(), c.telescope) << c.body;
    EXPECT_EQ(payload->didYouMeanList.size(), c.corrections) << c.body;
  }
  auto kinds = similar(cases[0].body, "cat");
  EXPECT_EQ(kinds->telescopeList[0].at("type"), "telescope");
  EXPECT_EQ(kinds->telescopeList[1].at("type"), "didyoumean");
  EXPECT_EQ(kinds->didYouMeanList[0], (TelescopePayload::Entry{{"tag", "cats"}, {"image", "u1"}, {"type", "didyoumean"}}));

  // A transport error gives the empty payload.
  std::shared_ptr<TelescopePayload> failed;
  NetworkUtilities::parseSimilarTermsResponse(nullptr, NSError::make("x", 1), [&](auto p) { failed = p; }, "cat");
  ASSERT_TRUE(failed);
  EXPECT_TRUE(failed->isEmpty());
}

TEST_F(NetworkUtilitiesTest, Suggestions) {
  const std::string prefix = standin().catalogue().items().front().tags.front().substr(0, 2);
  CallbackBox<std::vector<std::string>> box;
  ASSERT_TRUE(NetworkUtilities::requestSuggestions(prefix, true, [&box](auto list) { box.put(list); }));
  ASSERT_TRUE(runUntil([&] { return box.count() == 1; }));
  EXPECT_FALSE(box.first().empty());
  auto sent = waitFor("/v1/suggest");
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->query.size(), 6u);
  EXPECT_EQ(sent->queryValue("tag"), prefix);
  EXPECT_EQ(sent->queryValue("key"), "QKW7TNPL2XRM");
  EXPECT_EQ(sent->queryValue("limit"), "30");
  EXPECT_EQ(sent->queryValue("locale"), "en");
  EXPECT_EQ(sent->queryValue("type"), "trending");
  EXPECT_TRUE(std::regex_match(sent->queryValue("localtime").value_or(""), std::regex("[0-2][0-9]:[0-5][0-9]")));

  standin().clearLog();
  CallbackBox<std::vector<std::string>> upload;
  NetworkUtilities::requestSuggestions("", false, [&upload](auto list) { upload.put(list); });
  ASSERT_TRUE(runUntil([&] { return upload.count() == 1; }));
  auto uploadSent = waitFor("/v1/suggest");
  ASSERT_TRUE(uploadSent);
  EXPECT_EQ(uploadSent->queryValue("type"), "upload");
  EXPECT_EQ(uploadSent->queryValue("tag"), "");

  EXPECT_EQ(suggestions(R"({"results": ["a", "b"], "other": []})"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(suggestions(R"({"results": ["a"], "other": [1]})"), std::vector<std::string>{});
  EXPECT_EQ(suggestions(R"({"results": ["a"], "count": 1})"), std::vector<std::string>{});
  EXPECT_EQ(suggestions(R"({"other": ["a"]})"), std::vector<std::string>{});
  EXPECT_EQ(suggestions("[]"), std::vector<std::string>{});
  EXPECT_EQ(suggestions("{"), std::vector<std::string>{});

  // A cancelled request still completes, with the empty list.
  standin().injectFault("/v1/suggest", Fault::stall(), 1);
  CallbackBox<std::vector<std::string>> cancelled;
  auto task = NetworkUtilities::requestSuggestions("ca", true, [&cancelled](auto list) { cancelled.put(list); });
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  task->cancel();
  ASSERT_TRUE(runUntil([&] { return cancelled.count() == 1; }));
  EXPECT_TRUE(cancelled.first().empty());
  standin().releaseStalls();
}

}  // namespace
