#include "service/VNTagRequester.h"

#include "model/VNTag.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/OutputSink.h"

namespace {

// A "tags" element as a tag record: every key and every value must be text.
std::optional<VNTag::ApiData> tagData(const id& element) {
  auto object = asA<NSDictionary>(element);
  if (!object) return std::nullopt;
  VNTag::ApiData data;
  for (const auto& [key, value] : *object) {
    auto text = asA<NSString>(value);
    if (!text) return std::nullopt;
    data[key] = text->string();
  }
  return data;
}

}  // namespace

std::shared_ptr<VNTagRequester> VNTagRequester::initWithStreamID(std::string streamID) {
  std::shared_ptr<VNTagRequester> requester(new VNTagRequester());
  requester->setUpCommonParameters();
  requester->streamID = std::move(streamID);
  return requester;
}

std::shared_ptr<VNTagRequester> VNTagRequester::listRequester(std::string_view type, TagType tagType) {
  auto requester = initWithStreamID(Webapp::zoltoNewApiURLWithEndpoint(Constants::tagsPath));
  requester->genericParameters[std::string(Constants::type)] = std::string(type);
  requester->resultsTagType = tagType;
  return requester;
}

std::shared_ptr<VNTagRequester> VNTagRequester::reactionsRequester() {
  return listRequester(Constants::featured, TagType::reactions);
}
std::shared_ptr<VNTagRequester> VNTagRequester::trendingSearchesRequester() {
  return listRequester(Constants::trending, TagType::trending);
}
std::shared_ptr<VNTagRequester> VNTagRequester::exploreRequester() {
  return listRequester(Constants::explore, TagType::explore);
}
std::shared_ptr<VNTagRequester> VNTagRequester::emojiRequester() { return listRequester(Constants::emoji, TagType::emoji); }

void VNTagRequester::fetchWithCallback(Callback callback) {
  auto url = pageURL(genericParameters);
  std::shared_ptr<NSURLSessionDataTask> task;
  if (url) {
    auto self = sharedAs<VNTagRequester>();
    task = Webapp::requestURLWithUrl(url, std::nullopt, [self, callback](auto data, auto, auto error) {
      self->handleReply(data, error, callback);
    });
  }
  if (!task) {
    if (callback) callback(false, std::nullopt);
    return;
  }
  setFetchTask(task);
}

void VNTagRequester::cancelRequest() {
  if (auto task = fetchTask()) task->cancel();
}

void VNTagRequester::handleReply(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSError>& error,
                                 const Callback& callback) {
  if (!callback) return;
  if (!data || error) return callback(false, std::nullopt);
  auto parsed = NSJSONSerialization::JSONObjectWithData(data, NSJSONReadingOptions::mutableContainers);
  if (!parsed) {
    OutputSink::print(parsed.error()->localizedDescription());
    return callback(false, std::nullopt);
  }
  Content list;
  auto reply = asA<NSDictionary>(*parsed);
  auto tags = reply ? reply->objectForKeyAs<NSArray>(Constants::tags) : nullptr;
  if (tags && tags->count() > 0) {
    std::vector<VNTag::ApiData> records;
    for (const auto& element : *tags) {
      auto record = tagData(element);
      if (!record) {
        records.clear();  // one element of another shape voids the whole list
        break;
      }
      records.push_back(std::move(*record));
    }
    for (const auto& record : records) {
      auto tag = VNTag::initWithNewApiData(record);
      if (resultsTagType) tag->tagType = *resultsTagType;
      if (resultsAspectRatio) tag->displayWidthToHeightRatio = *resultsAspectRatio;
      list.push_back(tag);
    }
  }
  callback(true, list);
}
