#pragma once
// The description of what a store holds: entities with typed attributes, the model's schema
// version and the steps that bring an older store up to it. Each entity is one table; an
// ordered list of archived objects is a child table with one keyed archive per element, so
// that a change to one element rewrites one row.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSManagedObject;

enum class NSAttributeType {
  integer64,        // NSNumber (integer)
  boolean,          // NSNumber (bool)
  doubleValue,      // NSNumber (real)
  string,           // NSString
  date,             // NSDate, stored as seconds since 1970 (exact)
  URI,              // NSURL, stored as its absolute text
  transformable,    // any keyed-coding object, stored as one keyed archive
  orderedArchives,  // NSArray of keyed-coding objects, one archive per element in a child table
};

// A value as SQLite holds it: NULL, INTEGER, REAL, TEXT or BLOB.
using StoreValue = std::variant<std::monostate, std::int64_t, double, std::string, std::vector<std::uint8_t>>;

struct NSAttributeDescription {
  std::string name;
  NSAttributeType attributeType = NSAttributeType::string;

  // The store form of an object value; nothing when the object is not of the attribute's
  // type (or cannot be archived).
  std::optional<StoreValue> storeValue(const id& value) const;
  // The object of a store value; empty for NULL or a value that no longer reads.
  id objectValue(const StoreValue& value) const;
  bool isOrdered() const { return attributeType == NSAttributeType::orderedArchives; }
};

class NSEntityDescription : public NSObject {
 public:
  using Factory = std::function<std::shared_ptr<NSManagedObject>()>;
  // `factory` makes an instance of the entity's class; empty makes plain managed objects.
  static std::shared_ptr<NSEntityDescription> make(std::string name, std::vector<NSAttributeDescription> attributes,
                                                   Factory factory = nullptr);

  const std::string& name() const { return name_; }
  const std::vector<NSAttributeDescription>& attributes() const { return attributes_; }
  // The attribute's index, or nothing for a key the entity does not have.
  std::optional<std::size_t> indexOfAttribute(std::string_view key) const;
  std::shared_ptr<NSManagedObject> instantiate() const;
  // The table of the entity and the child table of one ordered attribute.
  std::string tableName() const { return name_; }
  std::string childTableName(const NSAttributeDescription& attribute) const { return name_ + "_" + attribute.name; }

  std::string className() const override { return "NSEntityDescription"; }

 private:
  NSEntityDescription() = default;
  std::string name_;
  std::vector<NSAttributeDescription> attributes_;
  Factory factory_;
};

// Brings a store from the version before `toVersion` to `toVersion`; runs inside a transaction.
struct NSMigrationStep {
  int toVersion = 0;
  std::vector<std::string> statements;
};

class NSManagedObjectModel : public NSObject {
 public:
  static std::shared_ptr<NSManagedObjectModel> make(std::string name, int version,
                                                    std::vector<std::shared_ptr<NSEntityDescription>> entities,
                                                    std::vector<NSMigrationStep> migrations = {});

  const std::string& name() const { return name_; }
  // The schema version a store of this model carries in PRAGMA user_version (from 1).
  int version() const { return version_; }
  const std::vector<std::shared_ptr<NSEntityDescription>>& entities() const { return entities_; }
  std::shared_ptr<NSEntityDescription> entityNamed(std::string_view name) const;
  const std::vector<NSMigrationStep>& migrations() const { return migrations_; }
  // The statements that create the current schema in an empty store.
  std::vector<std::string> schemaStatements() const;

  std::string className() const override { return "NSManagedObjectModel"; }

 private:
  NSManagedObjectModel() = default;
  std::string name_;
  int version_ = 1;
  std::vector<std::shared_ptr<NSEntityDescription>> entities_;
  std::vector<NSMigrationStep> migrations_;
};

// SQL's double-quoted identifier.
std::string sqlIdentifier(std::string_view name);
