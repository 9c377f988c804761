#pragma once
// Fetches a stream of posted GIFs page by page: the position of the next page goes out as
// "pos", the reply's "results" become items and its "next" the following position. A reply
// without usable results, or without a following position, or with a position the stream
// has already been at, ends the stream. One page is asked at a time: a fetch while another
// is on its way is refused, so a stream never delivers the same page twice.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "service/VNRequester.h"

class VNTag;

// Told of every page of a collection's stream.
class VNRequesterCollectionDelegate {
 public:
  virtual ~VNRequesterCollectionDelegate() = default;
  virtual void didFetchWithContent(const VNRequester::Content& content, const std::string& collectionName) = 0;
};

class VNStreamRequester : public VNRequester {
 public:
  struct Constants {
    static constexpr std::string_view results = "results";
    static constexpr std::string_view next = "next";
    static constexpr std::string_view searchPath = "/v1/search";
    static constexpr std::string_view trendingPath = "/v1/trending";
    static constexpr std::string_view pos = "pos";
    static constexpr std::string_view tag = "tag";
  };

  static std::shared_ptr<VNStreamRequester> init();
  static std::shared_ptr<VNStreamRequester> initWithStreamID(std::string streamID,
                                                             const std::optional<Parameters>& genericParameters);
  static std::shared_ptr<VNStreamRequester> getForTermWithTerm(const std::string& term);
  static std::shared_ptr<VNStreamRequester> getForUserWithUsername(const std::string& username);
  static std::shared_ptr<VNStreamRequester> getForTrendingContent();
  static std::shared_ptr<VNStreamRequester> getForTagWithTag(const std::shared_ptr<VNTag>& tag);

  // Read on the caller's thread and written on the reply queue, so kept behind the lock.
  std::optional<std::string> streamPosition() const;
  void setStreamPosition(std::optional<std::string> position);
  bool endOfStream() const;
  void setEndOfStream(bool end);

  std::optional<std::string> collectionName;
  std::weak_ptr<VNRequesterCollectionDelegate> collectionDelegate;

  // Whether a page is on its way (asked and neither answered nor cancelled yet).
  bool isFetching() const;

  bool canFetchMore() const override { return !endOfStream(); }
  Parameters constructParameters() const override;
  // While a page is on its way another fetch sends nothing and calls back (false, nothing)
  // at once.
  void fetchWithCallback(Callback callback) override;
  // Cancels the page on its way: its callback gets (false, nothing) and its reply changes
  // nothing, and the next fetch may go at once.
  void cancelRequest() override;
  // Back to the first page. The end of the stream stays: a new stream is a new requester.
  void reset() override;

  // Handles the reply to the fetch numbered `fetch`, sent at askedPosition; the callback is
  // called exactly once. A reply to a fetch that was cancelled changes nothing.
  void handleReply(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSError>& error, const Callback& callback,
                   const std::optional<std::string>& askedPosition, std::uint64_t fetch);

  GLIMDECK_OBJECT(VNStreamRequester)

 protected:
  VNStreamRequester() = default;

 private:
  std::optional<std::string> streamPosition_;
  bool endOfStream_ = false;
  // The positions this stream has been asked at or told of since its first page: a "next"
  // among them would go round in a circle.
  std::set<std::string> seenPositions_;
  // Fetches are numbered; only the latest one, while not answered or cancelled, is on its way.
  std::uint64_t latestFetch_ = 0;
  bool fetching_ = false;
};
