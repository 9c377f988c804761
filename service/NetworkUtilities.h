#pragma once
// Asks the service for terms related to what the user searches or types: similar terms and
// corrections ("/v1/similar") and suggestions for a prefix ("/v1/suggest"). Every reply
// reaches the caller as a value, exactly once, on the shared session's queue; a failure is
// an empty value.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/TelescopePayload.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURLSessionTask.h"

class NetworkUtilities : public NSObject {
 public:
  using PayloadCompletion = std::function<void(std::shared_ptr<TelescopePayload>)>;
  using SuggestionsCompletion = std::function<void(std::vector<std::string>)>;

  struct Constants {
    static constexpr std::string_view tag = "tag";
    static constexpr std::string_view results = "results";
    static constexpr std::string_view limit = "limit";
    static constexpr std::string_view limitValue = "30";
    static constexpr std::string_view locale = "locale";
    static constexpr std::string_view localeValue = "en";
    static constexpr std::string_view image = "image";
    static constexpr std::string_view type = "type";
    static constexpr std::string_view corrections = "corrections";
    static constexpr std::string_view includeCorrections = "include_corrections";
    static constexpr std::string_view includeCorrectionsValue = "true";
    static constexpr std::string_view key = "key";
    static constexpr std::string_view localtime = "localtime";
    static constexpr std::string_view telescope = "telescope";
    static constexpr std::string_view didyoumean = "didyoumean";
    static constexpr std::string_view similarPath = "/v1/similar";
    static constexpr std::string_view suggestPath = "/v1/suggest";
    static constexpr std::string_view trendingKind = "trending";
    static constexpr std::string_view uploadKind = "upload";
  };

  static std::shared_ptr<NSURLSessionDataTask> getTelescopingTerms(const std::string& term, PayloadCompletion closure);
  // The started task, or none (the completion then gets the empty value at once).
  static std::shared_ptr<NSURLSessionDataTask> requestSimilarTerms(const std::string& term, PayloadCompletion completion);
  static std::shared_ptr<NSURLSessionDataTask> requestSuggestions(const std::string& term, bool trending,
                                                                  SuggestionsCompletion completion);
  static void parseSimilarTermsResponse(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSError>& error,
                                        const PayloadCompletion& completion, const std::string& term);
  static void parseSuggestionsResponse(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSError>& error,
                                       const SuggestionsCompletion& completion);

  GLIMDECK_OBJECT(NetworkUtilities)

 private:
  NetworkUtilities() = default;
};
