#pragma once
// One row of an entity, held by a context. Attribute values are objects of the attribute's
// type (see NSAttributeType); setting one marks it changed until the next save. An ordered
// list reads its elements from the store on first use. Elements of a list are kept by
// identity: replace an element to change it, since an object changed in place is not seen.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/coredata/NSManagedObjectModel.h"
#include "platform/foundation/NSArray.h"

class NSManagedObjectContext;

// The identity of an object: temporary until its first save gives it a row.
class NSManagedObjectID : public NSObject {
 public:
  const std::string& entityName() const { return entityName_; }
  bool isTemporaryID() const { return rowid_.load() == 0; }
  std::int64_t rowid() const { return rowid_.load(); }
  std::string className() const override { return "NSManagedObjectID"; }

 private:
  friend class NSManagedObjectContext;
  explicit NSManagedObjectID(std::string entityName) : entityName_(std::move(entityName)) {}
  std::string entityName_;
  std::atomic<std::int64_t> rowid_{0};
};

class NSManagedObject : public NSObject {
 public:
  static std::shared_ptr<NSManagedObject> make() { return std::shared_ptr<NSManagedObject>(new NSManagedObject()); }

  id valueForKey(std::string_view key);
  void setValueForKey(const id& value, std::string_view key);

  // The context that holds the object; none once it is deleted.
  std::shared_ptr<NSManagedObjectContext> managedObjectContext() const;
  const std::shared_ptr<NSEntityDescription>& entity() const { return entity_; }
  const std::shared_ptr<NSManagedObjectID>& objectID() const { return objectID_; }
  bool isInserted() const { return inserted_; }
  bool isDeleted() const { return deleted_; }
  bool isUpdated() const;
  bool hasChanges() const { return inserted_ || deleted_ || isUpdated(); }
  // The names of the attributes set since the last save.
  std::vector<std::string> changedKeys() const;

  // Runs once, when the object is inserted into a context.
  virtual void awakeFromInsert() {}

  std::string className() const override { return "NSManagedObject"; }

 protected:
  NSManagedObject() = default;

 private:
  friend class NSManagedObjectContext;
  // One stored element of an ordered list: the object and its row.
  struct Element {
    id object;  // empty for a row whose archive no longer reads; such rows are kept
    std::int64_t rowid = 0;
    double position = 0;
  };
  struct OrderedState {
    bool loaded = false;
    std::vector<Element> committed;
  };

  void loadOrdered(std::size_t index);

  std::shared_ptr<NSEntityDescription> entity_;
  std::shared_ptr<NSManagedObjectID> objectID_;
  std::weak_ptr<NSManagedObjectContext> context_;
  std::vector<id> values_;
  std::vector<bool> changed_;
  std::vector<OrderedState> ordered_;
  bool inserted_ = false;
  bool deleted_ = false;
  std::uint64_t insertionSequence_ = 0;
};
