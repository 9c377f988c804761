#include "platform/coredata/NSManagedObject.h"

#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/foundation/NSKeyedUnarchiver.h"

id NSManagedObject::valueForKey(std::string_view key) {
  if (!entity_) return nullptr;
  auto index = entity_->indexOfAttribute(key);
  if (!index) return nullptr;
  if (entity_->attributes()[*index].isOrdered()) loadOrdered(*index);
  return values_[*index];
}

void NSManagedObject::setValueForKey(const id& value, std::string_view key) {
  if (!entity_) return;
  auto index = entity_->indexOfAttribute(key);
  if (!index) return;
  // The stored elements must be known before a new list replaces them, or the save could not
  // tell which rows to keep.
  if (entity_->attributes()[*index].isOrdered()) loadOrdered(*index);
  values_[*index] = value;
  changed_[*index] = true;
  if (auto context = context_.lock()) context->noteChanged(*this);
}

std::shared_ptr<NSManagedObjectContext> NSManagedObject::managedObjectContext() const {
  return deleted_ ? nullptr : context_.lock();
}

bool NSManagedObject::isUpdated() const {
  if (inserted_ || deleted_) return false;
  for (bool changed : changed_) {
    if (changed) return true;
  }
  return false;
}

std::vector<std::string> NSManagedObject::changedKeys() const {
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < changed_.size(); ++i) {
    if (changed_[i]) keys.push_back(entity_->attributes()[i].name);
  }
  return keys;
}

void NSManagedObject::loadOrdered(std::size_t index) {
  auto& state = ordered_[index];
  if (state.loaded) return;
  state.loaded = true;
  auto list = NSArray::make();
  auto context = context_.lock();
  if (!inserted_ && objectID_ && !objectID_->isTemporaryID() && context && context->persistentStoreCoordinator) {
    auto rows = context->persistentStoreCoordinator->fetchChildren(*entity_, entity_->attributes()[index], objectID_->rowid());
    if (rows) {
      for (auto& row : *rows) {
        auto decoded = NSKeyedUnarchiver::unarchiveObjectWithData(NSData::make(std::move(row.data)));
        id object = decoded ? *decoded : nullptr;
        state.committed.push_back({object, row.rowid, row.position});
        if (object) list->addObject(object);
      }
    }
  }
  values_[index] = list;
}
