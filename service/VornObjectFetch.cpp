// The single-post fetch: one post of the service by its identifier.
#include "model/AppConstants.h"
#include "model/VornObject.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumberFormatter.h"
#include "platform/foundation/NSURLSession.h"
#include "service/Webapp.h"

namespace {

// The first post of a reply {"results": [post, ...]}, or nothing.
std::shared_ptr<VornObject> handleGetVornDataResponse(const std::shared_ptr<NSData>& data,
                                                      const std::shared_ptr<NSError>& error) {
  if (!data || error) return nullptr;
  auto parsed = NSJSONSerialization::JSONObjectWithData(data, NSJSONReadingOptions::mutableContainers);
  if (!parsed) return nullptr;
  auto reply = asA<NSDictionary>(*parsed);
  auto results = reply ? reply->objectForKeyAs<NSArray>(VornObject::ApiJsonKeys::results) : nullptr;
  if (!results || results->count() == 0) return nullptr;
  auto first = asA<NSDictionary>(results->firstObject());
  if (!first) return nullptr;
  auto item = VornObject::initWithNewApiData(first);
  return item ? *item : nullptr;
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
  auto task = session->dataTaskWithURL(
      url, [reply](std::shared_ptr<NSData> data, std::shared_ptr<NSURLResponse>, std::shared_ptr<NSError> error) {
        reply(handleGetVornDataResponse(data, error));
      });
  if (!task) {
    reply(nullptr);
    return;
  }
  task->resume();
}
