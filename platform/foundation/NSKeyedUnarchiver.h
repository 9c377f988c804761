#pragma once
// Reads keyed archives written by NSKeyedArchiver (or any archiver of the same layout).
// Each archived object is rebuilt by the initializer registered for its class name, after
// the class-wide table of `setClass(forClassName)` has mapped old names onto current ones.
// Objects referenced twice are rebuilt once and shared. Malformed archives, references
// out of range, cycles, unknown classes and nesting beyond kMaximumDepth give an error.

#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSCoding.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"

class NSKeyedUnarchiver : public NSCoder, public NSObject {
 public:
  using Result = std::expected<id, std::shared_ptr<NSError>>;
  template <typename T>
  using TypedResult = std::expected<std::shared_ptr<T>, std::shared_ptr<NSError>>;

  static constexpr std::size_t kMaximumDepth = 512;

  // An unarchiver positioned on the archive's "$top"; an error when the bytes are not a keyed archive.
  static TypedResult<NSKeyedUnarchiver> make(const std::shared_ptr<NSData>& data);
  // The root object (empty for an archived null reference), or the error that stopped decoding.
  static Result unarchiveObjectWithData(const std::shared_ptr<NSData>& data);
  // The same for the file's bytes; a file that cannot be read is an error too.
  static Result unarchiveObjectWithFile(const std::filesystem::path& path);
  // The root object when it is a T; a root of another type is an error, as is a null root.
  template <typename T>
  static TypedResult<T> unarchivedObjectOfClass(const std::shared_ptr<NSData>& data) {
    auto root = unarchiveObjectWithData(data);
    if (!root) return std::unexpected(root.error());
    if (auto typed = asA<T>(*root)) return typed;
    return std::unexpected(anotherTypeError("root", *root ? (*root)->className() : "null"));
  }

  // The registry of decodable classes: archived objects of `className` are rebuilt by
  // `initializer`. The value classes are registered from the start.
  static void registerClass(std::string className, NSCodingInitializer initializer);
  // Class-wide: archives naming `forClassName` decode as the registered class `className`
  // (an empty class name removes the entry).
  static void setClass(std::string_view className, std::string_view forClassName);
  // The registered class that an archived name decodes as, after the table.
  static std::optional<std::string> classForClassName(std::string_view forClassName);

  bool containsValueForKey(std::string_view key) const override;
  id decodeObjectForKey(std::string_view key) override;
  bool decodeBoolForKey(std::string_view key) override;
  std::int64_t decodeInt64ForKey(std::string_view key) override;
  double decodeDoubleForKey(std::string_view key) override;
  std::optional<std::vector<id>> decodeObjectsForKey(std::string_view key) override;

  void finishDecoding() { finished_ = true; }

  GLIMDECK_OBJECT(NSKeyedUnarchiver)

 private:
  NSKeyedUnarchiver(std::shared_ptr<NSArray> objects, std::shared_ptr<NSDictionary> top);
  id resolve(const id& reference);
  id fail(const std::string& reason);
  id valueForKey(std::string_view key) const;

  enum class State : std::uint8_t { unseen, decoding, done };
  std::shared_ptr<NSArray> objects_;
  std::vector<State> states_;
  std::vector<id> decoded_;
  std::vector<std::shared_ptr<NSDictionary>> containers_;
  bool finished_ = false;
};
