#include "service/AdvertisingLogger.h"

#include <cctype>
#include <mutex>

#include "platform/foundation/OutputSink.h"
#include "service/Webapp.h"

namespace {

std::mutex queueMutex;
std::shared_ptr<NSOperationQueue>& storedQueue() {
  static std::shared_ptr<NSOperationQueue> queue;
  return queue;
}

}  // namespace

std::shared_ptr<NSOperationQueue> AdvertisingLogger::makeQueue() {
  auto queue = NSOperationQueue::make();
  queue->setName(std::string(Constants::queueName));
  queue->setQualityOfService(NSQualityOfService::userInitiated);
  queue->setMaxConcurrentOperationCount(Constants::maxConcurrentOperations);
  return queue;
}

std::shared_ptr<NSOperationQueue> AdvertisingLogger::queue() {
  std::lock_guard lock(queueMutex);
  auto& queue = storedQueue();
  if (!queue) queue = makeQueue();
  return queue;
}

void AdvertisingLogger::setQueue(std::shared_ptr<NSOperationQueue> queue) {
  std::lock_guard lock(queueMutex);
  storedQueue() = queue ? std::move(queue) : makeQueue();
}

bool AdvertisingLogger::queueContainsEqualOperation(const std::shared_ptr<NSOperationQueue>& queue,
                                                    const std::shared_ptr<AdvertisingLogOperation>& operation) {
  for (const auto& queued : queue->operations()) {
    // The queued report decides whether the types count.
    if (auto report = asA<AdvertisingLogOperation>(queued); report && report->isEqual(operation)) return true;
  }
  return false;
}

bool AdvertisingLogger::enqueueLogOperation(std::string_view sourceID, AdvertisingLogType type,
                                            std::string_view duplicateMessage) {
  auto operation = AdvertisingLogOperation::make(std::string(sourceID), type);
  auto queue = AdvertisingLogger::queue();
  if (queueContainsEqualOperation(queue, operation)) {
    OutputSink::print(duplicateMessage);
    return false;
  }
  queue->addOperation(operation);
  return true;
}

void AdvertisingLogger::didViewContentWithSourceID(std::string_view sourceID) {
  enqueueLogOperation(sourceID, AdvertisingLogType::view, Constants::duplicateView);
}

void AdvertisingLogger::didShareContentWithSourceID(std::string_view sourceID) {
  enqueueLogOperation(sourceID, AdvertisingLogType::share, Constants::duplicateShare);
}

void AdvertisingLogger::didClickthruContentWithSourceID(std::string_view sourceID) {
  enqueueLogOperation(sourceID, AdvertisingLogType::clickthrough, Constants::duplicateShare);
}

void AdvertisingLogger::didViewSearchSessionContentWithSourceID(
    std::string_view sourceID, const std::optional<std::vector<std::string>>& additionalTrackingURLs) {
  if (!enqueueLogOperation(sourceID, AdvertisingLogType::sessionView, Constants::duplicateSessionView)) return;
  if (!additionalTrackingURLs) return;
  for (const auto& text : *additionalTrackingURLs) {
    auto url = NSURL::URLWithString(text);
    // Pixels come from the service's JSON: only web addresses are fetched, never a local file.
    if (!url || url->host().empty()) continue;
    std::string scheme = url->scheme();
    for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != "http" && scheme != "https") continue;
    Webapp::requestURLWithUrl(
        url, std::nullopt,
        [](std::shared_ptr<NSData>, std::shared_ptr<NSURLResponse>, std::shared_ptr<NSError> error) {
          if (error) OutputSink::print(std::string(Constants::pixelFailure) + error->localizedDescription());
        },
        Constants::pixelReplyLimit);
  }
}
