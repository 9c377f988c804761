#include "platform/coredata/NSManagedObjectModel.h"

#include "platform/coredata/NSManagedObject.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

std::string sqlIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

std::optional<StoreValue> NSAttributeDescription::storeValue(const id& value) const {
  if (!value) return StoreValue{};
  switch (attributeType) {
    case NSAttributeType::integer64:
    case NSAttributeType::boolean:
      if (auto number = asA<NSNumber>(value)) return StoreValue{attributeType == NSAttributeType::boolean
                                                                    ? std::int64_t{number->boolValue()}
                                                                    : number->integerValue()};
      return std::nullopt;
    case NSAttributeType::doubleValue:
      if (auto number = asA<NSNumber>(value)) return StoreValue{number->doubleValue()};
      return std::nullopt;
    case NSAttributeType::string:
      if (auto text = asA<NSString>(value)) return StoreValue{text->string()};
      return std::nullopt;
    case NSAttributeType::date:
      if (auto date = asA<NSDate>(value)) return StoreValue{date->timeIntervalSince1970()};
      return std::nullopt;
    case NSAttributeType::URI:
      if (auto url = asA<NSURL>(value)) return StoreValue{url->absoluteString()};
      return std::nullopt;
    case NSAttributeType::transformable: {
      auto archived = NSKeyedArchiver::archivedDataWithRootObject(value);
      if (!archived) return std::nullopt;
      return StoreValue{(*archived)->bytes()};
    }
    case NSAttributeType::orderedArchives:
      return std::nullopt;
  }
  return std::nullopt;
}

id NSAttributeDescription::objectValue(const StoreValue& value) const {
  if (std::holds_alternative<std::monostate>(value)) return nullptr;
  const auto* integer = std::get_if<std::int64_t>(&value);
  const auto* real = std::get_if<double>(&value);
  const auto* text = std::get_if<std::string>(&value);
  const auto* blob = std::get_if<std::vector<std::uint8_t>>(&value);
  switch (attributeType) {
    case NSAttributeType::integer64:
      if (integer) return NSNumber::numberWithInteger(*integer);
      if (real) return NSNumber::numberWithInteger(static_cast<std::int64_t>(*real));
      return nullptr;
    case NSAttributeType::boolean:
      if (integer) return NSNumber::numberWithBool(*integer != 0);
      return nullptr;
    case NSAttributeType::doubleValue:
      if (real) return NSNumber::numberWithDouble(*real);
      if (integer) return NSNumber::numberWithDouble(static_cast<double>(*integer));
      return nullptr;
    case NSAttributeType::string:
      if (text) return NSString::make(*text);
      return nullptr;
    case NSAttributeType::date:
      if (real) return NSDate::dateWithTimeIntervalSince1970(*real);
      if (integer) return NSDate::dateWithTimeIntervalSince1970(static_cast<double>(*integer));
      return nullptr;
    case NSAttributeType::URI:
      if (text) return NSURL::URLWithString(*text);
      return nullptr;
    case NSAttributeType::transformable: {
      if (!blob) return nullptr;
      auto decoded = NSKeyedUnarchiver::unarchiveObjectWithData(NSData::make(*blob));
      return decoded ? *decoded : nullptr;
    }
    case NSAttributeType::orderedArchives:
      return nullptr;
  }
  return nullptr;
}

std::shared_ptr<NSEntityDescription> NSEntityDescription::make(std::string name,
                                                               std::vector<NSAttributeDescription> attributes,
                                                               Factory factory) {
  auto entity = std::shared_ptr<NSEntityDescription>(new NSEntityDescription());
  entity->name_ = std::move(name);
  entity->attributes_ = std::move(attributes);
  entity->factory_ = std::move(factory);
  return entity;
}

std::optional<std::size_t> NSEntityDescription::indexOfAttribute(std::string_view key) const {
  for (std::size_t i = 0; i < attributes_.size(); ++i) {
    if (attributes_[i].name == key) return i;
  }
  return std::nullopt;
}

std::shared_ptr<NSManagedObject> NSEntityDescription::instantiate() const {
  return factory_ ? factory_() : NSManagedObject::make();
}

std::shared_ptr<NSManagedObjectModel> NSManagedObjectModel::make(std::string name, int version,
                                                                 std::vector<std::shared_ptr<NSEntityDescription>> entities,
                                                                 std::vector<NSMigrationStep> migrations) {
  auto model = std::shared_ptr<NSManagedObjectModel>(new NSManagedObjectModel());
  model->name_ = std::move(name);
  model->version_ = version;
  model->entities_ = std::move(entities);
  model->migrations_ = std::move(migrations);
  return model;
}

std::shared_ptr<NSEntityDescription> NSManagedObjectModel::entityNamed(std::string_view name) const {
  for (const auto& entity : entities_) {
    if (entity->name() == name) return entity;
  }
  return nullptr;
}

namespace {

const char* columnType(NSAttributeType type) {
  switch (type) {
    case NSAttributeType::integer64:
    case NSAttributeType::boolean: return "INTEGER";
    case NSAttributeType::doubleValue:
    case NSAttributeType::date: return "REAL";
    case NSAttributeType::string:
    case NSAttributeType::URI: return "TEXT";
    case NSAttributeType::transformable:
    case NSAttributeType::orderedArchives: return "BLOB";
  }
  return "BLOB";
}

}  // namespace

std::vector<std::string> NSManagedObjectModel::schemaStatements() const {
  std::vector<std::string> statements;
  for (const auto& entity : entities_) {
    std::string table = "CREATE TABLE " + sqlIdentifier(entity->tableName()) + " (Z_PK INTEGER PRIMARY KEY";
    for (const auto& attribute : entity->attributes()) {
      if (attribute.isOrdered()) continue;
      table += ", " + sqlIdentifier(attribute.name) + " " + columnType(attribute.attributeType);
    }
    statements.push_back(table + ")");
    for (const auto& attribute : entity->attributes()) {
      if (!attribute.isOrdered()) continue;
      const std::string child = entity->childTableName(attribute);
      statements.push_back("CREATE TABLE " + sqlIdentifier(child) +
                           " (Z_PK INTEGER PRIMARY KEY, owner INTEGER NOT NULL, position REAL NOT NULL, data BLOB NOT NULL)");
      statements.push_back("CREATE INDEX " + sqlIdentifier(child + "_owner") + " ON " + sqlIdentifier(child) +
                           " (owner, position)");
    }
  }
  return statements;
}
