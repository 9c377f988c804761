#pragma once
// An ordered list of objects. Lists are mutable; NSMutableArray names the same class.

#include <initializer_list>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSArray : public NSObject {
 public:
  static std::shared_ptr<NSArray> make(std::vector<id> objects = {});
  static std::shared_ptr<NSArray> make(std::initializer_list<id> objects);

  std::size_t count() const { return objects_.size(); }
  // The object at the index, or empty when the index is out of range.
  id objectAtIndex(std::size_t index) const;
  id firstObject() const { return objects_.empty() ? nullptr : objects_.front(); }
  id lastObject() const { return objects_.empty() ? nullptr : objects_.back(); }
  bool containsObject(const id& object) const;
  // The first index of an equal object, or npos.
  std::size_t indexOfObject(const id& object) const;
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  void addObject(id object) { objects_.push_back(std::move(object)); }
  void insertObject(id object, std::size_t index);
  void removeObjectAtIndex(std::size_t index);
  void removeObject(const id& object);  // every equal object
  void removeAllObjects() { objects_.clear(); }
  void replaceObjectAtIndex(std::size_t index, id object);

  const std::vector<id>& objects() const { return objects_; }
  std::vector<id>& mutableObjects() { return objects_; }
  auto begin() const { return objects_.begin(); }
  auto end() const { return objects_.end(); }

  // A new list with the same elements (the elements themselves are shared).
  std::shared_ptr<NSArray> copy() const { return make(objects_); }

  GLIMDECK_OBJECT(NSArray)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override { return objects_.size(); }
  std::string description() const override;

 private:
  explicit NSArray(std::vector<id> objects) : objects_(std::move(objects)) {}
  std::vector<id> objects_;
};

using NSMutableArray = NSArray;
