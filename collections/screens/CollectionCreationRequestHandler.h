#pragma once
// The profile asks its owner to open the create-pack form, and hears back when a pack was
// made so that it can list it.

#include <memory>

class CollectionCreationCompletionHandler {
 public:
  virtual ~CollectionCreationCompletionHandler() = default;
  virtual void collectionCreated() = 0;
};

class CollectionCreationRequestHandler {
 public:
  virtual ~CollectionCreationRequestHandler() = default;
  virtual void requestCollectionCreation(const std::shared_ptr<CollectionCreationCompletionHandler>& handler) = 0;
};
