#include "service/VNRequester.h"

#include "model/AppConstants.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSURL.h"
#include "service/PlovexAnalytics.h"
#include "service/InterfaceFunctions.h"

std::shared_ptr<VNRequester> VNRequester::init() {
  std::shared_ptr<VNRequester> requester(new VNRequester());
  requester->setUpCommonParameters();
  return requester;
}

void VNRequester::setUpCommonParameters() {
  genericParameters.clear();
  genericParameters[std::string(Constants::localeKey)] = NSLocale::currentLocale()->localeIdentifier();
  genericParameters[std::string(Constants::apiKey)] = std::string(webApiKey);
  if (auto id = PlovexAnalytics::sharedPlovexAnalytics()->quorbID()) {
    genericParameters[std::string(Constants::quorbidKey)] = *id;
  }
}

std::shared_ptr<NSURLSessionDataTask> VNRequester::fetchTask() const {
  std::lock_guard lock(stateMutex_);
  return fetchTask_;
}

void VNRequester::setFetchTask(std::shared_ptr<NSURLSessionDataTask> task) {
  std::lock_guard lock(stateMutex_);
  fetchTask_ = std::move(task);
}

void VNRequester::addGenericParametersWithGenerics(const Parameters& generics) {
  mergeStringDictionary(genericParameters, generics);
}

std::shared_ptr<NSURL> VNRequester::pageURL(const Parameters& parameters) const {
  return NSURL::URLWithString(Webapp::constructURLWithBaseURL(streamID, parameters));
}
