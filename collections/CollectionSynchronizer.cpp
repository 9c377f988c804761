#include "collections/CollectionSynchronizer.h"

#include "account/QuorbUser.h"
#include "collections/CollectionManager.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/OutputSink.h"

std::shared_ptr<CollectionSynchronizer> CollectionSynchronizer::make(const std::shared_ptr<Collection>& collection) {
  auto operation = std::shared_ptr<CollectionSynchronizer>(new CollectionSynchronizer());
  if (collection) {
    operation->collectionName = collection->name();
    operation->requester = collection->constructStreamRequester();
    operation->collection_ = collection->objectID();
  }
  operation->removalsBefore_ = CollectionManager::sharedInstance()->removalSerial();
  return operation;
}

void CollectionSynchronizer::start() {
  if (isFinished() || isExecuting()) return;
  setExecuting(true);
  if (isCancelled()) {
    OutputSink::print(std::string(Constants::cancelled) + collectionName);
    return finish();
  }
  if (!QuorbUser::authToken() || !requester) {
    OutputSink::print(std::string(Constants::noUser) + collectionName);
    return finish();
  }
  OutputSink::print(std::string(Constants::synchronizing) + collectionName);
  fetchPage(0);
}

void CollectionSynchronizer::fetchPage(int page) {
  auto self = sharedAs<CollectionSynchronizer>();
  requester->fetchWithCallback([self, page](bool success, std::optional<VNRequester::Content> content) {
    if (!success) {
      OutputSink::print(std::string(Constants::fetchFailed) + self->collectionName);
      return self->finish();
    }
    for (const auto& element : content.value_or(VNRequester::Content{})) {
      if (auto vorn = asA<VornObject>(element)) self->remoteVorns.push_back(vorn);
    }
    // The whole stream, page after page, so that a long collection is refreshed in full.
    if (self->requester->canFetchMore() && content && !content->empty() && page + 1 < Constants::maximumPages && !self->isCancelled()) {
      return self->fetchPage(page + 1);
    }
    self->merge();
  });
}

void CollectionSynchronizer::merge() {
  auto self = sharedAs<CollectionSynchronizer>();
  NSRunLoop::main()->perform([self] {
    auto manager = CollectionManager::sharedInstance();
    if (auto collection = manager->collectionWithID(self->collection_)) {
      // The stream may predate a removal the user made: one the service has not confirmed, or
      // one made after this refresh began, does not come back with it.
      auto pending = collection->pendingRemovals();
      std::vector<std::shared_ptr<VornObject>> fetched;
      for (const auto& vorn : self->remoteVorns) {
        if (pending.contains(vorn->vid) || manager->removedSince(self->collection_, vorn->vid, self->removalsBefore_)) continue;
        fetched.push_back(vorn);
      }
      collection->synchronizeVorns(fetched);
      manager->rebuildConvenienceLookups();
    }
    OutputSink::print(std::string(Constants::completed) + self->collectionName);
    self->finish();
  });
}
