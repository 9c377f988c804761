#include "platform/foundation/NSKeyedUnarchiver.h"

#include <charconv>
#include <mutex>
#include <unordered_map>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSValue.h"

namespace {

std::shared_ptr<NSError> corrupt(const std::string& reason) {
  return NSError::make(std::string(NSError::NSCocoaErrorDomain), NSCoder::NSCoderReadCorruptError,
                       "The data couldn't be read because it isn't in the correct format: " + reason + ".");
}

// The numbers of a geometry text such as "{1, 2}" or "{{0, 0}, {3, 4}}", in order.
std::vector<double> numbersIn(std::string_view text) {
  std::vector<double> numbers;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    if (*p == '-' || *p == '+' || *p == '.' || (*p >= '0' && *p <= '9')) {
      double value = 0;
      auto [next, ec] = std::from_chars(*p == '+' ? p + 1 : p, end, value);
      if (ec != std::errc()) return {};
      numbers.push_back(value);
      p = next;
    } else {
      ++p;
    }
  }
  return numbers;
}

id decodeArray(NSCoder& coder) {
  auto objects = coder.decodeObjectsForKey("NS.objects");
  if (!objects) {
    if (coder.containsValueForKey("NS.objects")) coder.failWithError(corrupt("a list without its elements"));
    return NSArray::make();
  }
  std::vector<id> present;
  present.reserve(objects->size());
  // A list cannot hold nothing; a null element is dropped as the platform's lists would refuse it.
  for (auto& object : *objects) {
    if (object) present.push_back(std::move(object));
  }
  return NSArray::make(std::move(present));
}

id decodeDictionary(NSCoder& coder) {
  auto keys = coder.decodeObjectsForKey("NS.keys");
  auto values = coder.decodeObjectsForKey("NS.objects");
  if (!keys || !values) {
    if (coder.containsValueForKey("NS.keys") || coder.containsValueForKey("NS.objects")) {
      coder.failWithError(corrupt("a dictionary without its entries"));
      return nullptr;
    }
    return NSDictionary::make();
  }
  if (keys->size() != values->size()) {
    coder.failWithError(corrupt("a dictionary with unmatched keys and values"));
    return nullptr;
  }
  auto dictionary = NSDictionary::make();
  for (std::size_t i = 0; i < keys->size(); ++i) {
    auto key = asA<NSString>((*keys)[i]);
    if (!key) {
      coder.failWithError(corrupt("a dictionary key that is not text"));
      return nullptr;
    }
    dictionary->setObject((*values)[i], key->string());
  }
  return dictionary;
}

id decodeDate(NSCoder& coder) {
  return NSDate::dateWithTimeIntervalSince1970(coder.decodeDoubleForKey("NS.time") + NSTimeIntervalSince1970);
}

id decodeValue(NSCoder& coder) {
  auto text = [&](std::string_view key) {
    auto string = coder.decodeObjectOfClass<NSString>(key);
    return string && *string ? numbersIn((*string)->string()) : std::vector<double>{};
  };
  switch (coder.decodeInt64ForKey("NS.special")) {
    case 1:
      if (auto n = text("NS.pointval"); n.size() == 2) return NSValue::valueWithPoint({n[0], n[1]});
      break;
    case 2:
      if (auto n = text("NS.sizeval"); n.size() == 2) return NSValue::valueWithSize({n[0], n[1]});
      break;
    case 3:
      if (auto n = text("NS.rectval"); n.size() == 4) return NSValue::valueWithRect({{n[0], n[1]}, {n[2], n[3]}});
      break;
    default:
      break;
  }
  // Other boxed kinds are not ours to read; the value decodes as nothing.
  return nullptr;
}

id decodeString(NSCoder& coder) {
  auto text = coder.decodeObjectOfClass<NSString>("NS.string");
  if (text && *text) return *text;
  if (auto bytes = coder.decodeObjectOfClass<NSData>("NS.bytes"); bytes && *bytes) {
    return NSString::make((*bytes)->string());
  }
  return NSString::make("");
}

id decodeData(NSCoder& coder) {
  auto bytes = coder.decodeObjectOfClass<NSData>("NS.bytes");
  return bytes && *bytes ? *bytes : NSData::make();
}

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::string, NSCodingInitializer> classes;
  std::unordered_map<std::string, std::string> aliases;

  Registry() {
    for (const char* name : {"NSArray", "NSMutableArray"}) classes[name] = decodeArray;
    for (const char* name : {"NSDictionary", "NSMutableDictionary"}) classes[name] = decodeDictionary;
    for (const char* name : {"NSString", "NSMutableString"}) classes[name] = decodeString;
    for (const char* name : {"NSData", "NSMutableData"}) classes[name] = decodeData;
    classes["NSDate"] = decodeDate;
    classes["NSValue"] = decodeValue;
    classes["NSNull"] = [](NSCoder&) -> id { return NSNull::null(); };
  }
};

Registry& registry() {
  // Never destroyed: any thread may unarchive (ProcessShutdown.h).
  static Registry& instance = *new Registry();
  return instance;
}

std::optional<NSCodingInitializer> initializerFor(std::string_view archivedName) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::string name(archivedName);
  if (auto alias = r.aliases.find(name); alias != r.aliases.end()) name = alias->second;
  auto found = r.classes.find(name);
  if (found == r.classes.end()) return std::nullopt;
  return found->second;
}

}  // namespace

NSCodingRegistration::NSCodingRegistration(std::string className, NSCodingInitializer initializer) {
  NSKeyedUnarchiver::registerClass(std::move(className), std::move(initializer));
}

void NSKeyedUnarchiver::registerClass(std::string className, NSCodingInitializer initializer) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (initializer) {
    r.classes[std::move(className)] = std::move(initializer);
  } else {
    r.classes.erase(className);
  }
}

void NSKeyedUnarchiver::setClass(std::string_view className, std::string_view forClassName) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (className.empty()) {
    r.aliases.erase(std::string(forClassName));
  } else {
    r.aliases[std::string(forClassName)] = std::string(className);
  }
}

std::optional<std::string> NSKeyedUnarchiver::classForClassName(std::string_view forClassName) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::string name(forClassName);
  if (auto alias = r.aliases.find(name); alias != r.aliases.end()) name = alias->second;
  if (!r.classes.contains(name)) return std::nullopt;
  return name;
}

NSKeyedUnarchiver::NSKeyedUnarchiver(std::shared_ptr<NSArray> objects, std::shared_ptr<NSDictionary> top)
    : objects_(std::move(objects)),
      states_(objects_->count(), State::unseen),
      decoded_(objects_->count()) {
  containers_.push_back(std::move(top));
}

NSKeyedUnarchiver::TypedResult<NSKeyedUnarchiver> NSKeyedUnarchiver::make(const std::shared_ptr<NSData>& data) {
  auto plist = NSPropertyListSerialization::propertyListWithData(data);
  if (!plist) return std::unexpected(plist.error());
  auto archive = asA<NSDictionary>(*plist);
  if (!archive) return std::unexpected(corrupt("not a keyed archive"));
  auto archiver = archive->objectForKeyAs<NSString>("$archiver");
  auto top = archive->objectForKeyAs<NSDictionary>("$top");
  auto objects = archive->objectForKeyAs<NSArray>("$objects");
  if (!archiver || archiver->string() != "NSKeyedArchiver" || !top || !objects || objects->count() == 0) {
    return std::unexpected(corrupt("not a keyed archive"));
  }
  auto null = asA<NSString>(objects->objectAtIndex(0));
  if (!null || null->string() != "$null") return std::unexpected(corrupt("not a keyed archive"));
  return std::shared_ptr<NSKeyedUnarchiver>(new NSKeyedUnarchiver(std::move(objects), std::move(top)));
}

NSKeyedUnarchiver::Result NSKeyedUnarchiver::unarchiveObjectWithData(const std::shared_ptr<NSData>& data) {
  auto unarchiver = make(data);
  if (!unarchiver) return std::unexpected(unarchiver.error());
  id root = (*unarchiver)->decodeObjectForKey(NSKeyedArchiver::NSKeyedArchiveRootObjectKey);
  (*unarchiver)->finishDecoding();
  if ((*unarchiver)->error()) return std::unexpected((*unarchiver)->error());
  return root;
}

NSKeyedUnarchiver::Result NSKeyedUnarchiver::unarchiveObjectWithFile(const std::filesystem::path& path) {
  auto bytes = NSFileManager::defaultManager()->readContentsAtPath(path);
  if (!bytes) return std::unexpected(bytes.error());
  return unarchiveObjectWithData(*bytes);
}

id NSKeyedUnarchiver::fail(const std::string& reason) {
  failWithError(corrupt(reason));
  return nullptr;
}

id NSKeyedUnarchiver::valueForKey(std::string_view key) const {
  if (finished_ || error()) return nullptr;
  return containers_.back()->objectForKey(NSKeyedArchiveEscapedKey(key));
}

bool NSKeyedUnarchiver::containsValueForKey(std::string_view key) const { return valueForKey(key) != nullptr; }

id NSKeyedUnarchiver::decodeObjectForKey(std::string_view key) {
  id value = valueForKey(key);
  // A value written by the Boolean, integer or real coding is not an object.
  if (!asA<NSPropertyListUID>(value)) return nullptr;
  return resolve(value);
}

bool NSKeyedUnarchiver::decodeBoolForKey(std::string_view key) {
  auto number = asA<NSNumber>(valueForKey(key));
  return number && number->boolValue();
}

std::int64_t NSKeyedUnarchiver::decodeInt64ForKey(std::string_view key) {
  auto number = asA<NSNumber>(valueForKey(key));
  return number ? number->integerValue() : 0;
}

double NSKeyedUnarchiver::decodeDoubleForKey(std::string_view key) {
  auto number = asA<NSNumber>(valueForKey(key));
  return number ? number->doubleValue() : 0.0;
}

std::optional<std::vector<id>> NSKeyedUnarchiver::decodeObjectsForKey(std::string_view key) {
  auto references = asA<NSArray>(valueForKey(key));
  if (!references) return std::nullopt;
  std::vector<id> objects;
  objects.reserve(references->count());
  for (const id& reference : *references) {
    if (!asA<NSPropertyListUID>(reference)) {
      fail("a list element that is not a reference");
      return std::nullopt;
    }
    objects.push_back(resolve(reference));
    if (error()) return std::nullopt;
  }
  return objects;
}

id NSKeyedUnarchiver::resolve(const id& reference) {
  if (error()) return nullptr;
  const std::uint64_t index = asA<NSPropertyListUID>(reference)->value();
  if (index >= objects_->count()) return fail("a reference out of range");
  if (index == 0) return nullptr;
  switch (states_[index]) {
    case State::done: return decoded_[index];
    case State::decoding: return fail("objects that contain themselves");
    case State::unseen: break;
  }
  id raw = objects_->objectAtIndex(index);
  id result;
  if (asA<NSString>(raw) || asA<NSNumber>(raw) || asA<NSData>(raw)) {
    result = raw;
  } else if (auto record = asA<NSDictionary>(raw)) {
    auto classReference = record->objectForKeyAs<NSPropertyListUID>("$class");
    if (!classReference || classReference->value() >= objects_->count()) return fail("an object without a class");
    auto classRecord = asA<NSDictionary>(objects_->objectAtIndex(classReference->value()));
    auto name = classRecord ? classRecord->objectForKeyAs<NSString>("$classname") : nullptr;
    if (!name) return fail("a class record without a name");
    auto initializer = initializerFor(name->string());
    if (!initializer) return fail("an object of unknown class " + name->string());
    if (containers_.size() > kMaximumDepth) return fail("objects nested too deeply");
    states_[index] = State::decoding;
    containers_.push_back(record);
    result = (*initializer)(*this);
    containers_.pop_back();
    if (error()) return nullptr;
  } else {
    return fail("an entry that is not an object");
  }
  states_[index] = State::done;
  decoded_[index] = result;
  return result;
}
