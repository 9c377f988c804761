#include <gtest/gtest.h>

#include "model/VNTag.h"
#include "model/VornObject.h"
#include "platform/foundation/NSString.h"
#include "service/PlovexAnalytics.h"
#include "service/VNStreamRequester.h"
#include "service/VNTagRequester.h"
#include "tests/service/ServiceTestSupport.h"

namespace {

using Outcome = std::pair<bool, std::optional<VNRequester::Content>>;

class RecordingCollectionDelegate : public VNRequesterCollectionDelegate {
 public:
  void didFetchWithContent(const VNRequester::Content& content, const std::string& name) override {
    pages.put({content.size(), name});
  }
  CallbackBox<std::pair<std::size_t, std::string>> pages;
};

class RequesterTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    // A known install id, so that making requesters asks the service nothing.
    NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA=="), "analytics-key");
    PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
  }
  void TearDown() override {
    PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
    ServiceTest::TearDown();
  }

  // Fetches once and waits for the one callback.
  Outcome fetch(const std::shared_ptr<VNRequester>& requester) {
    auto box = std::make_shared<CallbackBox<Outcome>>();
    requester->fetchWithCallback([box](bool ok, std::optional<VNRequester::Content> content) { box->put({ok, content}); });
    EXPECT_TRUE(runUntil([&] { return box->count() >= 1; }));
    flushThroughMarker();
    EXPECT_EQ(box->count(), 1u);
    return box->count() ? box->first() : Outcome{};
  }
  // A route that answers every request with `body` and `status`.
  void answer(const std::string& path, std::string body, int status = 200) {
    standin().addRoute("GET", path, [body, status](const StandinRequest&, StandinResponse& response, const Catalogue&) {
      response.setText(body, "application/json", status);
    });
  }
  std::string itemJson(std::size_t index) { return standin().catalogue().itemJson(standin().catalogue().items().at(index)); }
  // A catalogue tag that finds at least `count` items.
  std::pair<std::string, std::size_t> termWithAtLeast(std::size_t count) {
    for (const auto& item : standin().catalogue().items()) {
      for (const auto& tag : item.tags) {
        auto found = standin().catalogue().search(tag).size();
        if (found >= count) return {tag, found};
      }
    }
    return {"", standin().catalogue().items().size()};
  }
};

TEST_F(RequesterTest, ThreePageSearchRunsToTheEndOfTheStream) {
  auto [term, found] = termWithAtLeast(3);
  const std::size_t limit = (found + 2) / 3;
  auto requester = VNStreamRequester::getForTermWithTerm(term);
  requester->addGenericParametersWithGenerics({{"limit", std::to_string(limit)}});
  std::size_t total = 0;
  int pages = 0;
  while (requester->canFetchMore() && pages < 5) {
    auto [ok, content] = fetch(requester);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(content);
    for (const auto& object : *content) {
      auto item = asA<VornObject>(object);
      ASSERT_TRUE(item);
      EXPECT_TRUE(item->advertisingDataSingleSaveFlag);
    }
    total += content->size();
    ++pages;
  }
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(total, found);
  EXPECT_TRUE(requester->endOfStream());
  EXPECT_FALSE(requester->canFetchMore());

  auto sent = requestsFor("/v1/search");
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_FALSE(sent[0].queryValue("pos"));
  EXPECT_EQ(sent[1].queryValue("pos"), std::to_string(limit));
  EXPECT_EQ(sent[2].queryValue("pos"), std::to_string(2 * limit));
  for (const auto& request : sent) {
    EXPECT_EQ(request.queryValue("tag"), term);
    EXPECT_EQ(request.queryValue("key"), "QKW7TNPL2XRM");
    EXPECT_EQ(request.queryValue("quorbid"), "MTIzNA==");
    EXPECT_TRUE(request.queryValue("locale"));
  }
}

TEST_F(RequesterTest, FactoriesAndParameters) {
  auto plain = VNStreamRequester::getForUserWithUsername("someone");
  auto at = VNStreamRequester::getForUserWithUsername("@someone");
  EXPECT_EQ(plain->genericParameters.at("tag"), "@someone");
  EXPECT_EQ(at->genericParameters.at("tag"), "@someone");
  EXPECT_EQ(plain->getStreamID(), Webapp::zoltoNewApiURLBase() + "/v1/search");
  EXPECT_EQ(VNStreamRequester::getForTrendingContent()->streamID, Webapp::zoltoNewApiURLBase() + "/v1/trending");
  auto tag = VNTag::initWithNewApiData({{"path", "https://elsewhere.example/stream/7"}});
  EXPECT_EQ(VNStreamRequester::getForTagWithTag(tag)->streamID, "https://elsewhere.example/stream/7");

  // A factory's value wins over a common parameter; a generic "pos" wins over the position.
  auto custom = VNStreamRequester::initWithStreamID("https://h.example/s", VNRequester::Parameters{{"key", "mine"}});
  EXPECT_EQ(custom->genericParameters.at("key"), "mine");
  custom->setStreamPosition("20");
  EXPECT_EQ(custom->constructParameters().at("pos"), "20");
  custom->addGenericParametersWithGenerics({{"pos", "99"}});
  EXPECT_EQ(custom->constructParameters().at("pos"), "99");

  // A stored install id goes out as stored, even without its Base64 padding; without a
  // known install id no "quorbid" goes out.
  NSUserDefaults::standardUserDefaults()->setObject(NSString::make("MTIzNA"), "analytics-key");
  PlovexAnalytics::setSharedPlovexAnalytics(nullptr);
  EXPECT_EQ(VNStreamRequester::init()->genericParameters.at("quorbid"), "MTIzNA");
  PlovexAnalytics::sharedPlovexAnalytics()->setQuorbID(std::nullopt);
  EXPECT_FALSE(VNStreamRequester::init()->genericParameters.contains("quorbid"));
  EXPECT_FALSE(VNRequester::init()->canFetchMore());
  EXPECT_FALSE(VNRequester::init()->shouldFetchExtra());
}

TEST_F(RequesterTest, UserStreamsAndTrendingComeFromTheStandin) {
  const auto& catalogue = standin().catalogue();
  std::string username;
  for (const auto& item : catalogue.items()) {
    if (item.user) {
      username = catalogue.users()[*item.user].username;
      break;
    }
  }
  ASSERT_FALSE(username.empty());
  auto [ok, content] = fetch(VNStreamRequester::getForUserWithUsername(username));
  EXPECT_TRUE(ok);
  ASSERT_TRUE(content);
  EXPECT_FALSE(content->empty());
  auto trending = fetch(VNStreamRequester::getForTrendingContent());
  EXPECT_TRUE(trending.first);
  ASSERT_TRUE(trending.second);
  EXPECT_EQ(trending.second->size(), Catalogue::defaultPageSize);
}

TEST_F(RequesterTest, RepliesOfEveryShape) {
  struct Case {
    std::string body;
    int status;
    bool ok;
    std::optional<std::size_t> items;  // none: no list
    bool end;
    std::optional<std::string> position;
  };
  const std::string good0 = itemJson(0), good1 = itemJson(1);
  const Case cases[] = {
      {R"({"results": [], "next": "abc"})", 200, true, 0, true, "abc"},
      {R"({"results": [)" + good0 + R"(, {"foo": 1}, )" + good1 + R"(], "next": "5"})", 200, true, 2, false, "5"},
      {R"({"results": ["a", "b"], "next": "5"})", 200, true, 0, true, "5"},
      {R"({"results": [)" + good0 + R"(], "next": ""})", 200, true, 1, true, ""},
      {R"({"results": [)" + good0 + R"(], "next": "start"})", 200, true, 1, true, "start"},  // the same page again
      {R"({"results": [)" + good0 + R"(]})", 200, true, 1, true, "start"},  // no "next": the stream ends
      {R"({"results": [)" + good0 + R"(], "next": 7})", 200, true, 1, true, "start"},
      {R"({"error": "boom"})", 500, true, 0, true, "start"},
      {R"([1, 2])", 200, true, 0, true, "start"},
      {R"({})", 200, true, 0, true, "start"},
      {"not json", 200, false, std::nullopt, false, "start"},
      {"", 200, false, std::nullopt, false, "start"},
  };
  int index = 0;
  for (const auto& c : cases) {
    const std::string path = "/t/stream" + std::to_string(index++);
    answer(path, c.body, c.status);
    auto requester = VNStreamRequester::initWithStreamID(standinURL(path), std::nullopt);
    requester->setStreamPosition("start");
    auto [ok, content] = fetch(requester);
    EXPECT_EQ(ok, c.ok) << c.body;
    EXPECT_EQ(content.has_value(), c.items.has_value()) << c.body;
    if (content && c.items) { EXPECT_EQ(content->size(), *c.items) << c.body; }
    EXPECT_EQ(requester->endOfStream(), c.end) << c.body;
    EXPECT_EQ(requester->streamPosition(), c.position) << c.body;
    ASSERT_TRUE(requestsFor(path).size() == 1u);
    EXPECT_EQ(requestsFor(path)[0].queryValue("pos"), "start");
  }
}

TEST_F(RequesterTest, FailuresCancelsAndStallsCallBackOnce) {
  // A URL that cannot be formed: at once, nothing sent, no task kept.
  auto broken = VNStreamRequester::initWithStreamID("not a url", std::nullopt);
  int calls = 0;
  broken->fetchWithCallback([&](bool ok, auto content) {
    ++calls;
    EXPECT_FALSE(ok);
    EXPECT_FALSE(content);
  });
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(broken->fetchTask());

  // A transport failure.
  standin().injectFault("/v1/search", Fault::drop());
  auto dropped = VNStreamRequester::getForTermWithTerm("cat");
  auto failed = fetch(dropped);
  EXPECT_FALSE(failed.first);
  EXPECT_FALSE(failed.second);
  EXPECT_FALSE(dropped->endOfStream());
  standin().clearFaults();

  // A stall that is released answers normally; one that is cancelled fails.
  for (bool cancel : {false, true}) {
    standin().injectFault("/v1/search", Fault::stall(), 1);
    auto requester = VNStreamRequester::getForTermWithTerm("cat");
    auto box = std::make_shared<CallbackBox<Outcome>>();
    requester->fetchWithCallback([box](bool ok, auto content) { box->put({ok, content}); });
    ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
    if (cancel) {
      requester->cancelRequest();
    } else {
      standin().releaseStalls();
    }
    ASSERT_TRUE(runUntil([&] { return box->count() == 1; }));
    EXPECT_EQ(box->first().first, !cancel);
    EXPECT_EQ(box->first().second.has_value(), !cancel);
    standin().releaseStalls();
    flushThroughMarker();
    EXPECT_EQ(box->count(), 1u);
  }

  // The base class never calls back.
  bool baseCalled = false;
  VNRequester::init()->fetchWithCallback([&](bool, auto) { baseCalled = true; });
  flushThroughMarker();
  EXPECT_FALSE(baseCalled);
}

// A page past what a page can sensibly be is refused before it is read: the fetch fails and
// the stream goes on, so the next fetch asks for the same page again.
TEST_F(RequesterTest, AnOversizedPageFailsTheFetchAndLeavesTheStreamAsItWas) {
  auto requester = VNStreamRequester::getForTermWithTerm("");
  auto first = fetch(requester);
  ASSERT_TRUE(first.first);
  const auto position = requester->streamPosition();
  ASSERT_TRUE(position);
  for (bool chunked : {false, true}) {
    standin().injectFault("/v1/search", Fault::oversized(Webapp::ReplyLimits::itemPage + 1), 1);
    if (chunked) standin().injectFault("/v1/search", Fault::chunked(), 1);
    auto refused = fetch(requester);
    EXPECT_FALSE(refused.first);
    EXPECT_FALSE(refused.second);
    EXPECT_FALSE(requester->endOfStream());
    EXPECT_EQ(requester->streamPosition(), position);
    auto error = requester->fetchTask()->error();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), NSURLError::dataLengthExceedsMaximum);
  }
  auto next = fetch(requester);
  ASSERT_TRUE(next.first);
  ASSERT_TRUE(next.second);
  EXPECT_FALSE(next.second->empty());
  auto asked = requestsFor("/v1/search");
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back().queryValue("pos"), position);
}

TEST_F(RequesterTest, OnePageAtATimeAndACancelledPageChangesNothing) {
  standin().injectFault("/v1/search", Fault::stall(), 1);
  auto requester = VNStreamRequester::getForTermWithTerm("cat");
  auto first = std::make_shared<CallbackBox<Outcome>>();
  auto second = std::make_shared<CallbackBox<Outcome>>();
  requester->fetchWithCallback([first](bool ok, auto content) { first->put({ok, content}); });
  auto firstTask = requester->fetchTask();
  EXPECT_TRUE(requester->isFetching());
  // A second ask while the page is on its way would fetch the same page: refused at once.
  requester->fetchWithCallback([second](bool ok, auto content) { second->put({ok, content}); });
  ASSERT_EQ(second->count(), 1u);
  EXPECT_EQ(second->first(), (Outcome{false, std::nullopt}));
  EXPECT_EQ(requester->fetchTask(), firstTask);
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return first->count() == 1; }));
  EXPECT_TRUE(first->first().first);
  EXPECT_FALSE(requester->isFetching());
  const auto position = requester->streamPosition();
  ASSERT_TRUE(position);
  EXPECT_EQ(requestsFor("/v1/search").size(), 1u);

  // After the reply the task stays; cancelling it then calls nothing back.
  requester->cancelRequest();
  flushThroughMarker();
  EXPECT_EQ(first->count(), 1u);
  EXPECT_EQ(second->count(), 1u);

  // A cancelled page frees the stream at once; its late reply moves nothing.
  standin().injectFault("/v1/search", Fault::stall(), 1);
  auto cancelled = std::make_shared<CallbackBox<Outcome>>();
  requester->fetchWithCallback([cancelled](bool ok, auto content) { cancelled->put({ok, content}); });
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  requester->cancelRequest();
  EXPECT_FALSE(requester->isFetching());
  auto next = fetch(requester);
  EXPECT_TRUE(next.first);
  standin().releaseStalls();
  ASSERT_TRUE(runUntil([&] { return cancelled->count() == 1; }));
  EXPECT_FALSE(cancelled->first().first);
  auto asked = requestsFor("/v1/search");
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[1].queryValue("pos"), position);
  EXPECT_EQ(asked[2].queryValue("pos"), position) << "the cancelled page was asked again";

  // reset clears the position but not the end.
  requester->setEndOfStream(true);
  requester->reset();
  EXPECT_FALSE(requester->streamPosition());
  EXPECT_FALSE(requester->canFetchMore());
}

TEST_F(RequesterTest, AStreamWhoseNextPositionsGoRoundEndsWhereTheyRepeat) {
  // "" → A → B → A...: a service that never says the end would be asked for ever.
  standin().addRoute("GET", "/t/round", [this](const StandinRequest& request, StandinResponse& response, const Catalogue&) {
    const auto pos = request.queryValue("pos").value_or("");
    const std::string next = pos == "A" ? "B" : "A";
    response.setJson(R"({"results": [)" + itemJson(pos == "A" ? 1 : pos == "B" ? 2 : 0) + R"(], "next": ")" + next + R"("})");
  });
  auto requester = VNStreamRequester::initWithStreamID(standinURL("/t/round"), std::nullopt);
  std::vector<std::string> ends;
  for (int page = 0; page < 6 && requester->canFetchMore(); ++page) {
    auto [ok, content] = fetch(requester);
    ASSERT_TRUE(ok);
    ends.push_back(requester->streamPosition().value_or("") + (requester->endOfStream() ? " end" : ""));
  }
  EXPECT_EQ(ends, (std::vector<std::string>{"A", "B", "A end"}));
  EXPECT_EQ(requestsFor("/t/round").size(), 3u);

  // From the first page again, the positions it had seen do not end it early.
  auto again = VNStreamRequester::initWithStreamID(standinURL("/t/round"), std::nullopt);
  fetch(again);
  fetch(again);
  again->reset();
  fetch(again);
  fetch(again);
  EXPECT_TRUE(again->canFetchMore());
  fetch(again);
  EXPECT_FALSE(again->canFetchMore());
}

TEST_F(RequesterTest, CollectionDelegateHearsEverySuccessfulPage) {
  answer("/t/collection", R"({"results": [)" + itemJson(2) + R"(], "next": "1"})");
  auto delegate = std::make_shared<RecordingCollectionDelegate>();
  auto requester = VNStreamRequester::initWithStreamID(standinURL("/t/collection"), std::nullopt);
  requester->collectionDelegate = delegate;
  fetch(requester);  // no collection name: not told
  EXPECT_EQ(delegate->pages.count(), 0u);
  requester->collectionName = "Favorites";
  fetch(requester);
  ASSERT_EQ(delegate->pages.count(), 1u);
  EXPECT_EQ(delegate->pages.first(), (std::pair<std::size_t, std::string>{1, "Favorites"}));
  standin().injectFault("/t/collection", Fault::drop());
  fetch(requester);  // a failure: not told
  EXPECT_EQ(delegate->pages.count(), 1u);
  standin().clearFaults();
  delegate.reset();  // gone: only the callback runs
  EXPECT_TRUE(fetch(requester).first);
}

TEST_F(RequesterTest, TagListsAndTheirStreams) {
  struct List {
    std::shared_ptr<VNTagRequester> requester;
    std::string type;
    TagType tagType;
  };
  const List lists[] = {{VNTagRequester::reactionsRequester(), "featured", TagType::reactions},
                        {VNTagRequester::trendingSearchesRequester(), "trending", TagType::trending},
                        {VNTagRequester::exploreRequester(), "explore", TagType::explore},
                        {VNTagRequester::emojiRequester(), "emoji", TagType::emoji}};
  for (const auto& list : lists) {
    standin().clearLog();
    list.requester->resultsAspectRatio = 1.5;
    auto [ok, content] = fetch(list.requester);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(content);
    ASSERT_FALSE(content->empty());
    for (const auto& object : *content) {
      auto tag = asA<VNTag>(object);
      ASSERT_TRUE(tag);
      EXPECT_EQ(tag->tagType, list.tagType);
      EXPECT_EQ(tag->displayWidthToHeightRatio, 1.5);
      if (list.type == "emoji") { EXPECT_FALSE(tag->character.empty()); }
    }
    auto sent = waitFor("/v1/tags");
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->queryValue("type"), list.type);
    EXPECT_EQ(sent->queryValue("key"), "QKW7TNPL2XRM");
    EXPECT_EQ(sent->queryValue("quorbid"), "MTIzNA==");
    EXPECT_FALSE(sent->queryValue("pos"));
    EXPECT_FALSE(list.requester->canFetchMore());

    // The tag's stream is where its "path" says.
    auto stream = fetch(VNStreamRequester::getForTagWithTag(asA<VNTag>(content->front())));
    EXPECT_TRUE(stream.first);
    ASSERT_TRUE(stream.second);
    EXPECT_FALSE(stream.second->empty());
  }
}

TEST_F(RequesterTest, TagRepliesOfEveryShape) {
  struct Case {
    std::string body;
    bool ok;
    std::optional<std::size_t> tags;
  };
  const Case cases[] = {
      {R"({"tags": [{"name": "a", "path": "p"}, {"name": "b"}]})", true, 2},
      {R"({"tags": [{"name": "a"}, {"name": 1}]})", true, 0},
      {R"({"tags": [{"name": "a"}, {"flag": true}]})", true, 0},
      {R"({"tags": [{"name": null}]})", true, 0},
      {R"({"tags": []})", true, 0},
      {R"({"other": []})", true, 0},
      {R"(["x"])", true, 0},
      {"{broken", false, std::nullopt},
  };
  int index = 0;
  for (const auto& c : cases) {
    const std::string path = "/t/tags" + std::to_string(index++);
    answer(path, c.body);
    auto requester = VNTagRequester::initWithStreamID(standinURL(path));
    auto [ok, content] = fetch(requester);
    EXPECT_EQ(ok, c.ok) << c.body;
    EXPECT_EQ(content.has_value(), c.tags.has_value()) << c.body;
    if (content && c.tags) { EXPECT_EQ(content->size(), *c.tags) << c.body; }
    if (content && !content->empty()) {
      // Without a type or ratio set, each tag keeps its own.
      EXPECT_EQ(asA<VNTag>(content->front())->tagType, TagType::unknownDefault);
      EXPECT_FALSE(asA<VNTag>(content->front())->displayWidthToHeightRatio);
    }
  }
  EXPECT_EQ(printedLines().size(), 1u);  // the parse error of the broken reply

  // A cancel in flight gives one failure.
  standin().injectFault("/v1/tags", Fault::stall(), 1);
  auto requester = VNTagRequester::emojiRequester();
  auto box = std::make_shared<CallbackBox<Outcome>>();
  requester->fetchWithCallback([box](bool ok, auto content) { box->put({ok, content}); });
  ASSERT_TRUE(runUntil([&] { return standin().stalledCount() == 1; }));
  requester->cancelRequest();
  ASSERT_TRUE(runUntil([&] { return box->count() == 1; }));
  EXPECT_FALSE(box->first().first);
  standin().releaseStalls();

  // A URL that cannot be formed fails at once.
  int calls = 0;
  VNTagRequester::initWithStreamID("not a url")->fetchWithCallback([&](bool ok, auto) { calls += ok ? 10 : 1; });
  EXPECT_EQ(calls, 1);
}

}  // namespace
