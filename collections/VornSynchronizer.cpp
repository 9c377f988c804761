#include "collections/VornSynchronizer.h"

#include "collections/CollectionManager.h"
#include "collections/CoreDataContext.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/OutputSink.h"

std::shared_ptr<VornSynchronizer> VornSynchronizer::make(const std::shared_ptr<VornObject>& vorn,
                                                         const std::shared_ptr<Collection>& collection, bool lastObjectToSync) {
  auto operation = std::shared_ptr<VornSynchronizer>(new VornSynchronizer());
  operation->vorn = vorn;
  operation->lastObjectToSync = lastObjectToSync;
  if (collection) {
    operation->collectionName = collection->name();
    operation->collectionIdentifier_ = collection->identifier();
    operation->collectionApiID_ = collection->uploadID();
    operation->apiStreamID_ = collection->streamKey();
    operation->specialCollectionType_ = collection->specialCollectionType();
    operation->packToken_ = collection->anonymousToken();
    operation->channelID_ = collection->channelID();
    operation->collection_ = collection->objectID();
  }
  if (vorn) operation->tags_ = vorn->tags;
  operation->manager_ = CollectionManager::sharedInstance();
  return operation;
}

void VornSynchronizer::start() {
  if (isFinished() || isExecuting()) return;
  setExecuting(true);
  auto manager = manager_.lock();
  if (isCancelled() || !vorn || !manager) {
    finish();
    return;
  }
  OutputSink::print(std::string(Constants::synchronizing) + vorn->vid);
  auto self = sharedAs<VornSynchronizer>();
  const std::string vid = vorn->vid;
  manager->synchronizeVornAddition(
      vorn, collectionIdentifier_, collectionApiID_, apiStreamID_, specialCollectionType_, tags_, packToken_, channelID_,
      [self, vid](std::optional<std::string> result) {
        OutputSink::print(std::string(Constants::finished) + vid);
        NSRunLoop::main()->perform([collection = self->collection_, weakManager = self->manager_, vid, sent = result.has_value()] {
          auto manager = weakManager.lock();
          if (!manager) return;
          manager->endSending(vid);
          if (!sent) return manager->scheduleResend();
          auto target = manager->collectionWithID(collection);
          if (!target || !target->markSent(vid)) return;
          auto context = target->managedObjectContext();
          if (!CoreDataContext::storeIsAvailable()) return;
          if (auto saved = CoreDataContext::saveContext(context); !saved) {
            OutputSink::print(std::string(Constants::saveFailed) + " " + saved.error()->description());
          }
        });
        self->finish();
      },
      collection_);
}
