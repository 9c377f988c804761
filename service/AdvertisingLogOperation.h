#pragma once
// One sponsored-content report (a view, a search-session view, a share or a click-through)
// sent as one GET. The operation runs asynchronously on the logger's queue and finishes when
// its request completes, fails or is cancelled, so that it never holds a slot, or blocks an
// equal report, for ever.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSURLSessionTask.h"

enum class AdvertisingLogType { share, view, clickthrough, sessionView };

class AdvertisingLogOperation : public NSOperation {
 public:
  static std::shared_ptr<AdvertisingLogOperation> make(std::string sourceID, AdvertisingLogType logType);

  std::string sourceID() const;
  void setSourceID(std::string sourceID);
  AdvertisingLogType logType() const { return logType_; }

  // Equal source ids; a queued view or search-session view also asks for the same type,
  // while a queued share or click-through stands for every report of its source id.
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;

  void start() override;
  void cancel() override;
  bool isAsynchronous() const override { return true; }

  // "ADVERTISING SHARE LOGGING FAILURE: " and its kin, by type.
  static std::string_view failurePrefix(AdvertisingLogType type);
  // The "timestamp" value: seconds since 1970 to 15 significant digits.
  static std::string timestampText(double seconds);

  GLIMDECK_OBJECT(AdvertisingLogOperation)

 private:
  AdvertisingLogOperation(std::string sourceID, AdvertisingLogType logType)
      : sourceID_(std::move(sourceID)), logType_(logType) {}
  void sendLog(std::string_view endpoint, std::optional<std::string_view> action);
  void reportFailure(const std::shared_ptr<NSError>& error);

  mutable std::mutex fieldsMutex_;
  std::string sourceID_;
  const AdvertisingLogType logType_;
  std::shared_ptr<NSURLSessionDataTask> task_;
};
