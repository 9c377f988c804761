#include "platform/foundation/NSArray.h"

#include <algorithm>

std::shared_ptr<NSArray> NSArray::make(std::vector<id> objects) {
  return create(std::move(objects));
}

std::shared_ptr<NSArray> NSArray::make(std::initializer_list<id> objects) {
  return make(std::vector<id>(objects));
}

id NSArray::objectAtIndex(std::size_t index) const {
  return index < objects_.size() ? objects_[index] : nullptr;
}

bool NSArray::containsObject(const id& object) const { return indexOfObject(object) != npos; }

std::size_t NSArray::indexOfObject(const id& object) const {
  for (std::size_t i = 0; i < objects_.size(); ++i) {
    if (objectsEqual(objects_[i], object)) return i;
  }
  return npos;
}

void NSArray::insertObject(id object, std::size_t index) {
  index = std::min(index, objects_.size());
  objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), std::move(object));
}

void NSArray::removeObjectAtIndex(std::size_t index) {
  if (index < objects_.size()) objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
}

void NSArray::removeObject(const id& object) {
  std::erase_if(objects_, [&](const id& o) { return objectsEqual(o, object); });
}

void NSArray::replaceObjectAtIndex(std::size_t index, id object) {
  if (index < objects_.size()) objects_[index] = std::move(object);
}

bool NSArray::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto list = asA<NSArray>(other);
  if (!list || list->objects_.size() != objects_.size()) return false;
  for (std::size_t i = 0; i < objects_.size(); ++i) {
    if (!objectsEqual(objects_[i], list->objects_[i])) return false;
  }
  return true;
}

std::string NSArray::description() const {
  std::string out = "(";
  for (std::size_t i = 0; i < objects_.size(); ++i) {
    out += i ? ",\n    " : "\n    ";
    out += objects_[i] ? objects_[i]->description() : "(null)";
  }
  return out + (objects_.empty() ? ")" : "\n)");
}
