#pragma once
// A typed fetch: an entity, comparisons that must all hold, sort keys and a limit. Results
// come in row order (the order rows were first saved, unsaved inserts last) unless sorted.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

struct NSComparison {
  enum class Operator { equal, notEqual, in, notIn };
  std::string key;
  Operator op = Operator::equal;
  std::vector<id> values;  // one for equal and notEqual

  static NSComparison equal(std::string key, id value) { return {std::move(key), Operator::equal, {std::move(value)}}; }
  static NSComparison notEqual(std::string key, id value) {
    return {std::move(key), Operator::notEqual, {std::move(value)}};
  }
  static NSComparison notIn(std::string key, std::vector<id> values) {
    return {std::move(key), Operator::notIn, std::move(values)};
  }
  static NSComparison in(std::string key, std::vector<id> values) { return {std::move(key), Operator::in, std::move(values)}; }
};

struct NSSortDescriptor {
  std::string key;
  bool ascending = true;
};

struct NSFetchRequest {
  std::string entityName;
  std::vector<NSComparison> predicate;  // all must hold; empty matches every row
  std::vector<NSSortDescriptor> sortDescriptors;
  std::optional<std::size_t> fetchLimit;

  static NSFetchRequest fetchRequestWithEntityName(std::string name) { return NSFetchRequest{std::move(name), {}, {}, {}}; }
};
