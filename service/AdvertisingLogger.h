#pragma once
// The front door of the sponsored-content reports. Each report becomes one
// AdvertisingLogOperation on the logger's queue (at most three at once); a report equal to
// one still queued is dropped with a printed line.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSOperationQueue.h"
#include "service/AdvertisingLogOperation.h"

class AdvertisingLogger : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view registerView = "/v1/registerview";
    static constexpr std::string_view registerAction = "/v1/registeraction";
    static constexpr std::string_view tap = "tap";
    static constexpr std::string_view share = "share";
    static constexpr std::string_view pixel = "pixel";
    static constexpr std::string_view queueName = "Advertising Tracker Queue";
    static constexpr long maxConcurrentOperations = 3;
    static constexpr std::string_view duplicateView = "DUPLICATE VIEW OPERATION FILTERED";
    static constexpr std::string_view duplicateShare = "DUPLICATE SHARE OPERATION FILTERED";
    static constexpr std::string_view duplicateSessionView = "DUPLICATE SESSION VIEW OPERATION FILTERED";
    static constexpr std::string_view pixelFailure = "ADVERTISING PIXEL TRACKING FAILURE: ";
    // A tracking pixel's reply is read only to be dropped: a larger one is refused unread,
    // not held whole in memory while it arrives.
    static constexpr std::int64_t pixelReplyLimit = std::int64_t{64} << 10;
  };

  // The queue, made on first use; replacing it sends later reports (and the duplicate
  // check) to the new one.
  static std::shared_ptr<NSOperationQueue> queue();
  static void setQueue(std::shared_ptr<NSOperationQueue> queue);
  static std::shared_ptr<NSOperationQueue> makeQueue();

  static void didViewContentWithSourceID(std::string_view sourceID);
  // Also fetches each http(s) tracking pixel, once the report was queued.
  static void didViewSearchSessionContentWithSourceID(std::string_view sourceID,
                                                      const std::optional<std::vector<std::string>>& additionalTrackingURLs);
  static void didShareContentWithSourceID(std::string_view sourceID);
  static void didClickthruContentWithSourceID(std::string_view sourceID);

  GLIMDECK_OBJECT(AdvertisingLogger)

 private:
  // True when the report was queued, false when it was dropped as a duplicate.
  static bool enqueueLogOperation(std::string_view sourceID, AdvertisingLogType type, std::string_view duplicateMessage);
  static bool queueContainsEqualOperation(const std::shared_ptr<NSOperationQueue>& queue,
                                          const std::shared_ptr<AdvertisingLogOperation>& operation);
};
