#pragma once
// Fetches a stream of posted GIFs page by page: the position of the next page goes out as
// "pos", the reply's "results" become items and its "next" the following position. A reply
// without usable results, or without a following position (or with the one just asked for),
// ends the stream.

#include <memory>
#include <optional>
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

  bool canFetchMore() const override { return !endOfStream(); }
  Parameters constructParameters() const override;
  void fetchWithCallback(Callback callback) override;
  void cancelRequest() override;
  void reset() override { setStreamPosition(std::nullopt); }

  // Handles one page reply to a request sent at askedPosition; the callback is called exactly once.
  void handleReply(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSError>& error, const Callback& callback,
                   const std::optional<std::string>& askedPosition = std::nullopt);

  std::string className() const override { return "VNStreamRequester"; }

 protected:
  VNStreamRequester() = default;

 private:
  std::optional<std::string> streamPosition_;
  bool endOfStream_ = false;
};
