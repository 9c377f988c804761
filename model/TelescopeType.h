#pragma once
// The kind of a search-suggestion unit, and why an entry could not become one.
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSError.h"

enum class TelescopeType { telescope, didyoumean };

struct TelescopeSerializationError {
  enum class Case { missing = 0 };
  Case kind = Case::missing;
  std::string payload;  // the absent key

  static TelescopeSerializationError missing(std::string key) { return {Case::missing, std::move(key)}; }
  bool operator==(const TelescopeSerializationError&) const = default;
  std::shared_ptr<NSError> toNSError() const {
    return NSError::make(std::string(domain), static_cast<std::int64_t>(kind), payload);
  }
  static constexpr std::string_view domain = "Glimdeck.TelescopeSerializationError";
};
