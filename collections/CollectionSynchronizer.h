#pragma once
// Refreshes one collection from its stream on the service, on the collection queue. The
// collection is known by identity (taken on the main thread when the operation is made), so
// a pack that shares a special collection's name is never mistaken for it.

#include <memory>
#include <string>
#include <vector>

#include "collections/Collection.h"
#include "platform/foundation/NSOperation.h"
#include "service/VNStreamRequester.h"

class CollectionSynchronizer : public NSOperation {
 public:
  struct Constants {
    static constexpr std::string_view cancelled = "SYNCHRONIZING CANCELLED: ";
    static constexpr std::string_view noUser = "SYNCHRONIZING FAILED (no user): ";
    static constexpr std::string_view synchronizing = "SYNCHRONIZING: ";
    static constexpr std::string_view completed = "SYNCHRONIZING COMPLETED: ";
    static constexpr std::string_view fetchFailed = "SYNCHRONIZING FAILED (fetch failed): ";
    // Pages read from one stream at most.
    static constexpr int maximumPages = 100;
  };
  // On the main thread.
  static std::shared_ptr<CollectionSynchronizer> make(const std::shared_ptr<Collection>& collection);

  std::string collectionName;
  std::shared_ptr<VNStreamRequester> requester;
  std::vector<std::shared_ptr<VornObject>> remoteVorns;  // filled on the operation's own chain of replies

  void start() override;
  bool isAsynchronous() const override { return true; }
  GLIMDECK_OBJECT(CollectionSynchronizer)

 private:
  CollectionSynchronizer() = default;
  void fetchPage(int page);
  void merge();
  std::shared_ptr<NSManagedObjectID> collection_;
  // The manager's removal count when the refresh was queued.
  std::uint64_t removalsBefore_ = 0;
};
