#pragma once
// Why an item could not be made: a required JSON member is missing or unusable, or a local
// file path or address cannot be used.
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSError.h"

struct VornObjectSerializationError {
  enum class Case { missing = 0, invalidUrl = 1 };
  Case kind;
  std::string payload;

  static VornObjectSerializationError missing(std::string key) { return {Case::missing, std::move(key)}; }
  static VornObjectSerializationError invalidUrl(std::string path) { return {Case::invalidUrl, std::move(path)}; }
  bool operator==(const VornObjectSerializationError&) const = default;
  // As a platform error: the case order is the code, the payload the description.
  std::shared_ptr<NSError> toNSError() const {
    return NSError::make(std::string(domain), static_cast<std::int64_t>(kind), payload);
  }
  static constexpr std::string_view domain = "Glimdeck.VornObjectSerializationError";
};
