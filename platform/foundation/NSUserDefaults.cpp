#include "platform/foundation/NSUserDefaults.h"

#include <algorithm>
#include <system_error>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/TextRules.h"

namespace {

// Never destroyed: any thread may read or write defaults (ProcessShutdown.h).
std::mutex& standardMutex() {
  static std::mutex& mutex = *new std::mutex();
  return mutex;
}
std::shared_ptr<NSUserDefaults>& standardInstance() {
  static std::shared_ptr<NSUserDefaults>& instance = *new std::shared_ptr<NSUserDefaults>();
  return instance;
}

constexpr auto kBinary = NSPropertyListFormat::NSPropertyListBinaryFormat_v1_0;

// Stored values are copied in and out, so that no caller shares a list, dictionary or data
// block with the store while another thread writes it out.
id deepCopy(const id& value) {
  if (auto array = asA<NSArray>(value)) {
    auto copy = NSArray::make();
    for (const id& element : *array) copy->addObject(deepCopy(element));
    return copy;
  }
  if (auto dictionary = asA<NSDictionary>(value)) {
    auto copy = NSDictionary::make();
    for (const auto& [key, element] : *dictionary) copy->setObject(deepCopy(element), key);
    return copy;
  }
  if (auto data = asA<NSData>(value)) return NSData::make(data->bytes());
  return value;
}

// The bytes of a domain file; nothing when there is no file yet. Only a plain file no larger
// than settings ever are is read, never what a link leads to nor a pipe that nobody writes:
// the application's own domain sets anything else aside and starts empty, the global one
// (not ours) is only not read.
std::expected<std::shared_ptr<NSData>, std::shared_ptr<NSError>> readDomainFile(const std::filesystem::path& path,
                                                                                bool own) {
  auto files = NSFileManager::defaultManager();
  auto bytes = own ? files->readContentsOfOwnFileAtPath(path, OwnFiles::settings)
                   : files->readContentsOfRegularFileAtPath(path, OwnFiles::settings);
  if (!bytes && bytes.error()->code() == NSCocoaError::fileReadNoSuchFile) return std::shared_ptr<NSData>();
  return bytes;
}

}  // namespace

NSUserDefaultsObservation::~NSUserDefaultsObservation() {
  if (auto defaults = defaults_.lock()) defaults->removeObserver(token_);
}

std::shared_ptr<NSUserDefaults> NSUserDefaults::standardUserDefaults() {
  std::lock_guard lock(standardMutex());
  if (!standardInstance()) {
    const std::string name = NSBundle::mainBundle()->bundleIdentifier().value_or(Paths::applicationName());
    auto folder = Paths::preferences();
    standardInstance() = std::shared_ptr<NSUserDefaults>(
        new NSUserDefaults(folder / (name + ".plist"), folder / ".GlobalPreferences.plist"));
  }
  return standardInstance();
}

void NSUserDefaults::resetStandardUserDefaults() {
  std::lock_guard lock(standardMutex());
  standardInstance().reset();
}

NSUserDefaults::NSUserDefaults(std::filesystem::path path, std::filesystem::path globalPath)
    : path_(std::move(path)),
      globalPath_(std::move(globalPath)),
      application_(NSDictionary::make()),
      global_(NSDictionary::make()),
      registration_(NSDictionary::make()) {
  load();
  global_ = readGlobalDomain();
}

void NSUserDefaults::load() {
  auto bytes = readDomainFile(path_, true);
  if (!bytes) {
    // Unreadable (not missing): leave it where it is; writes will replace it.
    OutputSink::print("NSUserDefaults: could not read " + path_.string() + ": " + bytes.error()->localizedDescription());
    return;
  }
  if (!*bytes) return;  // nothing stored yet
  auto plist = NSPropertyListSerialization::propertyListWithData(*bytes);
  if (plist && asA<NSDictionary>(*plist)) {
    application_ = asA<NSDictionary>(*plist);
    return;
  }
  // Keep the unreadable file for inspection and start afresh rather than lose every later write.
  const std::string reason = plist ? std::string("it does not hold a dictionary") : plist.error()->localizedDescription();
  auto aside = path_;
  aside += ".corrupt";
  std::error_code error;
  std::filesystem::rename(path_, aside, error);
  OutputSink::print("NSUserDefaults: could not read " + path_.string() + " (" + reason + "); " +
                    (error ? "could not move it aside: " + error.message() : "moved it to " + aside.string()));
}

std::shared_ptr<NSDictionary> NSUserDefaults::readGlobalDomain() const {
  auto bytes = readDomainFile(globalPath_, false);
  if (bytes && !*bytes) return NSDictionary::make();
  auto plist = bytes ? NSPropertyListSerialization::propertyListWithData(*bytes)
                     : NSPropertyListSerialization::Result(std::unexpected(bytes.error()));
  if (plist && asA<NSDictionary>(*plist)) return asA<NSDictionary>(*plist);
  // Not ours to move aside: it is only read.
  OutputSink::print("NSUserDefaults: ignoring unreadable global preferences " + globalPath_.string());
  return NSDictionary::make();
}

id NSUserDefaults::effectiveLocked(std::string_view key) const {
  if (id value = application_->objectForKey(key)) return value;
  if (id value = global_->objectForKey(key)) return value;
  return registration_->objectForKey(key);
}

id NSUserDefaults::objectForKey(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return deepCopy(effectiveLocked(key));
}

std::shared_ptr<NSString> NSUserDefaults::stringForKey(std::string_view key) const {
  id value = objectForKey(key);
  if (auto text = asA<NSString>(value)) return text;
  if (auto number = asA<NSNumber>(value)) return NSString::make(number->description());
  return nullptr;
}

bool NSUserDefaults::boolForKey(std::string_view key) const {
  id value = objectForKey(key);
  if (auto number = asA<NSNumber>(value)) return number->boolValue();
  if (auto text = asA<NSString>(value)) return TextRules::boolValue(text->string());
  return false;
}

std::int64_t NSUserDefaults::integerForKey(std::string_view key) const {
  id value = objectForKey(key);
  if (auto number = asA<NSNumber>(value)) return number->integerValue();
  if (auto text = asA<NSString>(value)) return TextRules::integerValue(text->string());
  return 0;
}

double NSUserDefaults::doubleForKey(std::string_view key) const {
  id value = objectForKey(key);
  if (auto number = asA<NSNumber>(value)) return number->doubleValue();
  if (auto text = asA<NSString>(value)) return TextRules::doubleValue(text->string());
  return 0.0;
}

std::shared_ptr<NSData> NSUserDefaults::dataForKey(std::string_view key) const { return asA<NSData>(objectForKey(key)); }
std::shared_ptr<NSArray> NSUserDefaults::arrayForKey(std::string_view key) const { return asA<NSArray>(objectForKey(key)); }
std::shared_ptr<NSDictionary> NSUserDefaults::dictionaryForKey(std::string_view key) const {
  return asA<NSDictionary>(objectForKey(key));
}

void NSUserDefaults::setObject(const id& value, std::string_view key) {
  if (value && !NSPropertyListSerialization::propertyListIsValidForFormat(value, kBinary)) {
    OutputSink::print("NSUserDefaults: refusing to store a value of class " + value->className() + " for key \"" +
                      std::string(key) + "\": it is not a property list");
    return;
  }
  id stored = deepCopy(value);
  change(
      [&] {
        application_->setObject(stored, key);
        dirty_ = true;
        writeLocked();
      },
      {std::string(key)});
}

void NSUserDefaults::setBool(bool value, std::string_view key) { setObject(NSNumber::numberWithBool(value), key); }
void NSUserDefaults::setInteger(std::int64_t value, std::string_view key) {
  setObject(NSNumber::numberWithInteger(value), key);
}
void NSUserDefaults::setDouble(double value, std::string_view key) { setObject(NSNumber::numberWithDouble(value), key); }
void NSUserDefaults::removeObjectForKey(std::string_view key) { setObject(nullptr, key); }

void NSUserDefaults::registerDefaults(const std::shared_ptr<NSDictionary>& registrationDictionary) {
  if (!registrationDictionary) return;
  auto copy = asA<NSDictionary>(deepCopy(registrationDictionary));
  change(
      [&] {
        for (const auto& [key, value] : *copy) registration_->setObject(value, key);
      },
      copy->allKeys());
}

bool NSUserDefaults::synchronize() {
  std::vector<std::string> keys;
  {
    std::lock_guard lock(mutex_);
    keys = global_->allKeys();
  }
  // Reading the global domain again may change what its old and new keys read as.
  auto global = readGlobalDomain();
  for (const auto& key : global->allKeys()) keys.push_back(key);
  bool written = true;
  change(
      [&] {
        global_ = global;
        if (dirty_) written = writeLocked();
      },
      keys);
  return written;
}

bool NSUserDefaults::writeLocked() {
  auto data = NSPropertyListSerialization::dataWithPropertyList(application_, kBinary);
  auto files = NSFileManager::defaultManager();
  std::shared_ptr<NSError> failure = data ? nullptr : data.error();
  if (!failure) {
    auto folder = files->createPrivateDirectoryAtPath(path_.parent_path());
    // The settings hold the account's token: only the user may read them, also when an
    // older file was readable by others.
    // A folder under the file's name would fail every write: it is set aside first.
    if (folder) OwnFiles::clearForPlainFile(path_);
    auto written = folder ? files->writeAtomically(path_, (*data)->view(), 0600) : folder;
    if (!written) failure = written.error();
  }
  if (failure) {
    OutputSink::print("NSUserDefaults: could not write " + path_.string() + ": " + failure->localizedDescription());
    return false;
  }
  dirty_ = false;
  return true;
}

std::shared_ptr<NSDictionary> NSUserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  auto merged = NSDictionary::make();
  for (const auto& domain : {registration_, global_, application_}) {
    for (const auto& [key, value] : *domain) merged->setObject(deepCopy(value), key);
  }
  return merged;
}

void NSUserDefaults::change(const std::function<void()>& mutation, const std::vector<std::string>& keys) {
  std::vector<std::shared_ptr<Registration>> interested;
  {
    std::lock_guard lock(observersMutex_);
    for (const auto& [token, registration] : observers_) {
      if (std::find(keys.begin(), keys.end(), registration->key) != keys.end()) interested.push_back(registration);
    }
  }
  std::vector<std::pair<id, id>> values(interested.size());
  {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < interested.size(); ++i) values[i].first = effectiveLocked(interested[i]->key);
    mutation();
    for (std::size_t i = 0; i < interested.size(); ++i) values[i].second = effectiveLocked(interested[i]->key);
  }
  // Observers run on the changing thread with no store lock held, so they may use the defaults.
  for (std::size_t i = 0; i < interested.size(); ++i) {
    if (objectsEqual(values[i].first, values[i].second)) continue;
    std::lock_guard calling(interested[i]->calling);
    if (interested[i]->active) interested[i]->observer(deepCopy(values[i].first), deepCopy(values[i].second));
  }
}

std::unique_ptr<NSUserDefaultsObservation> NSUserDefaults::observeValueForKey(std::string key, Observer observer) {
  std::lock_guard lock(observersMutex_);
  const std::uint64_t token = nextToken_++;
  auto registration = std::make_shared<Registration>();
  registration->key = std::move(key);
  registration->observer = std::move(observer);
  observers_[token] = std::move(registration);
  return std::unique_ptr<NSUserDefaultsObservation>(
      new NSUserDefaultsObservation(std::weak_ptr<NSUserDefaults>(sharedAs<NSUserDefaults>()), token));
}

void NSUserDefaults::removeObserver(std::uint64_t token) {
  std::shared_ptr<Registration> registration;
  {
    std::lock_guard lock(observersMutex_);
    auto found = observers_.find(token);
    if (found == observers_.end()) return;
    registration = found->second;
    observers_.erase(found);
  }
  std::lock_guard calling(registration->calling);
  registration->active = false;
}
