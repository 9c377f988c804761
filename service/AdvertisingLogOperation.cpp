#include "service/AdvertisingLogOperation.h"

#include <cstdio>

#include "model/AppConstants.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/OutputSink.h"
#include "service/AdvertisingLogger.h"
#include "service/PlovexAnalytics.h"
#include "service/Webapp.h"
#include "service/GlobalKeys.h"

std::shared_ptr<AdvertisingLogOperation> AdvertisingLogOperation::make(std::string sourceID,
                                                                       AdvertisingLogType logType) {
  return std::shared_ptr<AdvertisingLogOperation>(new AdvertisingLogOperation(std::move(sourceID), logType));
}

std::string AdvertisingLogOperation::sourceID() const {
  std::lock_guard lock(fieldsMutex_);
  return sourceID_;
}

void AdvertisingLogOperation::setSourceID(std::string sourceID) {
  std::lock_guard lock(fieldsMutex_);
  sourceID_ = std::move(sourceID);
}

bool AdvertisingLogOperation::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto operation = asA<AdvertisingLogOperation>(other);
  if (!operation) return false;
  if (operation.get() == this) return true;
  if (sourceID() != operation->sourceID()) return false;
  if (logType_ == AdvertisingLogType::view || logType_ == AdvertisingLogType::sessionView) {
    return logType_ == operation->logType_;
  }
  return true;
}

std::size_t AdvertisingLogOperation::hash() const { return stringHash(sourceID()); }

std::string_view AdvertisingLogOperation::failurePrefix(AdvertisingLogType type) {
  switch (type) {
    case AdvertisingLogType::view:
      return "ADVERTISING  VIEW LOGGING FAILURE: ";
    case AdvertisingLogType::sessionView:
      return "ADVERTISING SEARCH SESSION VIEW LOGGING FAILURE: ";
    case AdvertisingLogType::share:
    case AdvertisingLogType::clickthrough:
      break;
  }
  return "ADVERTISING SHARE LOGGING FAILURE: ";
}

std::string AdvertisingLogOperation::timestampText(double seconds) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", seconds);
  std::string text(buffer);
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
  return text;
}

void AdvertisingLogOperation::start() {
  if (isFinished() || isExecuting()) return;
  setExecuting(true);
  // A report cancelled before it ran finishes at once, so its slot is never held.
  if (isCancelled()) {
    finish();
    return;
  }
  switch (logType_) {
    case AdvertisingLogType::share:
      sendLog(AdvertisingLogger::Constants::registerAction, AdvertisingLogger::Constants::share);
      break;
    case AdvertisingLogType::view:
      sendLog(AdvertisingLogger::Constants::registerView, std::nullopt);
      break;
    case AdvertisingLogType::clickthrough:
      sendLog(AdvertisingLogger::Constants::registerAction, AdvertisingLogger::Constants::tap);
      break;
    case AdvertisingLogType::sessionView:
      sendLog(AdvertisingLogger::Constants::registerAction, AdvertisingLogger::Constants::pixel);
      break;
  }
}

void AdvertisingLogOperation::cancel() {
  NSOperation::cancel();
  std::shared_ptr<NSURLSessionDataTask> task;
  {
    std::lock_guard lock(fieldsMutex_);
    task = task_;
  }
  // The request's completion then finishes the operation.
  if (task) task->cancel();
}

void AdvertisingLogOperation::sendLog(std::string_view endpoint, std::optional<std::string_view> action) {
  Webapp::StringMap parameters;
  parameters[std::string(GlobalKeys::adParameterKey)] = std::string(webApiKey);
  parameters[std::string(GlobalKeys::adParameterSourceID)] = sourceID();
  if (action) parameters[std::string(GlobalKeys::adParameterAction)] = std::string(*action);
  std::string quorbID;
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) quorbID = analytics->quorbID().value_or("");
  parameters[std::string(GlobalKeys::adParameterQuorbID)] = quorbID;
  parameters[std::string(GlobalKeys::adParameterTimestamp)] = timestampText(Clock::current().now());

  auto text = Webapp::constructURLWithBaseURL(Webapp::pageUrlWithPath(Webapp::zoltoNewApiURLWithEndpoint(endpoint)),
                                              parameters);
  auto url = NSURL::URLWithString(text);
  std::shared_ptr<NSURLSessionDataTask> task;
  if (url) {
    auto self = sharedAs<AdvertisingLogOperation>();
    task = Webapp::requestURLWithUrl(url, std::nullopt,
                                     [self](std::shared_ptr<NSData>, std::shared_ptr<NSURLResponse>,
                                            std::shared_ptr<NSError> error) { self->reportFailure(error); });
  }
  if (!task) {
    // No request could be made: finish anyway rather than block the source id for good.
    finish();
    return;
  }
  {
    std::lock_guard lock(fieldsMutex_);
    task_ = task;
  }
  // A cancel that came while the request was being made did not see the task: cancel it now.
  if (isCancelled()) task->cancel();
}

void AdvertisingLogOperation::reportFailure(const std::shared_ptr<NSError>& error) {
  if (error) OutputSink::print(std::string(failurePrefix(logType_)) + error->localizedDescription());
  {
    std::lock_guard lock(fieldsMutex_);
    task_.reset();
  }
  finish();
}
