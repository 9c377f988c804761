#include "platform/coredata/NSManagedObjectContext.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSRunLoop.h"

namespace {

using Coordinator = NSPersistentStoreCoordinator;

// What a save will write for one ordered list, worked out before anything is written so that
// a failed save changes nothing in memory.
struct ListPlan {
  std::vector<id> objects;               // the new order
  std::vector<std::int64_t> rowids;      // per new element; 0 for a new row
  std::vector<double> positions;         // per new element
  std::vector<bool> write;               // per new element: insert (rowid 0) or move
  std::vector<std::int64_t> removed;     // rows to delete
  std::vector<std::size_t> keptHidden;   // committed rows that no longer read; never deleted
};

// Indices (into `values`) of one longest strictly increasing subsequence.
std::vector<std::size_t> longestIncreasing(const std::vector<std::pair<std::size_t, double>>& values) {
  std::vector<std::size_t> tails;  // index into values of the smallest tail of each length
  std::vector<std::ptrdiff_t> parent(values.size(), -1);
  for (std::size_t i = 0; i < values.size(); ++i) {
    auto at = std::lower_bound(tails.begin(), tails.end(), values[i].second,
                               [&](std::size_t t, double v) { return values[t].second < v; });
    if (at != tails.begin()) parent[i] = static_cast<std::ptrdiff_t>(*(at - 1));
    if (at == tails.end()) tails.push_back(i);
    else *at = i;
  }
  std::vector<std::size_t> out;
  for (std::ptrdiff_t i = tails.empty() ? -1 : static_cast<std::ptrdiff_t>(tails.back()); i >= 0; i = parent[i]) {
    out.push_back(static_cast<std::size_t>(i));
  }
  std::reverse(out.begin(), out.end());
  return out;
}

template <typename Element>
ListPlan planList(const std::vector<Element>& committed, const std::shared_ptr<NSArray>& list) {
  ListPlan plan;
  if (list) plan.objects = list->objects();
  const std::size_t n = plan.objects.size();
  plan.rowids.assign(n, 0);
  plan.positions.assign(n, 0);
  plan.write.assign(n, true);
  std::unordered_map<const NSObject*, std::size_t> byObject;
  for (std::size_t j = 0; j < committed.size(); ++j) {
    if (committed[j].object) byObject.emplace(committed[j].object.get(), j);
  }
  std::vector<bool> used(committed.size(), false);
  std::vector<std::pair<std::size_t, double>> candidates;  // (new index, old position)
  for (std::size_t i = 0; i < n; ++i) {
    auto found = byObject.find(plan.objects[i].get());
    if (found == byObject.end() || used[found->second]) continue;
    used[found->second] = true;
    plan.rowids[i] = committed[found->second].rowid;
    candidates.emplace_back(i, committed[found->second].position);
  }
  for (std::size_t j = 0; j < committed.size(); ++j) {
    if (!committed[j].object) plan.keptHidden.push_back(j);
    else if (!used[j]) plan.removed.push_back(committed[j].rowid);
  }
  // The longest run of elements already in order keeps its rows untouched.
  std::vector<bool> fixed(n, false);
  for (auto k : longestIncreasing(candidates)) {
    fixed[candidates[k].first] = true;
    plan.positions[candidates[k].first] = candidates[k].second;
    plan.write[candidates[k].first] = false;
  }
  // The others take places between their fixed neighbours.
  bool fits = true;
  for (std::size_t i = 0; i < n;) {
    if (fixed[i]) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < n && !fixed[end]) ++end;
    const std::size_t k = end - i;
    const bool hasBefore = i > 0, hasAfter = end < n;
    const double before = hasBefore ? plan.positions[i - 1] : 0, after = hasAfter ? plan.positions[end] : 0;
    for (std::size_t t = 0; t < k; ++t) {
      double position;
      if (hasBefore && hasAfter) position = before + (after - before) * static_cast<double>(t + 1) / static_cast<double>(k + 1);
      else if (hasBefore) position = before + static_cast<double>(t + 1);
      else if (hasAfter) position = after - static_cast<double>(k - t);
      else position = static_cast<double>(t);
      plan.positions[i + t] = position;
    }
    i = end;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(plan.positions[i]) || (i > 0 && !(plan.positions[i] > plan.positions[i - 1]))) fits = false;
  }
  if (!fits) {
    // Places ran out between two neighbours: number the whole list again (positions only).
    for (std::size_t i = 0; i < n; ++i) {
      plan.positions[i] = static_cast<double>(i);
      plan.write[i] = true;
    }
  }
  return plan;
}

}  // namespace

std::shared_ptr<NSManagedObjectContext> NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType type) {
  return std::shared_ptr<NSManagedObjectContext>(new NSManagedObjectContext(type));
}

std::shared_ptr<NSEntityDescription> NSManagedObjectContext::entityForName(std::string_view entityName) const {
  if (!persistentStoreCoordinator || !persistentStoreCoordinator->managedObjectModel()) return nullptr;
  return persistentStoreCoordinator->managedObjectModel()->entityNamed(entityName);
}

std::shared_ptr<NSManagedObject> NSManagedObjectContext::makeObject(const std::shared_ptr<NSEntityDescription>& entity) {
  auto object = entity->instantiate();
  object->entity_ = entity;
  object->objectID_ = std::shared_ptr<NSManagedObjectID>(new NSManagedObjectID(entity->name()));
  object->context_ = sharedAs<NSManagedObjectContext>();
  const std::size_t count = entity->attributes().size();
  object->values_.assign(count, nullptr);
  object->changed_.assign(count, false);
  object->ordered_.assign(count, {});
  return object;
}

std::shared_ptr<NSManagedObject> NSManagedObjectContext::insertNewObjectForEntityForName(std::string_view entityName) {
  auto entity = entityForName(entityName);
  if (!entity) return nullptr;
  auto object = makeObject(entity);
  object->inserted_ = true;
  object->insertionSequence_ = ++insertions_;
  for (std::size_t i = 0; i < entity->attributes().size(); ++i) {
    if (entity->attributes()[i].isOrdered()) {
      object->ordered_[i].loaded = true;
      object->values_[i] = NSArray::make();
    }
  }
  inserted_.push_back(object);
  object->awakeFromInsert();
  return object;
}

std::shared_ptr<NSManagedObject> NSManagedObjectContext::objectForRow(const std::shared_ptr<NSEntityDescription>& entity,
                                                                      const Coordinator::Row& row) {
  auto& rows = registered_[entity->name()];
  if (auto found = rows.find(row.rowid); found != rows.end()) return found->second;
  auto object = makeObject(entity);
  object->objectID_->rowid_ = row.rowid;
  for (std::size_t i = 0; i < entity->attributes().size(); ++i) {
    if (!entity->attributes()[i].isOrdered()) object->values_[i] = entity->attributes()[i].objectValue(row.values[i]);
  }
  rows.emplace(row.rowid, object);
  return object;
}

void NSManagedObjectContext::noteChanged(NSManagedObject& object) {
  if (object.inserted_ || object.deleted_) return;
  auto self = object.sharedAs<NSManagedObject>();
  if (std::find(updated_.begin(), updated_.end(), self) == updated_.end()) updated_.push_back(self);
}

void NSManagedObjectContext::deleteObject(const std::shared_ptr<NSManagedObject>& object) {
  if (!object || object->deleted_ || object->context_.lock().get() != this) return;
  if (object->inserted_) {
    // Never saved: it simply goes.
    std::erase(inserted_, object);
    object->inserted_ = false;
    object->deleted_ = true;
    return;
  }
  object->deleted_ = true;
  std::erase(updated_, object);
  deleted_.push_back(object);
}

std::shared_ptr<NSManagedObject> NSManagedObjectContext::existingObjectWithID(
    const std::shared_ptr<NSManagedObjectID>& objectID) const {
  if (!objectID) return nullptr;
  for (const auto& object : inserted_) {
    if (object->objectID_ == objectID) return object;
  }
  auto rows = registered_.find(objectID->entityName());
  if (rows == registered_.end() || objectID->isTemporaryID()) return nullptr;
  auto found = rows->second.find(objectID->rowid());
  if (found == rows->second.end() || found->second->deleted_ || found->second->objectID_ != objectID) return nullptr;
  return found->second;
}

bool NSManagedObjectContext::matches(NSManagedObject& object, const NSFetchRequest& request) {
  const auto& entity = *object.entity_;
  for (const auto& comparison : request.predicate) {
    auto index = entity.indexOfAttribute(comparison.key);
    if (!index || entity.attributes()[*index].isOrdered()) return false;
    const auto& attribute = entity.attributes()[*index];
    auto own = attribute.storeValue(object.values_[*index]).value_or(StoreValue{});
    bool any = false;
    for (const auto& value : comparison.values) {
      if (attribute.storeValue(value).value_or(StoreValue{}) == own) any = true;
    }
    switch (comparison.op) {
      case NSComparison::Operator::equal:
      case NSComparison::Operator::in:
        if (!any) return false;
        break;
      case NSComparison::Operator::notEqual:
      case NSComparison::Operator::notIn:
        if (any) return false;
        break;
    }
  }
  return true;
}

NSManagedObjectContext::FetchResult NSManagedObjectContext::executeFetchRequest(const NSFetchRequest& request) {
  auto entity = entityForName(request.entityName);
  if (!entity) {
    return std::unexpected(NSError::make(std::string(NSError::NSCocoaErrorDomain), 134070,
                                         "no entity named " + request.entityName));
  }
  std::vector<std::shared_ptr<NSManagedObject>> found;
  std::unordered_set<NSManagedObject*> seen;
  if (persistentStoreCoordinator && persistentStoreCoordinator->storeState() == Coordinator::StoreState::open) {
    auto rows = persistentStoreCoordinator->fetchRows(*entity, request);
    if (!rows) return std::unexpected(rows.error());
    for (const auto& row : *rows) {
      auto object = objectForRow(entity, row);
      // Changed objects are judged by their values in memory below.
      if (object->deleted_ || object->isUpdated()) continue;
      found.push_back(object);
    }
  }
  for (const auto& object : updated_) {
    if (object->entity_ == entity && !object->deleted_ && matches(*object, request)) found.push_back(object);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a->objectID_->rowid() < b->objectID_->rowid(); });
  for (const auto& object : inserted_) {
    if (object->entity_ == entity && matches(*object, request)) found.push_back(object);
  }
  if (!request.sortDescriptors.empty()) {
    std::vector<std::vector<StoreValue>> keys;
    std::vector<std::size_t> order(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
      order[i] = i;
      std::vector<StoreValue> k;
      for (const auto& sort : request.sortDescriptors) {
        auto index = entity->indexOfAttribute(sort.key);
        k.push_back(index ? entity->attributes()[*index].storeValue(found[i]->values_[*index]).value_or(StoreValue{}) : StoreValue{});
      }
      keys.push_back(std::move(k));
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      for (std::size_t s = 0; s < request.sortDescriptors.size(); ++s) {
        if (keys[a][s] == keys[b][s]) continue;
        return request.sortDescriptors[s].ascending ? keys[a][s] < keys[b][s] : keys[b][s] < keys[a][s];
      }
      return false;
    });
    std::vector<std::shared_ptr<NSManagedObject>> sorted;
    for (auto i : order) sorted.push_back(found[i]);
    found = std::move(sorted);
  }
  if (request.fetchLimit && found.size() > *request.fetchLimit) found.resize(*request.fetchLimit);
  return found;
}

bool NSManagedObjectContext::hasChanges() const { return !inserted_.empty() || !updated_.empty() || !deleted_.empty(); }

NSManagedObjectContext::Result NSManagedObjectContext::save() {
  if (!hasChanges()) return {};
  auto coordinator = persistentStoreCoordinator;
  if (!coordinator || coordinator->storeState() != Coordinator::StoreState::open) {
    return std::unexpected(NSError::make(std::string(NSError::NSCocoaErrorDomain), Coordinator::NSPersistentStoreSaveError,
                                         "there is no store to save to"));
  }
  // Everything that changes in memory is gathered here and applied only after the commit.
  struct ObjectPlan {
    std::shared_ptr<NSManagedObject> object;
    std::int64_t rowid = 0;
    std::vector<std::pair<std::size_t, ListPlan>> lists;
  };
  std::vector<ObjectPlan> plans;
  auto fail = [&](std::shared_ptr<NSError> error) {
    coordinator->rollbackTransaction();
    return std::unexpected(std::move(error));
  };
  if (auto begun = coordinator->beginTransaction(); !begun) return fail(begun.error());

  for (const auto& object : deleted_) {
    if (auto removed = coordinator->deleteRow(*object->entity_, object->objectID_->rowid()); !removed) return fail(removed.error());
  }
  auto writeLists = [&](ObjectPlan& plan, bool all) -> Result {
    auto& object = *plan.object;
    const auto& entity = *object.entity_;
    for (std::size_t i = 0; i < entity.attributes().size(); ++i) {
      const auto& attribute = entity.attributes()[i];
      if (!attribute.isOrdered() || !(all || object.changed_[i])) continue;
      object.loadOrdered(i);
      ListPlan list = planList(object.ordered_[i].committed, asA<NSArray>(object.values_[i]));
      for (auto rowid : list.removed) {
        if (auto done = coordinator->deleteChild(entity, attribute, rowid); !done) return done;
      }
      for (std::size_t e = 0; e < list.objects.size(); ++e) {
        if (!list.write[e]) continue;
        if (list.rowids[e] != 0) {
          if (auto done = coordinator->moveChild(entity, attribute, list.rowids[e], list.positions[e]); !done) return done;
          continue;
        }
        auto archived = NSKeyedArchiver::archivedDataWithRootObject(list.objects[e]);
        if (!archived) return std::unexpected(archived.error());
        auto rowid = coordinator->insertChild(entity, attribute, plan.rowid, list.positions[e], (*archived)->bytes());
        if (!rowid) return std::unexpected(rowid.error());
        list.rowids[e] = *rowid;
      }
      plan.lists.emplace_back(i, std::move(list));
    }
    return {};
  };
  auto scalarValues = [&](NSManagedObject& object, bool all, std::vector<std::size_t>& columns,
                          std::vector<StoreValue>& values) -> Result {
    const auto& entity = *object.entity_;
    for (std::size_t i = 0; i < entity.attributes().size(); ++i) {
      const auto& attribute = entity.attributes()[i];
      if (attribute.isOrdered() || !(all || object.changed_[i])) continue;
      auto value = attribute.storeValue(object.values_[i]);
      if (!value) {
        return std::unexpected(NSError::make(std::string(NSError::NSCocoaErrorDomain), 1550,
                                             "the value of " + attribute.name + " is not of its attribute's type"));
      }
      columns.push_back(i);
      values.push_back(std::move(*value));
    }
    return {};
  };
  for (const auto& object : inserted_) {
    std::vector<std::size_t> columns;
    std::vector<StoreValue> values;
    if (auto ok = scalarValues(*object, true, columns, values); !ok) return fail(ok.error());
    auto rowid = coordinator->insertRow(*object->entity_, columns, values);
    if (!rowid) return fail(rowid.error());
    plans.push_back({object, *rowid, {}});
    if (auto ok = writeLists(plans.back(), true); !ok) return fail(ok.error());
  }
  for (const auto& object : updated_) {
    std::vector<std::size_t> columns;
    std::vector<StoreValue> values;
    if (auto ok = scalarValues(*object, false, columns, values); !ok) return fail(ok.error());
    if (auto ok = coordinator->updateRow(*object->entity_, object->objectID_->rowid(), columns, values); !ok) return fail(ok.error());
    plans.push_back({object, object->objectID_->rowid(), {}});
    if (auto ok = writeLists(plans.back(), false); !ok) return fail(ok.error());
  }
  if (auto committed = coordinator->commitTransaction(); !committed) return fail(committed.error());

  // Committed: memory now follows the store.
  for (const auto& object : deleted_) {
    registered_[object->entity_->name()].erase(object->objectID_->rowid());
  }
  for (auto& plan : plans) {
    auto& object = *plan.object;
    if (object.inserted_) {
      object.inserted_ = false;
      object.objectID_->rowid_ = plan.rowid;
      registered_[object.entity_->name()].emplace(plan.rowid, plan.object);
    }
    for (auto& [index, list] : plan.lists) {
      std::vector<NSManagedObject::Element> committed;
      for (auto hidden : list.keptHidden) committed.push_back(object.ordered_[index].committed[hidden]);
      for (std::size_t e = 0; e < list.objects.size(); ++e) committed.push_back({list.objects[e], list.rowids[e], list.positions[e]});
      std::stable_sort(committed.begin(), committed.end(), [](const auto& a, const auto& b) { return a.position < b.position; });
      object.ordered_[index].committed = std::move(committed);
    }
    std::fill(object.changed_.begin(), object.changed_.end(), false);
  }
  inserted_.clear();
  updated_.clear();
  deleted_.clear();
  return {};
}

void NSManagedObjectContext::performBlock(std::function<void()> block) {
  if (type_ == NSManagedObjectContextConcurrencyType::mainQueue) {
    NSRunLoop::main()->perform(std::move(block));
    return;
  }
  DispatchQueue::global()->async(std::move(block));
}
