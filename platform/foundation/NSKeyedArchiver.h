#pragma once
// Writes an object graph as a keyed archive: a binary property list holding "$archiver",
// "$version", "$top" (the root under "root") and "$objects", where every object appears
// once and refers to others by UID, and class records carry "$classname" and "$classes".
// Texts, numbers and data stand in "$objects" directly; index 0 is the null reference "$null".

#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSCoding.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSPropertyListSerialization.h"

class NSKeyedArchiver : public NSCoder, public NSObject {
 public:
  using DataResult = std::expected<std::shared_ptr<NSData>, std::shared_ptr<NSError>>;

  // Object graphs nested deeper than this are refused.
  static constexpr std::size_t kMaximumDepth = 512;
  // The key of the root object in "$top".
  static constexpr std::string_view NSKeyedArchiveRootObjectKey = "root";

  static std::shared_ptr<NSKeyedArchiver> make();
  // The archive of the graph under `root`; an error when an object in it cannot be coded.
  static DataResult archivedDataWithRootObject(const id& root);
  // Archives the graph and writes it to the file atomically; false when either step fails.
  static bool archiveRootObject(const id& root, const std::filesystem::path& toFile);

  // Class-wide: objects whose className() is `className` are archived under `codedName`
  // (an empty coded name removes the entry).
  static void setClassName(std::string codedName, std::string_view className);
  static std::optional<std::string> classNameForClass(std::string_view className);

  NSPropertyListFormat outputFormat = NSPropertyListFormat::NSPropertyListBinaryFormat_v1_0;

  void encodeObject(const id& object, std::string_view key) override;
  void encodeBool(bool value, std::string_view key) override;
  void encodeInt64(std::int64_t value, std::string_view key) override;
  void encodeDouble(double value, std::string_view key) override;
  void encodeObjects(const std::vector<id>& objects, std::string_view key) override;

  // Ends writing; later encode calls are ignored.
  void finishEncoding();
  // The archive (finishing it first), or the first error met while encoding.
  DataResult encodedData();

  GLIMDECK_OBJECT(NSKeyedArchiver)

 private:
  NSKeyedArchiver();
  std::uint64_t referenceTo(const id& object);
  std::uint64_t classReference(const std::string& codedName);
  void encodeValueClass(const id& object);
  NSDictionary& current() { return *containers_.back(); }

  std::shared_ptr<NSArray> objects_;
  std::shared_ptr<NSDictionary> top_;
  std::vector<std::shared_ptr<NSDictionary>> containers_;
  std::unordered_map<const NSObject*, std::uint64_t> references_;
  std::unordered_map<std::string, std::uint64_t> textReferences_;
  std::unordered_map<std::string, std::uint64_t> classReferences_;
  // Every encoded object stays alive until the end, so no address is reused meanwhile.
  std::vector<id> retained_;
  std::shared_ptr<NSData> data_;
  bool finished_ = false;
};

// Keys beginning with "$" are reserved by the layout; such keys are stored with one more "$".
std::string NSKeyedArchiveEscapedKey(std::string_view key);
