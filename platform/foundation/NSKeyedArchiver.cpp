#include "platform/foundation/NSKeyedArchiver.h"

#include <charconv>
#include <mutex>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSValue.h"

namespace {

std::mutex& classNamesMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unordered_map<std::string, std::string>& classNames() {
  // Never destroyed: any thread may archive (ProcessShutdown.h).
  static auto& table = *new std::unordered_map<std::string, std::string>();
  return table;
}

std::string shortest(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string pair(double a, double b) { return "{" + shortest(a) + ", " + shortest(b) + "}"; }

}  // namespace

std::string NSKeyedArchiveEscapedKey(std::string_view key) {
  return key.starts_with('$') ? "$" + std::string(key) : std::string(key);
}

NSKeyedArchiver::NSKeyedArchiver()
    : objects_(NSArray::make({NSString::make("$null")})), top_(NSDictionary::make()) {
  containers_.push_back(top_);
}

std::shared_ptr<NSKeyedArchiver> NSKeyedArchiver::make() {
  return std::shared_ptr<NSKeyedArchiver>(new NSKeyedArchiver());
}

NSKeyedArchiver::DataResult NSKeyedArchiver::archivedDataWithRootObject(const id& root) {
  auto archiver = make();
  archiver->encodeObject(root, NSKeyedArchiveRootObjectKey);
  return archiver->encodedData();
}

bool NSKeyedArchiver::archiveRootObject(const id& root, const std::filesystem::path& toFile) {
  auto data = archivedDataWithRootObject(root);
  return data && NSFileManager::defaultManager()->writeAtomically(toFile, (*data)->view()).has_value();
}

void NSKeyedArchiver::setClassName(std::string codedName, std::string_view className) {
  std::lock_guard lock(classNamesMutex());
  if (codedName.empty()) {
    classNames().erase(std::string(className));
  } else {
    classNames()[std::string(className)] = std::move(codedName);
  }
}

std::optional<std::string> NSKeyedArchiver::classNameForClass(std::string_view className) {
  std::lock_guard lock(classNamesMutex());
  auto found = classNames().find(std::string(className));
  if (found == classNames().end()) return std::nullopt;
  return found->second;
}

void NSKeyedArchiver::encodeObject(const id& object, std::string_view key) {
  if (finished_) return;
  const std::uint64_t reference = referenceTo(object);
  current().setObject(NSPropertyListUID::make(reference), NSKeyedArchiveEscapedKey(key));
}

void NSKeyedArchiver::encodeBool(bool value, std::string_view key) {
  if (!finished_) current().setObject(NSNumber::numberWithBool(value), NSKeyedArchiveEscapedKey(key));
}

void NSKeyedArchiver::encodeInt64(std::int64_t value, std::string_view key) {
  if (!finished_) current().setObject(NSNumber::numberWithInteger(value), NSKeyedArchiveEscapedKey(key));
}

void NSKeyedArchiver::encodeDouble(double value, std::string_view key) {
  if (!finished_) current().setObject(NSNumber::numberWithDouble(value), NSKeyedArchiveEscapedKey(key));
}

void NSKeyedArchiver::encodeObjects(const std::vector<id>& objects, std::string_view key) {
  if (finished_) return;
  auto references = NSArray::make();
  for (const id& object : objects) references->addObject(NSPropertyListUID::make(referenceTo(object)));
  current().setObject(references, NSKeyedArchiveEscapedKey(key));
}

std::uint64_t NSKeyedArchiver::referenceTo(const id& object) {
  if (!object || error()) return 0;
  if (auto found = references_.find(object.get()); found != references_.end()) return found->second;
  retained_.push_back(object);
  // Texts, numbers and data are property-list values themselves; equal texts share one entry.
  if (auto text = asA<NSString>(object)) {
    auto [entry, added] = textReferences_.try_emplace(text->string(), objects_->count());
    if (added) objects_->addObject(NSString::make(text->string()));
    references_[object.get()] = entry->second;
    return entry->second;
  }
  if (asA<NSNumber>(object) || asA<NSData>(object)) {
    const std::uint64_t reference = objects_->count();
    objects_->addObject(asA<NSData>(object) ? NSData::make(asA<NSData>(object)->bytes()) : object);
    references_[object.get()] = reference;
    return reference;
  }
  if (containers_.size() > kMaximumDepth) {
    failWithError(NSError::make(std::string(NSError::NSCocoaErrorDomain), NSCoderInvalidValueError,
                                "The object graph is nested too deeply to archive."));
    return 0;
  }
  // Reserve the slot first, so that a reference back to this object while its fields are
  // written points at it.
  const std::uint64_t reference = objects_->count();
  objects_->addObject(NSNull::null());
  references_[object.get()] = reference;
  auto record = NSDictionary::make();
  containers_.push_back(record);
  std::string codedName;
  if (auto coding = dynamic_cast<const NSCoding*>(object.get())) {
    coding->encodeWithCoder(*this);
    codedName = classNameForClass(object->className()).value_or(object->className());
  } else if (asA<NSArray>(object) || asA<NSDictionary>(object) || asA<NSDate>(object) || asA<NSNull>(object) ||
             asA<NSValue>(object)) {
    encodeValueClass(object);
    codedName = object->className();
  } else {
    failWithError(NSError::make(std::string(NSError::NSCocoaErrorDomain), NSCoderInvalidValueError,
                                "Objects of class " + object->className() + " cannot be archived."));
  }
  containers_.pop_back();
  if (error()) return 0;
  record->setObject(NSPropertyListUID::make(classReference(codedName)), "$class");
  objects_->replaceObjectAtIndex(reference, record);
  return reference;
}

void NSKeyedArchiver::encodeValueClass(const id& object) {
  if (auto array = asA<NSArray>(object)) {
    encodeObjects(array->objects(), "NS.objects");
  } else if (auto dictionary = asA<NSDictionary>(object)) {
    std::vector<id> keys, values;
    for (const auto& [key, value] : *dictionary) {
      keys.push_back(NSString::make(key));
      values.push_back(value);
    }
    encodeObjects(keys, "NS.keys");
    encodeObjects(values, "NS.objects");
  } else if (auto date = asA<NSDate>(object)) {
    encodeDouble(date->timeIntervalSince1970() - NSTimeIntervalSince1970, "NS.time");
  } else if (auto value = asA<NSValue>(object)) {
    if (value->holdsPoint()) {
      encodeInt64(1, "NS.special");
      encodeObject(NSString::make(pair(value->pointValue().x, value->pointValue().y)), "NS.pointval");
    } else if (value->holdsSize()) {
      encodeInt64(2, "NS.special");
      encodeObject(NSString::make(pair(value->sizeValue().width, value->sizeValue().height)), "NS.sizeval");
    } else {
      const NSRect rect = value->rectValue();
      encodeInt64(3, "NS.special");
      encodeObject(NSString::make("{" + pair(rect.origin.x, rect.origin.y) + ", " +
                                  pair(rect.size.width, rect.size.height) + "}"),
                   "NS.rectval");
    }
  }
  // NSNull writes nothing but its class.
}

std::uint64_t NSKeyedArchiver::classReference(const std::string& codedName) {
  auto [entry, added] = classReferences_.try_emplace(codedName, objects_->count());
  if (added) {
    auto classes = NSArray::make({NSString::make(codedName)});
    if (codedName != "NSObject") classes->addObject(NSString::make("NSObject"));
    objects_->addObject(NSDictionary::make({{"$classname", NSString::make(codedName)}, {"$classes", classes}}));
  }
  return entry->second;
}

void NSKeyedArchiver::finishEncoding() {
  if (finished_) return;
  finished_ = true;
  if (error()) return;
  auto archive = NSDictionary::make({
      {"$version", NSNumber::numberWithInteger(100000)},
      {"$archiver", NSString::make("NSKeyedArchiver")},
      {"$top", top_},
      {"$objects", objects_},
  });
  auto data = NSPropertyListSerialization::dataWithPropertyList(archive, outputFormat);
  if (data) {
    data_ = *data;
  } else {
    failWithError(data.error());
  }
}

NSKeyedArchiver::DataResult NSKeyedArchiver::encodedData() {
  finishEncoding();
  if (error()) return std::unexpected(error());
  return data_;
}
