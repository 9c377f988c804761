// The single-post fetch: one post of the service by its identifier.
#include "model/AppConstants.h"
#include "model/VornObject.h"
#include "platform/foundation/JSONReader.h"
#include "platform/foundation/NSNumberFormatter.h"
#include "platform/foundation/NSURLSession.h"
#include "service/Webapp.h"

namespace {

// The first post of a reply {"results": [post, ...]}, or nothing.
std::shared_ptr<VornObject> handleGetVornDataResponse(const std::shared_ptr<NSData>& data,
                                                      const std::shared_ptr<NSError>& error) {
  if (!data || error) return nullptr;
  std::shared_ptr<VornObject> item;
  JSONReader::read(data->view(), data->capacity(), [&](const JSONReader::Document& document) {
    simdjson::dom::object reply;
    if (document.root.get(reply) != simdjson::SUCCESS) return;
    std::optional<JSONReader::Element> results;
    for (auto member : reply) {
      if (member.key == VornObject::ApiJsonKeys::results) results = member.value;
    }
    simdjson::dom::array list;
    if (!results || results->get(list) != simdjson::SUCCESS || list.size() == 0) return;
    JSONReader::Element first = list.at(0).value_unsafe();
    if (!first.is_object()) return;
    if (auto read = VornObject::initWithNewApiData(first, {data, 0})) {
      item = *read;
    }
  });
  return item;
}

}  // namespace

void VornObject::getVornDataForIdentifier(const std::string& identifier,
                                          std::function<void(std::shared_ptr<VornObject>)> callback) {
  auto reply = [callback = std::move(callback)](std::shared_ptr<VornObject> item) {
    if (callback) callback(std::move(item));
  };
  if (!NSNumberFormatter::make()->numberFromString(identifier)) {
    reply(nullptr);
    return;
  }
  const Webapp::StringMap parameters{{"id", identifier}, {std::string(Constants::key), std::string(webApiKey)}};
  auto url = NSURL::URLWithString(
      Webapp::constructURLWithBaseURL(Webapp::zoltoNewApiURLWithEndpoint(Constants::postEndpoint), parameters));
  if (!url) {
    reply(nullptr);
    return;
  }
  // A session of its own per call: nothing is shared between fetches.
  auto session = NSURLSession::sessionWithConfiguration(Webapp::sessionConfigurationWithAdditionalHeaders(std::nullopt));
  auto task = session->dataTaskWithRequest(
      Webapp::limitedRequestWithURL(url), [reply](std::shared_ptr<NSData> data, std::shared_ptr<NSURLResponse>, std::shared_ptr<NSError> error) {
        reply(handleGetVornDataResponse(data, error));
      });
  if (!task) {
    reply(nullptr);
    return;
  }
  task->resume();
}
