#include <gtest/gtest.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "service/VNStreamRequester.h"
#include "tests/service/ServiceTestSupport.h"

// The stand-in's HTTP library is a system build without the thread sanitizer: its workers
// share memory under synchronisation the sanitizer cannot see (function-local statics,
// locking inside the library), so what it reports from within that library is noise. The
// client's side and our own code stay fully checked.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\nrace:libcpp-httplib.so\n";
}

namespace {

class StreamRequesterStressTest : public ServiceTest {};

// The page offset a position names; none for the first page and for the last reply's "".
std::optional<std::size_t> positionNumber(const std::optional<std::string>& position) {
  if (!position || position->empty()) return std::nullopt;
  std::size_t value = 0;
  std::from_chars(position->data(), position->data() + position->size(), value);
  return value;
}

// Screens read a stream's position and end flag on the main thread while its replies set
// them on the session's queue. Readers on several threads must only ever see the position
// move forward and the end, once reached, stay reached.
TEST_F(StreamRequesterStressTest, PositionAndEndReadWhileRepliesWriteThem) {
  const std::size_t items = standin().catalogue().items().size();
  ASSERT_GT(items, 0u);
  const std::size_t limit = std::max<std::size_t>(1, items / 24);
  auto requester = VNStreamRequester::getForTrendingContent();
  requester->addGenericParametersWithGenerics({{"limit", std::to_string(limit)}});

  std::atomic<bool> done{false};
  std::atomic<int> backwards{0}, endUndone{0}, reads{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      std::size_t last = 0;
      bool ended = false;
      while (!done.load()) {
        const auto position = positionNumber(requester->streamPosition());
        const bool end = requester->endOfStream();
        if (position && *position < last) ++backwards;
        if (ended && !end) ++endUndone;
        if (end) ended = true;
        if (position) last = std::max(last, *position);
        (void)requester->canFetchMore();
        ++reads;
      }
    });
  }

  CallbackBox<bool> box;
  std::size_t pages = 0;
  while (requester->canFetchMore() && pages < items + 2) {
    requester->fetchWithCallback([&box](bool ok, auto) { box.put(ok); });
    ++pages;
    ASSERT_TRUE(runUntil([&] { return box.count() == pages; }));
  }
  done = true;
  for (auto& reader : readers) reader.join();

  for (bool ok : box.all()) EXPECT_TRUE(ok);
  EXPECT_EQ(pages, (items + limit - 1) / limit);
  EXPECT_TRUE(requester->endOfStream());
  EXPECT_EQ(backwards.load(), 0);
  EXPECT_EQ(endUndone.load(), 0);
  EXPECT_GT(reads.load(), 0);
}

// Several requesters fetch at once from several threads, each read by its own thread.
TEST_F(StreamRequesterStressTest, ConcurrentStreamsEachRunToTheirEnd) {
  const std::size_t items = standin().catalogue().items().size();
  const std::size_t limit = std::max<std::size_t>(1, items / 8);
  constexpr int streams = 4;
  std::vector<std::shared_ptr<VNStreamRequester>> requesters;
  for (int i = 0; i < streams; ++i) {
    requesters.push_back(VNStreamRequester::getForTrendingContent());
    requesters.back()->addGenericParametersWithGenerics({{"limit", std::to_string(limit)}});
  }
  std::atomic<int> failures{0};
  std::vector<std::thread> fetchers;
  for (auto& requester : requesters) {
    fetchers.emplace_back([&failures, requester, items] {
      std::size_t pages = 0;
      while (requester->canFetchMore() && pages++ < items + 2) {
        auto reply = std::make_shared<std::promise<bool>>();
        auto answered = reply->get_future();
        requester->fetchWithCallback([reply](bool ok, auto) { reply->set_value(ok); });
        // This thread has no run loop; the reply comes on the session's queue.
        const bool ok = answered.wait_for(std::chrono::seconds(30)) == std::future_status::ready && answered.get();
        if (!ok) {
          ++failures;
          return;
        }
      }
    });
  }
  for (auto& fetcher : fetchers) fetcher.join();
  EXPECT_EQ(failures.load(), 0);
  for (const auto& requester : requesters) EXPECT_TRUE(requester->endOfStream());
}

}  // namespace
