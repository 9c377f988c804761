#include "service/NetworkUtilities.h"

#include "model/AppConstants.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "service/Webapp.h"

namespace {

std::shared_ptr<NSDictionary> decodedObject(const std::shared_ptr<NSData>& data) {
  auto parsed = NSJSONSerialization::JSONObjectWithData(data, NSJSONReadingOptions::mutableContainers);
  return parsed ? asA<NSDictionary>(*parsed) : nullptr;
}

// A mapping of text to text, or none when any value is not text.
std::optional<TelescopePayload::Entry> textMap(const id& value) {
  auto object = asA<NSDictionary>(value);
  if (!object) return std::nullopt;
  TelescopePayload::Entry entry;
  for (const auto& [key, member] : *object) {
    auto text = asA<NSString>(member);
    if (!text) return std::nullopt;
    entry[key] = text->string();
  }
  return entry;
}

std::shared_ptr<NSURLSessionDataTask> send(std::string_view path, const Webapp::StringMap& parameters,
                                           NSURLSessionDataCompletion completion) {
  auto url = NSURL::URLWithString(
      Webapp::constructURLWithBaseURL(Webapp::zoltoNewApiURLWithEndpoint(path), parameters));
  if (!url) return nullptr;
  return Webapp::requestURLWithUrl(url, std::nullopt, std::move(completion));
}

}  // namespace

std::shared_ptr<NSURLSessionDataTask> NetworkUtilities::getTelescopingTerms(const std::string& term,
                                                                            PayloadCompletion closure) {
  return requestSimilarTerms(term, std::move(closure));
}

std::shared_ptr<NSURLSessionDataTask> NetworkUtilities::requestSimilarTerms(const std::string& term,
                                                                            PayloadCompletion completion) {
  const Webapp::StringMap parameters{{std::string(Constants::tag), term},
                                     {std::string(Constants::includeCorrections),
                                      std::string(Constants::includeCorrectionsValue)}};
  auto task = send(Constants::similarPath, parameters, [completion, term](auto data, auto, auto error) {
    parseSimilarTermsResponse(data, error, completion, term);
  });
  if (!task && completion) completion(TelescopePayload::init());
  return task;
}

std::shared_ptr<NSURLSessionDataTask> NetworkUtilities::requestSuggestions(const std::string& term, bool trending,
                                                                           SuggestionsCompletion completion) {
  const Webapp::StringMap parameters{
      {std::string(Constants::tag), term},
      {std::string(Constants::key), std::string(webApiKey)},
      {std::string(Constants::limit), std::string(Constants::limitValue)},
      {std::string(Constants::locale), std::string(Constants::localeValue)},
      {std::string(Constants::type), std::string(trending ? Constants::trendingKind : Constants::uploadKind)},
      {std::string(Constants::localtime), timeStringFromDate()},
  };
  auto task = send(Constants::suggestPath, parameters,
                   [completion](auto data, auto, auto error) { parseSuggestionsResponse(data, error, completion); });
  if (!task && completion) completion({});
  return task;
}

void NetworkUtilities::parseSimilarTermsResponse(const std::shared_ptr<NSData>& data,
                                                 const std::shared_ptr<NSError>& error,
                                                 const PayloadCompletion& completion, const std::string& term) {
  if (!completion) return;
  auto payload = TelescopePayload::init();
  if (!data || error) return completion(payload);
  auto reply = decodedObject(data);
  if (!reply) return completion(payload);
  // Every top-level member must itself be an object.
  for (const auto& [key, member] : *reply) {
    if (!asA<NSDictionary>(member)) return completion(payload);
  }
  auto results = reply->objectForKeyAs<NSDictionary>(Constants::results);
  if (!results) return completion(payload);

  if (auto related = results->objectForKeyAs<NSArray>(term)) {
    TelescopePayload::List list;
    for (const auto& element : *related) {
      auto entry = textMap(element);
      if (!entry) {
        list.clear();
        break;
      }
      TelescopePayload::Entry unit{{std::string(Constants::type), std::string(Constants::telescope)}};
      for (auto& [key, value] : *entry) unit[key] = value;
      list.push_back(std::move(unit));
    }
    payload->telescopeList = std::move(list);
  }

  if (auto corrections = textMap(results->objectForKey(Constants::corrections))) {
    auto object = results->objectForKeyAs<NSDictionary>(Constants::corrections);
    // In the reply's own order, which the text map above does not keep.
    for (const auto& [corrected, image] : *object) {
      payload->didYouMeanList.push_back({{std::string(Constants::tag), corrected},
                                         {std::string(Constants::image), asA<NSString>(image)->string()},
                                         {std::string(Constants::type), std::string(Constants::didyoumean)}});
    }
  }
  completion(payload);
}

void NetworkUtilities::parseSuggestionsResponse(const std::shared_ptr<NSData>& data,
                                                const std::shared_ptr<NSError>& error,
                                                const SuggestionsCompletion& completion) {
  if (!completion) return;
  if (!data || error) return completion({});
  auto reply = decodedObject(data);
  if (!reply) return completion({});
  std::vector<std::string> results;
  for (const auto& [key, member] : *reply) {
    auto list = asA<NSArray>(member);
    if (!list) return completion({});
    std::vector<std::string> texts;
    for (const auto& element : *list) {
      auto text = asA<NSString>(element);
      if (!text) return completion({});
      texts.push_back(text->string());
    }
    if (key == Constants::results) results = std::move(texts);
  }
  completion(results);
}
