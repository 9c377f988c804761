#pragma once
// Converts between property-list bytes (binary "bplist00" or XML) and the value classes.
// Reading detects the format; input is checked for shape, depth and size before the
// parser sees it, so hostile bytes give an error and never exhaust the stack or memory.

#include <cstdint>
#include <expected>
#include <memory>
#include <string>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

// Seconds from 1 January 1970 to 1 January 2001, where property-list and archive dates count from.
inline constexpr double NSTimeIntervalSince1970 = 978307200.0;

// The reference value of keyed archives ("CF$UID"): an index into the archive's object list.
// Reading a property list that holds one gives this object; writing one writes a UID.
class NSPropertyListUID : public NSObject {
 public:
  static std::shared_ptr<NSPropertyListUID> make(std::uint64_t value);
  std::uint64_t value() const { return value_; }
  GLIMDECK_OBJECT(NSPropertyListUID)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override { return static_cast<std::size_t>(value_); }
  std::string description() const override;

 private:
  explicit NSPropertyListUID(std::uint64_t value) : value_(value) {}
  std::uint64_t value_;
};

enum class NSPropertyListFormat { NSPropertyListXMLFormat_v1_0 = 100, NSPropertyListBinaryFormat_v1_0 = 200 };

// Containers are always mutable here, so the mutability options only document intent.
enum class NSPropertyListReadOptions { NSPropertyListImmutable = 0, NSPropertyListMutableContainers = 1,
                                       NSPropertyListMutableContainersAndLeaves = 2 };

class NSPropertyListSerialization {
 public:
  using Result = std::expected<id, std::shared_ptr<NSError>>;
  using DataResult = std::expected<std::shared_ptr<NSData>, std::shared_ptr<NSError>>;

  // Error codes of NSCocoaErrorDomain.
  static constexpr std::int64_t NSPropertyListReadCorruptError = 3840;
  static constexpr std::int64_t NSPropertyListReadUnknownVersionError = 3841;
  static constexpr std::int64_t NSPropertyListWriteInvalidError = 3852;

  // Containers deeper than this are refused both ways.
  static constexpr std::size_t kMaximumDepth = 512;
  // A binary list may share objects; more values than this once expanded are refused.
  static constexpr std::uint64_t kMaximumExpandedObjects = 1u << 20;

  // The root value of the bytes. `format`, when given, receives the format found.
  static Result propertyListWithData(const std::shared_ptr<NSData>& data,
                                     NSPropertyListReadOptions options = NSPropertyListReadOptions::NSPropertyListImmutable,
                                     NSPropertyListFormat* format = nullptr);
  static DataResult dataWithPropertyList(const id& plist, NSPropertyListFormat format,
                                         std::uint64_t options = 0);
  // True when every value in the tree is one the format can hold (dictionary keys are texts).
  static bool propertyListIsValidForFormat(const id& plist, NSPropertyListFormat format);
};
