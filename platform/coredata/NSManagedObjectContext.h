#pragma once
// The scratch pad of managed objects over one coordinator. Objects are unique per row; fetches
// see unsaved inserts and changes, and not unsaved deletions. `save` writes what changed since
// the last save (the rows inserted, the columns set, the list elements added, moved or
// removed) as one transaction; when it fails the transaction rolls back and every change stays
// pending for the next save. A main-queue context is used on the main thread only; other
// threads reach it with performBlock.

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSManagedObject.h"
#include "platform/coredata/NSPersistentStoreCoordinator.h"

enum class NSManagedObjectContextConcurrencyType { confinement = 0, privateQueue = 1, mainQueue = 2 };

class NSManagedObjectContext : public NSObject {
 public:
  using FetchResult = std::expected<std::vector<std::shared_ptr<NSManagedObject>>, std::shared_ptr<NSError>>;
  using Result = std::expected<void, std::shared_ptr<NSError>>;

  static std::shared_ptr<NSManagedObjectContext> make(NSManagedObjectContextConcurrencyType type);

  NSManagedObjectContextConcurrencyType concurrencyType() const { return type_; }
  std::shared_ptr<NSPersistentStoreCoordinator> persistentStoreCoordinator;
  std::shared_ptr<NSManagedObjectContext> parentContext;
  // Recorded; one context per store has nothing to merge.
  int mergePolicy = 0;

  // Makes an object of the entity, registers it as inserted and runs its awakeFromInsert.
  // None when the coordinator's model has no such entity.
  std::shared_ptr<NSManagedObject> insertNewObjectForEntityForName(std::string_view entityName);
  std::shared_ptr<NSEntityDescription> entityForName(std::string_view entityName) const;
  void deleteObject(const std::shared_ptr<NSManagedObject>& object);
  FetchResult executeFetchRequest(const NSFetchRequest& request);
  // The registered object with that identity, unless it has been deleted.
  std::shared_ptr<NSManagedObject> existingObjectWithID(const std::shared_ptr<NSManagedObjectID>& objectID) const;

  bool hasChanges() const;
  Result save();

  // Runs the block on the context's queue later (the main queue for a main-queue context).
  void performBlock(std::function<void()> block);

  std::string className() const override { return "NSManagedObjectContext"; }

 private:
  friend class NSManagedObject;
  explicit NSManagedObjectContext(NSManagedObjectContextConcurrencyType type) : type_(type) {}
  std::shared_ptr<NSManagedObject> makeObject(const std::shared_ptr<NSEntityDescription>& entity);
  std::shared_ptr<NSManagedObject> objectForRow(const std::shared_ptr<NSEntityDescription>& entity,
                                                const NSPersistentStoreCoordinator::Row& row);
  bool matches(NSManagedObject& object, const NSFetchRequest& request);
  void noteChanged(NSManagedObject& object);

  NSManagedObjectContextConcurrencyType type_;
  // Saved objects by entity and row; inserted ones in the order they came; changed ones.
  std::unordered_map<std::string, std::unordered_map<std::int64_t, std::shared_ptr<NSManagedObject>>> registered_;
  std::vector<std::shared_ptr<NSManagedObject>> inserted_;
  std::vector<std::shared_ptr<NSManagedObject>> updated_;
  std::vector<std::shared_ptr<NSManagedObject>> deleted_;
  std::uint64_t insertions_ = 0;
};
