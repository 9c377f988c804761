#pragma once
// Sends one GIF of a collection to the service on the item queue. What the send needs of the
// collection is taken when the operation is made (on the main thread); the operation then
// touches no managed object. It finishes when the service has answered; the GIF stays marked
// as unsent unless the service took it.

#include <memory>
#include <string>

#include "collections/Collection.h"
#include "platform/foundation/NSOperation.h"

class VornSynchronizer : public NSOperation {
 public:
  struct Constants {
    static constexpr std::string_view synchronizing = "Collection Vorn - SYNCHRONIZING: ";
    static constexpr std::string_view finished = "Collection Vorn - FINISHED: ";
    static constexpr std::string_view saveFailed = "Save failed";
  };
  // On the main thread.
  static std::shared_ptr<VornSynchronizer> make(const std::shared_ptr<VornObject>& vorn,
                                                const std::shared_ptr<Collection>& collection, bool lastObjectToSync);

  std::shared_ptr<VornObject> vorn;
  std::string collectionName;
  bool lastObjectToSync = false;

  void start() override;
  bool isAsynchronous() const override { return true; }
  std::string className() const override { return "VornSynchronizer"; }

 private:
  VornSynchronizer() = default;
  std::int64_t collectionIdentifier_ = 0;
  std::string collectionApiID_;
  std::string apiStreamID_;
  std::int64_t specialCollectionType_ = 0;
  std::vector<std::string> tags_;
  std::optional<std::string> packToken_;
  std::optional<std::string> channelID_;
  std::shared_ptr<NSManagedObjectID> collection_;
  // The manager that queued it; a manager replaced meanwhile gets no late sends.
  std::weak_ptr<class CollectionManager> manager_;
};
