#pragma once
// Fetches one list of tags ("/v1/tags" with a "type") and stamps each tag with the kind of
// its list and, when the caller set one, the ratio of its cell. No paging.

#include <memory>
#include <optional>
#include <string>

#include "model/TagType.h"
#include "service/VNRequester.h"

class VNTagRequester : public VNRequester {
 public:
  struct Constants {
    static constexpr std::string_view type = "type";
    static constexpr std::string_view tagsPath = "/v1/tags";
    static constexpr std::string_view featured = "featured";
    static constexpr std::string_view explore = "explore";
    static constexpr std::string_view trending = "trending";
    static constexpr std::string_view emoji = "emoji";
    static constexpr std::string_view tags = "tags";
  };

  static std::shared_ptr<VNTagRequester> initWithStreamID(std::string streamID);
  static std::shared_ptr<VNTagRequester> reactionsRequester();
  static std::shared_ptr<VNTagRequester> trendingSearchesRequester();
  static std::shared_ptr<VNTagRequester> exploreRequester();
  static std::shared_ptr<VNTagRequester> emojiRequester();

  std::optional<TagType> resultsTagType;
  std::optional<double> resultsAspectRatio;

  // Every path calls back once; a URL that cannot be formed gives (false, nothing) at once.
  void fetchWithCallback(Callback callback) override;
  void cancelRequest() override;
  void reset() override {}

  void handleReply(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSError>& error, const Callback& callback);

  GLIMDECK_OBJECT(VNTagRequester)

 protected:
  VNTagRequester() = default;

 private:
  static std::shared_ptr<VNTagRequester> listRequester(std::string_view type, TagType tagType);
};
