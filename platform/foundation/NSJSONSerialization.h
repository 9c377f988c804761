#pragma once
// Reading JSON into the value classes and writing the value classes as JSON.
//
// Reading: objects become NSDictionary (a repeated key keeps its last value), arrays NSArray
// (both always mutable), strings NSString, true/false Boolean NSNumber, integers that fit a
// signed 64-bit integer integer NSNumber, larger positive integers unsigned NSNumber, every
// other number a real NSNumber, null NSNull. Input larger than maxInputLength or nested
// deeper than maxDepth is refused, as is anything that is not exactly one well-formed JSON
// text in valid UTF-8. Failures are NSError values in NSCocoaErrorDomain.
//
// Writing: NSDictionary, NSArray, NSString, NSNumber and NSNull only; reals are written with
// the shortest text that reads back as the same real, integers exactly, strings escaped as
// RFC 8259 asks (slashes are left alone).

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string_view>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

enum class NSJSONReadingOptions : unsigned {
  none = 0,
  // Containers are always mutable here; the name is accepted for callers that ask for it.
  mutableContainers = 1u << 0,
  // Accept a top level that is not an array or an object.
  fragmentsAllowed = 1u << 2,
};

enum class NSJSONWritingOptions : unsigned {
  none = 0,
  // Two-space indentation, one member per line, "key" : value.
  prettyPrinted = 1u << 0,
  // Object members in the byte order of their keys rather than insertion order.
  sortedKeys = 1u << 1,
  // Accept a top level that is not an array or an object.
  fragmentsAllowed = 1u << 2,
  // Slashes are never escaped; the name is accepted for callers that ask for it.
  withoutEscapingSlashes = 1u << 3,
};

constexpr NSJSONReadingOptions operator|(NSJSONReadingOptions a, NSJSONReadingOptions b) {
  return static_cast<NSJSONReadingOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr NSJSONWritingOptions operator|(NSJSONWritingOptions a, NSJSONWritingOptions b) {
  return static_cast<NSJSONWritingOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool hasOption(NSJSONReadingOptions set, NSJSONReadingOptions option) {
  return (static_cast<unsigned>(set) & static_cast<unsigned>(option)) != 0;
}
constexpr bool hasOption(NSJSONWritingOptions set, NSJSONWritingOptions option) {
  return (static_cast<unsigned>(set) & static_cast<unsigned>(option)) != 0;
}

class NSJSONSerialization {
 public:
  // Deepest nesting of arrays and objects accepted when reading or writing ("[]" is depth 1).
  static constexpr std::size_t maxDepth = 512;
  // Largest input accepted when reading.
  static constexpr std::size_t maxInputLength = 64u * 1024u * 1024u;
  // Error codes, in NSCocoaErrorDomain.
  static constexpr std::int64_t readErrorCode = 3840;
  static constexpr std::int64_t writeErrorCode = 3852;

  static std::expected<id, std::shared_ptr<NSError>> JSONObjectWithData(
      const std::shared_ptr<NSData>& data, NSJSONReadingOptions options = NSJSONReadingOptions::none);
  static std::expected<id, std::shared_ptr<NSError>> JSONObjectWithBytes(
      std::string_view bytes, NSJSONReadingOptions options = NSJSONReadingOptions::none);

  static std::expected<std::shared_ptr<NSData>, std::shared_ptr<NSError>> dataWithJSONObject(
      const id& object, NSJSONWritingOptions options = NSJSONWritingOptions::none);
  // The same text as a string, for callers that build bodies or log lines.
  static std::expected<std::string, std::shared_ptr<NSError>> stringWithJSONObject(
      const id& object, NSJSONWritingOptions options = NSJSONWritingOptions::none);

  // True when the object is an array or a dictionary that dataWithJSONObject can write.
  static bool isValidJSONObject(const id& object);

  NSJSONSerialization() = delete;
};
